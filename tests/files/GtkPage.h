// The GTK 3 Drawing page (Nemo, Caja, Thunar) as the page tests read it: a
// display to make widgets on, and the page's grid read back as lines.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "PageHost.h"

namespace page_test {

// Initializes GTK on the session's display, or on an Xvfb display of the
// test's own when there is none; else why not ("skipped: ..." when there is
// no way to have a display here).
std::string PrepareGtk();

// The lines of the grid in APage: label and value per row (the values must be
// selectable), a line across the grid with an empty label.
TLines GridLines(GtkWidget* APage);

// A window standing for the dialog, holding APage (floating or not) as the
// dialog's notebook does; destroying it closes the page.
GtkWidget* DialogFor(GtkWidget* APage);

}  // namespace page_test
