// The Drawing page of the properties dialog of GNOME Files (a properties
// model), Nemo and Caja (a property page): the provider interface the
// extension's one type implements beside its columns. Built once per file
// manager, as the columns are.
#pragma once

#include <glib-object.h>

// Adds the file manager's page or model provider interface to AProviderType,
// the module's type.
void RegisterDrawingPages(GTypeModule* AModule, GType AProviderType);

// When the module is unloaded: no page is filled afterwards.
void StopDrawingPages();
