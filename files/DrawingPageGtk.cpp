// The Drawing page in GTK 3: one grid row per fact of DrawingPage.h.
#include "DrawingPageGtk.h"

#include <vector>

#include "DrawingPageReader.h"

namespace files_page {

namespace {

// A value line wraps at this many characters rather than widen the dialog.
constexpr int cValueChars = 48;

GtkWidget* NewLabel(const char* AText, float AXAlign) {
  GtkWidget* label = gtk_label_new(AText);
  gtk_label_set_xalign(GTK_LABEL(label), AXAlign);
  gtk_label_set_yalign(GTK_LABEL(label), 0.0F);
  return label;
}

void ClearGrid(GtkGrid* AGrid) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(AGrid));
  for (GList* child = children; child != nullptr; child = child->next)
    gtk_widget_destroy(GTK_WIDGET(child->data));
  g_list_free(children);
}

// A line across both columns: "Reading…" or that no drawing was found.
void ShowLine(GtkGrid* AGrid, const char* AText) {
  ClearGrid(AGrid);
  gtk_grid_attach(AGrid, NewLabel(AText, 0.0F), 0, 0, 2, 1);
  gtk_widget_show_all(GTK_WIDGET(AGrid));
}

void ShowFacts(GtkGrid* AGrid, const std::vector<TPageFact>& AFacts) {
  ClearGrid(AGrid);
  int row = 0;
  for (const TPageFact& fact : AFacts) {
    GtkWidget* name = NewLabel(fact.Label.c_str(), 1.0F);
    gtk_style_context_add_class(gtk_widget_get_style_context(name), "dim-label");
    GtkWidget* value = NewLabel(fact.Value.c_str(), 0.0F);
    gtk_label_set_selectable(GTK_LABEL(value), TRUE);
    gtk_label_set_line_wrap(GTK_LABEL(value), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(value), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_max_width_chars(GTK_LABEL(value), cValueChars);
    gtk_widget_set_hexpand(value, TRUE);
    gtk_grid_attach(AGrid, name, 0, row, 1, 1);
    gtk_grid_attach(AGrid, value, 1, row, 1, 1);
    ++row;
  }
  gtk_widget_show_all(GTK_WIDGET(AGrid));
}

void FillLater(GObject* ATarget, const std::vector<TPageFact>* AFacts) {
  if (AFacts != nullptr)
    ShowFacts(GTK_GRID(ATarget), *AFacts);
  else
    ShowLine(GTK_GRID(ATarget), cNoDrawingText);
}

}  // namespace

GtkWidget* NewDrawingPageWidget(const std::string& APath) {
  std::vector<TPageFact> facts;
  const TPageStart start = ReadPageAtOnce(APath, facts);
  if (start == TPageStart::psNoPage) return nullptr;

  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  gtk_container_set_border_width(GTK_CONTAINER(grid), 12);
  if (start == TPageStart::psFacts) {
    ShowFacts(GTK_GRID(grid), facts);
  } else {
    ShowLine(GTK_GRID(grid), cReadingText);
    ReadPageLater(APath, G_OBJECT(grid), FillLater);
  }
  // A long description scrolls inside the page rather than grow the dialog.
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scrolled), TRUE);
  gtk_container_add(GTK_CONTAINER(scrolled), grid);
  gtk_widget_show_all(scrolled);
  return scrolled;
}

}  // namespace files_page
