// Which files the extensions read: local drawings, known by their type or
// name. Shared by the list-view columns and the Drawing page of every file
// manager, each of which asks its own file-info object for the type.
#pragma once

#include <gio/gio.h>

#include <string>

namespace files_paths {

// The MIME types of drawings.
constexpr const char* cSvgType = "image/svg+xml";
constexpr const char* cSvgzType = "image/svg+xml-compressed";

// True for a name that ends in ".svg" or ".svgz", in any letter case.
bool HasDrawingName(const char* AName);

// The path of the file at ALocation when it is a drawing by its type
// (ATypedAsDrawing) or its name and is on a local disk, else empty: a network
// share mounted through GIO has a path too, which reading would make the file
// manager wait on.
std::string LocalDrawingPath(GFile* ALocation, bool ATypedAsDrawing);

}  // namespace files_paths
