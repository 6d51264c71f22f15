// Thunar's module: the Drawing page of its properties dialog, a property page
// provider (thunarx-3) whose page is the GTK 3 grid the Nemo and Caja pages
// share (DrawingPageGtk.h), offered when the dialog shows one local drawing.
// The module exports Thunar's three entry points and nothing else.
#include <gtk/gtk.h>
// thunarx-provider-plugin.h declares its calls without a C linkage guard of its
// own; GTK and GLib, included before, keep theirs.
extern "C" {
#include <thunarx/thunarx.h>
}

#include <string>

#include "DrawingFiles.h"
#include "DrawingPage.h"
#include "DrawingPageGtk.h"
#include "DrawingPageReader.h"

namespace {

GType gProviderType = 0;

// The path of a local drawing, or empty (LocalDrawingPath).
std::string DrawingPath(ThunarxFileInfo* AFile) {
  GFile* location = thunarx_file_info_get_location(AFile);
  if (location == nullptr) return {};
  const bool typed = thunarx_file_info_has_mime_type(AFile, files_paths::cSvgType) != FALSE ||
                     thunarx_file_info_has_mime_type(AFile, files_paths::cSvgzType) != FALSE;
  std::string path = files_paths::LocalDrawingPath(location, typed);
  g_object_unref(location);
  return path;
}

GList* GetPages(ThunarxPropertyPageProvider* /*AProvider*/, GList* AFiles) {
  try {
    // One file's dialog; several files share a dialog of their common facts.
    if (AFiles == nullptr || AFiles->next != nullptr) return nullptr;
    const std::string path = DrawingPath(THUNARX_FILE_INFO(AFiles->data));
    if (path.empty()) return nullptr;
    GtkWidget* content = files_page::NewDrawingPageWidget(path);
    if (content == nullptr) return nullptr;
    GtkWidget* page = thunarx_property_page_new(files_page::cPageTitle);
    gtk_container_add(GTK_CONTAINER(page), content);
    gtk_widget_show(page);
    return g_list_append(nullptr, page);
  } catch (...) {
    return nullptr;
  }
}

void InitPageProvider(gpointer AIface, gpointer /*AData*/) {
  static_cast<ThunarxPropertyPageProviderIface*>(AIface)->get_pages = GetPages;
}

}  // namespace

// The entry points' names are Thunar's (thunar_extension_initialize, ...).
#define VX_THUNAR_ENTRY(name) thunar_extension_##name

extern "C" {

__attribute__((visibility("default"))) void VX_THUNAR_ENTRY(initialize)(
    ThunarxProviderPlugin* APlugin) {
  try {
    if (const gchar* mismatch = thunarx_check_version(THUNARX_MAJOR_VERSION, THUNARX_MINOR_VERSION,
                                                      THUNARX_MICRO_VERSION);
        mismatch != nullptr) {
      g_warning("not loaded: %s", mismatch);
      return;
    }
    // The worker thread of the page's reads lives as long as the process.
    thunarx_provider_plugin_set_resident(APlugin, TRUE);
    static const GTypeInfo cInfo = {
        sizeof(GObjectClass), nullptr, nullptr, nullptr, nullptr, nullptr,
        sizeof(GObject),      0,       nullptr, nullptr};
    gProviderType = thunarx_provider_plugin_register_type(
        APlugin, G_TYPE_OBJECT, "VexmetaThunarPages", &cInfo, static_cast<GTypeFlags>(0));
    static const GInterfaceInfo cPages = {InitPageProvider, nullptr, nullptr};
    thunarx_provider_plugin_add_interface(APlugin, gProviderType,
                                          THUNARX_TYPE_PROPERTY_PAGE_PROVIDER, &cPages);
    g_debug("loaded by Thunar");
  } catch (...) {
    gProviderType = 0;
  }
}

__attribute__((visibility("default"))) void VX_THUNAR_ENTRY(shutdown)(void) {
  try {
    files_page::StopPageReads();
  } catch (...) {
  }
}

__attribute__((visibility("default"))) void VX_THUNAR_ENTRY(list_types)(const GType** ATypes,
                                                                        gint* ACount) {
  static GType types[1];
  types[0] = gProviderType;
  *ATypes = types;
  *ACount = gProviderType != 0 ? 1 : 0;
}

}  // extern "C"
