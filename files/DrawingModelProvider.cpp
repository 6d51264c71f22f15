// The Drawing section of GNOME Files' properties dialog: a properties model
// provider whose model holds one item per fact (DrawingPage.h), or a "Reading"
// item that the worker's read replaces, offered when the dialog shows one
// local drawing.
#include <string>
#include <vector>

#include "DrawingPageProvider.h"
#include "DrawingPageReader.h"
#include "FileInfoPath.h"
#include "FileManagerApi.h"

namespace {

using files_page::TPageFact;

void SetItems(GListStore* AStore, const std::vector<TPageFact>& AFacts) {
  g_list_store_remove_all(AStore);
  for (const TPageFact& fact : AFacts) {
    NautilusPropertiesItem* item =
        nautilus_properties_item_new(fact.Label.c_str(), fact.Value.c_str());
    g_list_store_append(AStore, item);
    g_object_unref(item);
  }
}

void FillLater(GObject* ATarget, const std::vector<TPageFact>* AFacts) {
  auto* store =
      G_LIST_STORE(nautilus_properties_model_get_model(NAUTILUS_PROPERTIES_MODEL(ATarget)));
  SetItems(store, AFacts != nullptr ? *AFacts
                                    : std::vector<TPageFact>{
                                          {files_page::cPageTitle, files_page::cNoDrawingText}});
}

GList* GetModels(NautilusPropertiesModelProvider* /*AProvider*/, GList* AFiles) {
  try {
    // One file's dialog; several files share a dialog of their common facts.
    if (AFiles == nullptr || AFiles->next != nullptr) return nullptr;
    const std::string path =
        files_paths::DrawingPath(static_cast<files_api::TFileInfo*>(AFiles->data));
    if (path.empty()) return nullptr;
    std::vector<TPageFact> facts;
    const files_page::TPageStart start = files_page::ReadPageAtOnce(path, facts);
    if (start == files_page::TPageStart::psNoPage) return nullptr;
    if (start == files_page::TPageStart::psLater)
      facts = {{files_page::cPageTitle, files_page::cReadingText}};
    GListStore* store = g_list_store_new(NAUTILUS_TYPE_PROPERTIES_ITEM);
    SetItems(store, facts);
    NautilusPropertiesModel* model =
        nautilus_properties_model_new(files_page::cPageTitle, G_LIST_MODEL(store));
    g_object_unref(store);
    if (start == files_page::TPageStart::psLater)
      files_page::ReadPageLater(path, G_OBJECT(model), FillLater);
    return g_list_append(nullptr, model);
  } catch (...) {
    return nullptr;
  }
}

void InitModelProvider(gpointer AIface, gpointer /*AData*/) {
  static_cast<NautilusPropertiesModelProviderInterface*>(AIface)->get_models = GetModels;
}

}  // namespace

void RegisterDrawingPages(GTypeModule* AModule, GType AProviderType) {
  static const GInterfaceInfo cModels = {InitModelProvider, nullptr, nullptr};
  g_type_module_add_interface(AModule, AProviderType, nautilus_properties_model_provider_get_type(),
                              &cModels);
}

void StopDrawingPages() {
  files_page::StopPageReads();
}
