// The Drawing page as a GTK 3 widget, for the property page providers of Nemo,
// Caja and Thunar: a two-column grid of labels (names, values the user can
// select and copy) in a scrolled window, filled at once or, after a "Reading"
// line, when the worker's read ends.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace files_page {

// A new page (floating) for the drawing at APath, or null when the file gets
// no page (no drawing, or unreadable).
GtkWidget* NewDrawingPageWidget(const std::string& APath);

}  // namespace files_page
