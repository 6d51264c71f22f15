// The Drawing page's host for GNOME Files, Nemo and Caja: a GTypeModule opens
// the built module and calls its entry points, the provider is made from the
// type it lists, and a dialog's files (file-info objects of the test's own) are
// handed to its properties model provider (GNOME Files) or property page
// provider (Nemo, Caja). Built once per file manager, as the module is.
#include <gmodule.h>
#include <gtest/gtest.h>

#include "FileManagerApi.h"
#include "PageHost.h"

#if defined(VX_FILES_NEMO)
#include <libnemo-extension/nemo-property-page-provider.h>
#include <libnemo-extension/nemo-property-page.h>
#elif defined(VX_FILES_CAJA)
#include <libcaja-extension/caja-property-page-provider.h>
#include <libcaja-extension/caja-property-page.h>
#endif
#if !defined(VX_FILES_NAUTILUS)
#include "GtkPage.h"
#endif

using namespace files_api;

namespace page_test {

namespace {

// ---------------------------------------------------------------------------
// The module, loaded as the file managers load theirs.

struct TLoader {
  GTypeModule Parent;
};
struct TLoaderClass {
  GTypeModuleClass Parent;
};

GModule* gLibrary = nullptr;

gpointer Entry(const char* ASuffix) {
  gpointer symbol = nullptr;
  const std::string name = std::string(cModulePrefix) + ASuffix;
  EXPECT_TRUE(g_module_symbol(gLibrary, name.c_str(), &symbol)) << name;
  return symbol;
}

gboolean LoaderLoad(GTypeModule* AModule) {
  gLibrary = g_module_open(VX_FILES_MODULE,
                           static_cast<GModuleFlags>(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
  if (gLibrary == nullptr) {
    ADD_FAILURE() << g_module_error();
    return FALSE;
  }
  gpointer initialize = Entry("_module_initialize");
  if (initialize == nullptr) return FALSE;
  reinterpret_cast<void (*)(GTypeModule*)>(initialize)(AModule);
  return TRUE;
}

void LoaderUnload(GTypeModule* /*AModule*/) {}

void LoaderClassInit(gpointer AClass, gpointer /*AData*/) {
  auto* moduleClass = static_cast<GTypeModuleClass*>(AClass);
  moduleClass->load = LoaderLoad;
  moduleClass->unload = LoaderUnload;
}

// The provider made from the module's one listed type; the module stays loaded
// for the program's lifetime, as in the file managers.
GObject* Provider() {
  static GObject* provider = [] {
    const GType loaderType = g_type_register_static_simple(
        G_TYPE_TYPE_MODULE, "VxPageTestLoader", sizeof(TLoaderClass), LoaderClassInit,
        sizeof(TLoader), nullptr, static_cast<GTypeFlags>(0));
    auto* module = static_cast<GTypeModule*>(g_object_new(loaderType, nullptr));
    if (!g_type_module_use(module)) return static_cast<GObject*>(nullptr);
    const GType* types = nullptr;
    int count = 0;
    reinterpret_cast<void (*)(const GType**, int*)>(Entry("_module_list_types"))(&types, &count);
    EXPECT_EQ(count, 1);
    if (count != 1) return static_cast<GObject*>(nullptr);
    return static_cast<GObject*>(g_object_new(types[0], nullptr));
  }();
  return provider;
}

// ---------------------------------------------------------------------------
// A file as the file manager describes it to the extension.

struct TTestFile {
  GObject Parent;
  std::string* Uri;
  std::string* MimeType;
};

TTestFile* Self(TFileInfo* AFile) {
  return reinterpret_cast<TTestFile*>(AFile);
}
GFile* FileGetLocation(TFileInfo* AFile) {
  return g_file_new_for_uri(Self(AFile)->Uri->c_str());
}
char* FileGetUri(TFileInfo* AFile) {
  return g_strdup(Self(AFile)->Uri->c_str());
}
char* FileGetName(TFileInfo* AFile) {
  GFile* location = FileGetLocation(AFile);
  char* name = g_file_get_basename(location);
  g_object_unref(location);
  return name;
}
char* FileGetUriScheme(TFileInfo* AFile) {
  return g_uri_parse_scheme(Self(AFile)->Uri->c_str());
}
char* FileGetMimeType(TFileInfo* AFile) {
  return g_strdup(Self(AFile)->MimeType->c_str());
}
gboolean FileIsMimeType(TFileInfo* AFile, const char* AMimeType) {
  return g_content_type_is_a(Self(AFile)->MimeType->c_str(), AMimeType);
}
gboolean FileIsGone(TFileInfo* /*AFile*/) {
  return FALSE;
}

void FileInfoInit(gpointer AIface, gpointer /*AData*/) {
  auto* iface = static_cast<TFileInfoIface*>(AIface);
  iface->get_location = FileGetLocation;
  iface->get_uri = FileGetUri;
  iface->get_name = FileGetName;
  iface->get_uri_scheme = FileGetUriScheme;
  iface->get_mime_type = FileGetMimeType;
  iface->is_mime_type = FileIsMimeType;
  iface->is_gone = FileIsGone;
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
        G_TYPE_OBJECT, "VxPageTestFile", sizeof(GObjectClass), TestFileClassInit, sizeof(TTestFile),
        nullptr, static_cast<GTypeFlags>(0));
    static const GInterfaceInfo cInfo = {FileInfoInit, nullptr, nullptr};
    g_type_add_interface_static(t, FileInfoType(), &cInfo);
    return t;
  }();
  return type;
}

GList* NewFiles(const std::vector<TDialogFile>& AFiles) {
  GList* files = nullptr;
  for (const TDialogFile& file : AFiles) {
    auto* object = static_cast<TTestFile*>(g_object_new(TestFileType(), nullptr));
    object->Uri = new std::string(file.Uri);
    object->MimeType = new std::string(file.MimeType);
    files = g_list_append(files, object);
  }
  return files;
}

// ---------------------------------------------------------------------------
// The page, as each file manager's dialog holds it.

#if defined(VX_FILES_NAUTILUS)

// GNOME Files: a model of items; the dialog holds the model.
class TModelView : public TPageView {
 public:
  explicit TModelView(NautilusPropertiesModel* AModel) : FModel(AModel) {}
  ~TModelView() override { Close(); }
  std::string Title() override { return nautilus_properties_model_get_title(FModel); }
  TLines Lines() override {
    TLines lines;
    GListModel* items = nautilus_properties_model_get_model(FModel);
    for (guint i = 0; i < g_list_model_get_n_items(items); ++i) {
      auto* item = static_cast<NautilusPropertiesItem*>(g_list_model_get_item(items, i));
      lines.emplace_back(nautilus_properties_item_get_name(item),
                         nautilus_properties_item_get_value(item));
      g_object_unref(item);
    }
    return lines;
  }
  void Close() override {
    if (FModel != nullptr) g_object_unref(FModel);
    FModel = nullptr;
  }

