// The Drawing page's host for Thunar: Thunar's own extension library loads the
// module (thunarx-3's provider module, the type module Thunar loads every
// extension with) and the provider is made from the type it lists, then handed
// a dialog's files (file-info objects of the test's own); the page is a
// ThunarxPropertyPage that the dialog's notebook holds.
#include <gmodule.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>

extern "C" {
#include <thunarx/thunarx.h>
// Installed, but kept out of thunarx.h: the loader Thunar's provider factory
// uses, which loads a module by its name in Thunar's extension folder.
#define THUNARX_INSIDE_THUNARX_H
#include <thunarx/thunarx-provider-module.h>
#undef THUNARX_INSIDE_THUNARX_H
}

#include "GtkPage.h"
#include "PageHost.h"

namespace page_test {

namespace {

// The provider made from the module's one listed type. The loader takes a name
// in Thunar's extension folder, so the built module is named from there.
ThunarxPropertyPageProvider* Provider() {
  static ThunarxPropertyPageProvider* provider = []() -> ThunarxPropertyPageProvider* {
    const std::string name =
        std::filesystem::path(VX_THUNAR_MODULE).lexically_relative(VX_THUNAR_EXTENSION_DIR);
    ThunarxProviderModule* module = thunarx_provider_module_new(name.c_str());
    if (!g_type_module_use(G_TYPE_MODULE(module))) return nullptr;
    const GType* types = nullptr;
    gint count = 0;
    thunarx_provider_module_list_types(module, &types, &count);
    if (count != 1 || !g_type_is_a(types[0], THUNARX_TYPE_PROPERTY_PAGE_PROVIDER)) return nullptr;
    return THUNARX_PROPERTY_PAGE_PROVIDER(g_object_new(types[0], nullptr));
  }();
  return provider;
}

// ---------------------------------------------------------------------------
// A file as Thunar describes it to its extensions.

struct TTestFile {
  GObject Parent;
  std::string* Uri;
  std::string* MimeType;
};

TTestFile* Self(ThunarxFileInfo* AFile) {
  return reinterpret_cast<TTestFile*>(AFile);
}
GFile* FileGetLocation(ThunarxFileInfo* AFile) {
  return g_file_new_for_uri(Self(AFile)->Uri->c_str());
}
gchar* FileGetName(ThunarxFileInfo* AFile) {
  GFile* location = FileGetLocation(AFile);
  char* name = g_file_get_basename(location);
  g_object_unref(location);
  return name;
}
gchar* FileGetUri(ThunarxFileInfo* AFile) {
  return g_strdup(Self(AFile)->Uri->c_str());
}
gchar* FileGetParentUri(ThunarxFileInfo* AFile) {
  GFile* location = FileGetLocation(AFile);
  GFile* parent = g_file_get_parent(location);
  char* uri = parent != nullptr ? g_file_get_uri(parent) : nullptr;
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
GFileInfo* FileGetFileInfo(ThunarxFileInfo* /*AFile*/) {
  return g_file_info_new();
}
GFileInfo* FileGetFilesystemInfo(ThunarxFileInfo* /*AFile*/) {
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
  iface->get_file_info = FileGetFileInfo;
  iface->get_filesystem_info = FileGetFilesystemInfo;
  iface->get_location = FileGetLocation;
}

void TestFileFinalize(GObject* AObject) {
  delete reinterpret_cast<TTestFile*>(AObject)->Uri;
  delete reinterpret_cast<TTestFile*>(AObject)->MimeType;
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(AObject)))->finalize(AObject);
}

void TestFileClassInit(gpointer AClass, gpointer /*AData*/) {
  static_cast<GObjectClass*>(AClass)->finalize = TestFileFinalize;
}

GType TestFileType() {
  static const GType type = [] {
    const GType t = g_type_register_static_simple(
        G_TYPE_OBJECT, "VxThunarTestFile", sizeof(GObjectClass), TestFileClassInit,
        sizeof(TTestFile), nullptr, static_cast<GTypeFlags>(0));
    static const GInterfaceInfo cInfo = {FileInfoInit, nullptr, nullptr};
    g_type_add_interface_static(t, THUNARX_TYPE_FILE_INFO, &cInfo);
    return t;
  }();
  return type;
}

// ---------------------------------------------------------------------------

class TThunarView : public TPageView {
 public:
  explicit TThunarView(GtkWidget* APage) : FPage(APage) {
    FTitle = thunarx_property_page_get_label(THUNARX_PROPERTY_PAGE(APage));
    FDialog = DialogFor(APage);
  }
  ~TThunarView() override { Close(); }
  std::string Title() override { return FTitle; }
  TLines Lines() override { return FPage != nullptr ? GridLines(FPage) : TLines(); }
  void Close() override {
    if (FDialog != nullptr) gtk_widget_destroy(FDialog);
    FDialog = nullptr;
    FPage = nullptr;
  }

 private:
  GtkWidget* FPage;
  GtkWidget* FDialog;
  std::string FTitle;
};

}  // namespace

std::string PrepareHost() {
  if (std::string why = PrepareGtk(); !why.empty()) return why;
  return Provider() != nullptr ? "" : "the module did not load";
}

std::unique_ptr<TPageView> OpenPage(const std::vector<TDialogFile>& AFiles) {
  GList* files = nullptr;
  for (const TDialogFile& file : AFiles) {
    auto* object = static_cast<TTestFile*>(g_object_new(TestFileType(), nullptr));
    object->Uri = new std::string(file.Uri);
    object->MimeType = new std::string(file.MimeType);
    files = g_list_append(files, object);
  }
  GList* pages = thunarx_property_page_provider_get_pages(Provider(), files);
  g_list_free_full(files, g_object_unref);
  if (pages == nullptr) return nullptr;
  EXPECT_EQ(g_list_length(pages), 1u);
  auto view = std::make_unique<TThunarView>(GTK_WIDGET(pages->data));
  g_list_free(pages);
  return view;
}

void ShutdownModule() {
  // The module is loaded already; this finds it, as Thunar keeps it, by path.
  GModule* module = g_module_open(VX_THUNAR_MODULE, G_MODULE_BIND_LAZY);
  ASSERT_NE(module, nullptr);
  gpointer shutdown = nullptr;
  ASSERT_TRUE(g_module_symbol(module, "thunar_extension_shutdown", &shutdown));
  reinterpret_cast<void (*)()>(shutdown)();
  g_module_close(module);
}

}  // namespace page_test
