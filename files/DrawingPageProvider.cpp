// The Drawing page of Nemo's and Caja's properties dialog: a property page
// provider whose page is the GTK 3 grid of DrawingPageGtk.h, offered when the
// dialog shows one local drawing.
#include "DrawingPageProvider.h"

#if defined(VX_FILES_NEMO)
#include <libnemo-extension/nemo-property-page-provider.h>
#include <libnemo-extension/nemo-property-page.h>
#elif defined(VX_FILES_CAJA)
#include <libcaja-extension/caja-property-page-provider.h>
#include <libcaja-extension/caja-property-page.h>
#endif

#include <string>

#include "DrawingPageGtk.h"
#include "DrawingPageReader.h"
#include "FileInfoPath.h"
#include "FileManagerApi.h"

namespace {

using TPageProvider = VX_FM_TYPE(PropertyPageProvider);
using TPageProviderIface = VX_FM_TYPE(PropertyPageProviderIface);

GList* GetPages(TPageProvider* /*AProvider*/, GList* AFiles) {
  try {
    // One file's dialog; several files share a dialog of their common facts.
    if (AFiles == nullptr || AFiles->next != nullptr) return nullptr;
    const std::string path =
        files_paths::DrawingPath(static_cast<files_api::TFileInfo*>(AFiles->data));
    if (path.empty()) return nullptr;
    GtkWidget* page = files_page::NewDrawingPageWidget(path);
    if (page == nullptr) return nullptr;
    GtkWidget* label = gtk_label_new(files_page::cPageTitle);
    return g_list_append(nullptr, VX_FM_FN(property_page_new)("VexmetaDrawing", label, page));
  } catch (...) {
    return nullptr;
  }
}

void InitPageProvider(gpointer AIface, gpointer /*AData*/) {
  static_cast<TPageProviderIface*>(AIface)->get_pages = GetPages;
}

}  // namespace

void RegisterDrawingPages(GTypeModule* AModule, GType AProviderType) {
  static const GInterfaceInfo cPages = {InitPageProvider, nullptr, nullptr};
  g_type_module_add_interface(AModule, AProviderType, VX_FM_FN(property_page_provider_get_type)(),
                              &cPages);
}

void StopDrawingPages() {
  files_page::StopPageReads();
}