 private:
  NautilusPropertiesModel* FModel;
};

std::unique_ptr<TPageView> AskProvider(GList* AFiles) {
  auto* provider = reinterpret_cast<NautilusPropertiesModelProvider*>(Provider());
  GList* models = nautilus_properties_model_provider_get_models(provider, AFiles);
  if (models == nullptr) return nullptr;
  EXPECT_EQ(g_list_length(models), 1u);
  auto view = std::make_unique<TModelView>(NAUTILUS_PROPERTIES_MODEL(models->data));
  g_list_free(models);
  return view;
}

#else

// Nemo and Caja: a property page object whose page widget the dialog's
// notebook holds.
class TWidgetView : public TPageView {
 public:
  TWidgetView(GObject* APage) : FPage(APage) {
    GtkWidget* widget = nullptr;
    GtkWidget* label = nullptr;
    g_object_get(FPage, "page", &widget, "label", &label, nullptr);
    FDialog = DialogFor(widget);
    FTitle = GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
    FWidget = widget;
    g_object_unref(widget);
    g_object_unref(label);
  }
  ~TWidgetView() override { Close(); }
  std::string Title() override { return FTitle; }
  TLines Lines() override { return FWidget != nullptr ? GridLines(FWidget) : TLines(); }
  void Close() override {
    if (FDialog != nullptr) gtk_widget_destroy(FDialog);
    if (FPage != nullptr) g_object_unref(FPage);
    FDialog = nullptr;
    FPage = nullptr;
    FWidget = nullptr;
  }

 private:
  GObject* FPage;
  GtkWidget* FDialog;
  GtkWidget* FWidget;
  std::string FTitle;
};

std::unique_ptr<TPageView> AskProvider(GList* AFiles) {
  auto* provider = reinterpret_cast<VX_FM_TYPE(PropertyPageProvider)*>(Provider());
  GList* pages = VX_FM_FN(property_page_provider_get_pages)(provider, AFiles);
  if (pages == nullptr) return nullptr;
  EXPECT_EQ(g_list_length(pages), 1u);
  auto view = std::make_unique<TWidgetView>(G_OBJECT(pages->data));
  g_list_free(pages);
  return view;
}

#endif

}  // namespace

std::string PrepareHost() {
#if !defined(VX_FILES_NAUTILUS)
  if (std::string why = PrepareGtk(); !why.empty()) return why;
#endif
  return Provider() != nullptr ? "" : "the module did not load";
}

std::unique_ptr<TPageView> OpenPage(const std::vector<TDialogFile>& AFiles) {
  GList* files = NewFiles(AFiles);
  std::unique_ptr<TPageView> view = AskProvider(files);
  // The dialog keeps its files; the page must not need them.
  g_list_free_full(files, g_object_unref);
  return view;
}

void ShutdownModule() {
  reinterpret_cast<void (*)()>(Entry("_module_shutdown"))();
}

}  // namespace page_test
