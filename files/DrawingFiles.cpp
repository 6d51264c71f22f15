// Which files the extensions read: local drawings by type or name.
#include "DrawingFiles.h"

#include <string_view>

namespace files_paths {

bool HasDrawingName(const char* AName) {
  if (AName == nullptr) return false;
  const std::string_view name(AName);
  for (std::string_view suffix : {std::string_view(".svg"), std::string_view(".svgz")})
    if (name.size() > suffix.size() &&
        g_ascii_strcasecmp(AName + name.size() - suffix.size(), suffix.data()) == 0)
      return true;
  return false;
}

std::string LocalDrawingPath(GFile* ALocation, bool ATypedAsDrawing) {
  if (ALocation == nullptr || !g_file_has_uri_scheme(ALocation, "file")) return {};
  std::string path;
  char* base = g_file_get_basename(ALocation);
  if (ATypedAsDrawing || HasDrawingName(base)) {
    if (char* local = g_file_get_path(ALocation); local != nullptr) {
      path = local;
      g_free(local);
    }
  }
  g_free(base);
  return path;
}

}  // namespace files_paths
