// The drawing path of a file as GNOME Files, Nemo or Caja describe it (their
// file-info object), for the columns and the Drawing page alike.
#pragma once

#include <string>

#include "DrawingFiles.h"
#include "FileManagerApi.h"

namespace files_paths {

// The path of a local drawing, or empty (LocalDrawingPath).
inline std::string DrawingPath(files_api::TFileInfo* AFile) {
  GFile* location = files_api::FileLocation(AFile);
  if (location == nullptr) return {};
  const bool typed =
      files_api::FileIsMimeType(AFile, cSvgType) || files_api::FileIsMimeType(AFile, cSvgzType);
  std::string path = LocalDrawingPath(location, typed);
  g_object_unref(location);
  return path;
}

}  // namespace files_paths
