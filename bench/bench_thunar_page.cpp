// bench_thunar_page: one file's Drawing page through Thunar's module as Thunar
// opens a properties dialog (bench_consumers runs it per drawing): Thunar's
// extension library loads the module (its provider module, by the name in
// Thunar's extension folder), the provider made from the type it lists is
// asked for a dialog's pages for the file, and the main loop runs until the
// page no longer says it is reading. Prints the time from the request until
// then. Needs a display.
//   bench_thunar_page FILE
#include <gmodule.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <filesystem>
#include <string>

extern "C" {
#include <thunarx/thunarx.h>
// Installed, but kept out of thunarx.h: the loader Thunar's provider factory
// uses.
#define THUNARX_INSIDE_THUNARX_H
#include <thunarx/thunarx-provider-module.h>
#undef THUNARX_INSIDE_THUNARX_H
}

#include "DrawingPage.h"

namespace {

// The provider made from the module's one listed type, or null.
ThunarxPropertyPageProvider* LoadProvider() {
  const std::string name = std::filesystem::path(VX_BENCH_THUNAR_MODULE)
                               .lexically_relative(VX_BENCH_THUNAR_EXTENSION_DIR)
                               .string();
  ThunarxProviderModule* module = thunarx_provider_module_new(name.c_str());
  if (!g_type_module_use(G_TYPE_MODULE(module))) return nullptr;
  const GType* types = nullptr;
  gint count = 0;
  thunarx_provider_module_list_types(module, &types, &count);
  if (count != 1 || !g_type_is_a(types[0], THUNARX_TYPE_PROPERTY_PAGE_PROVIDER)) return nullptr;
  return THUNARX_PROPERTY_PAGE_PROVIDER(g_object_new(types[0], nullptr));
}

// ---------------------------------------------------------------------------
// The file as Thunar describes it to its extensions: its URI and the MIME type
// its name gives.

struct TBenchFile {
  GObject Parent;
  const std::string* Uri;
  const std::string* MimeType;
};

TBenchFile* Self(ThunarxFileInfo* AFile) {
  return reinterpret_cast<TBenchFile*>(AFile);
}
GFile* FileGetLocation(ThunarxFileInfo* AFile) {
  return g_file_new_for_uri(Self(AFile)->Uri->c_str());
}
gchar* FileGetName(ThunarxFileInfo* AFile) {
  return g_path_get_basename(Self(AFile)->Uri->c_str());
}
gchar* FileGetUri(ThunarxFileInfo* AFile) {
  return g_strdup(Self(AFile)->Uri->c_str());
}
gchar* FileGetParentUri(ThunarxFileInfo* AFile) {
  GFile* location = FileGetLocation(AFile);
  GFile* parent = g_file_get_parent(location);
  gchar* uri = parent != nullptr ? g_file_get_uri(parent) : nullptr;
  if (parent != nullptr) g_object_unref(parent);
  g_object_unref(location);
  return uri;
}
gchar* FileGetUriScheme(ThunarxFileInfo* AFile) {
  return g_uri_parse_scheme(Self(AFile)->Uri->c_str());
}
gchar* FileGetMimeType(ThunarxFileInfo* AFile) {
  return g_strdup(Self(AFile)->MimeType->c_str());
}
gboolean FileHasMimeType(ThunarxFileInfo* AFile, const gchar* AMimeType) {
  return g_content_type_is_a(Self(AFile)->MimeType->c_str(), AMimeType);
}
gboolean FileIsDirectory(ThunarxFileInfo* /*AFile*/) {
  return FALSE;
}
GFileInfo* FileGetInfo(ThunarxFileInfo* /*AFile*/) {
  return g_file_info_new();
}

void FileInfoInit(gpointer AIface, gpointer /*AData*/) {
  auto* iface = static_cast<ThunarxFileInfoIface*>(AIface);
  iface->get_name = FileGetName;
  iface->get_uri = FileGetUri;
  iface->get_parent_uri = FileGetParentUri;
  iface->get_uri_scheme = FileGetUriScheme;
  iface->get_mime_type = FileGetMimeType;
  iface->has_mime_type = FileHasMimeType;
  iface->is_directory = FileIsDirectory;
  iface->get_file_info = FileGetInfo;
  iface->get_filesystem_info = FileGetInfo;
  iface->get_location = FileGetLocation;
}

GType BenchFileType() {
  const GType type =
      g_type_register_static_simple(G_TYPE_OBJECT, "VxBenchThunarFile", sizeof(GObjectClass),
                                    nullptr, sizeof(TBenchFile), nullptr, GTypeFlags{});
  static const GInterfaceInfo cInfo = {FileInfoInit, nullptr, nullptr};
  g_type_add_interface_static(type, THUNARX_TYPE_FILE_INFO, &cInfo);
  return type;
}

// ---------------------------------------------------------------------------

GtkGrid* FindGrid(GtkWidget* AWidget) {
  if (GTK_IS_GRID(AWidget)) return GTK_GRID(AWidget);
  if (!GTK_IS_CONTAINER(AWidget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(AWidget));
  GtkGrid* grid = nullptr;
  for (GList* child = children; child != nullptr && grid == nullptr; child = child->next)
    grid = FindGrid(GTK_WIDGET(child->data));
  g_list_free(children);
  return grid;
}

// While the worker reads, the page's grid holds one line: "Reading…".
bool IsReading(GtkWidget* APage) {
  GtkGrid* grid = FindGrid(APage);
  if (grid == nullptr) return false;
  GList* children = gtk_container_get_children(GTK_CONTAINER(grid));
  const bool reading =
      children != nullptr && children->next == nullptr && GTK_IS_LABEL(children->data) &&
      std::string(gtk_label_get_text(GTK_LABEL(children->data))) == files_page::cReadingText;
  g_list_free(children);
  return reading;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_thunar_page FILE\n");
    return 2;
  }
  if (!gtk_init_check(&argc, &argv)) {
    std::printf("failed: no display\n");
    return 1;
  }
  ThunarxPropertyPageProvider* provider = LoadProvider();
  char* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
  if (provider == nullptr || uri == nullptr) {
    std::printf("failed: %s\n",
                provider == nullptr ? "the module offers no page provider" : "no URI for the file");
    return 1;
  }
  const std::string uriText = uri;
  g_free(uri);
  char* guessed = g_content_type_guess(argv[1], nullptr, 0, nullptr);
  char* mime = g_content_type_get_mime_type(guessed);
  const std::string mimeType = mime != nullptr ? mime : "";
  g_free(mime);
  g_free(guessed);

  auto* file = static_cast<TBenchFile*>(g_object_new(BenchFileType(), nullptr));
  file->Uri = &uriText;
  file->MimeType = &mimeType;
  GList* files = g_list_append(nullptr, file);

  const gint64 start = g_get_monotonic_time();
  GList* pages = thunarx_property_page_provider_get_pages(provider, files);
  GtkWidget* page = pages != nullptr ? GTK_WIDGET(pages->data) : nullptr;
  if (page != nullptr) {
    g_object_ref_sink(page);
    while (IsReading(page)) g_main_context_iteration(nullptr, TRUE);
  }
  const gint64 end = g_get_monotonic_time();
  std::printf("time_ns %lld\n", static_cast<long long>(end - start) * 1000);

  if (page != nullptr) {
    gtk_widget_destroy(page);
    g_object_unref(page);
  }
  g_list_free(pages);
  g_list_free_full(files, g_object_unref);
  return 0;
}
