// The one place that knows which file manager a build of the extension is for.
// GNOME Files, Nemo and Caja share one extension interface under three prefixes;
// the build defines VX_FILES_NAUTILUS, VX_FILES_NEMO or VX_FILES_CAJA, and the
// extension and its test name everything through the aliases below.
#pragma once

#if defined(VX_FILES_NAUTILUS)
// nautilus-extension.h declares the module's entry points without a C linkage
// guard of its own.
extern "C" {
#include <nautilus-extension.h>
}
#define VX_FM_FN(name) nautilus_##name
#define VX_FM_TYPE(name) Nautilus##name
#define VX_FM_CONST(name) NAUTILUS_##name
#define VX_FM_IFACE(name) Nautilus##name##Interface
#define VX_FM_TITLE "GNOME Files"
#define VX_FM_PREFIX "nautilus"
#elif defined(VX_FILES_NEMO)
#include <libnemo-extension/nemo-column-provider.h>
#include <libnemo-extension/nemo-column.h>
#include <libnemo-extension/nemo-extension-types.h>
#include <libnemo-extension/nemo-file-info.h>
#include <libnemo-extension/nemo-info-provider.h>
#include <libnemo-extension/nemo-name-and-desc-provider.h>
// Nemo alone asks an extension for its name and a one-line description, which
// its list of extensions shows.
#define VX_FM_NAME_AND_DESC 1
#define VX_FM_FN(name) nemo_##name
#define VX_FM_TYPE(name) Nemo##name
#define VX_FM_CONST(name) NEMO_##name
#define VX_FM_IFACE(name) Nemo##name##Interface
#define VX_FM_TITLE "Nemo"
#define VX_FM_PREFIX "nemo"
#elif defined(VX_FILES_CAJA)
#include <libcaja-extension/caja-column-provider.h>
#include <libcaja-extension/caja-column.h>
#include <libcaja-extension/caja-extension-types.h>
#include <libcaja-extension/caja-file-info.h>
#include <libcaja-extension/caja-info-provider.h>
#define VX_FM_FN(name) caja_##name
#define VX_FM_TYPE(name) Caja##name
#define VX_FM_CONST(name) CAJA_##name
#define VX_FM_IFACE(name) Caja##name##Iface
#define VX_FM_TITLE "Caja"
#define VX_FM_PREFIX "caja"
#else
#error "define VX_FILES_NAUTILUS, VX_FILES_NEMO or VX_FILES_CAJA"
#endif

namespace files_api {

// The interface's types.
using TFileInfo = VX_FM_TYPE(FileInfo);
using TFileInfoIface = VX_FM_IFACE(FileInfo);
using TColumnProvider = VX_FM_TYPE(ColumnProvider);
using TColumnProviderIface = VX_FM_IFACE(ColumnProvider);
using TInfoProvider = VX_FM_TYPE(InfoProvider);
using TInfoProviderIface = VX_FM_IFACE(InfoProvider);
using TOperationHandle = VX_FM_TYPE(OperationHandle);
using TOperationResult = VX_FM_TYPE(OperationResult);
using TColumn = VX_FM_TYPE(Column);

constexpr TOperationResult cComplete = VX_FM_CONST(OPERATION_COMPLETE);
constexpr TOperationResult cFailed = VX_FM_CONST(OPERATION_FAILED);
constexpr TOperationResult cInProgress = VX_FM_CONST(OPERATION_IN_PROGRESS);

inline GType FileInfoType() {
  return VX_FM_FN(file_info_get_type)();
}
inline GType ColumnProviderType() {
  return VX_FM_FN(column_provider_get_type)();
}
inline GType InfoProviderType() {
  return VX_FM_FN(info_provider_get_type)();
}
inline GType ColumnType() {
  return VX_FM_FN(column_get_type)();
}

// The calls the extension makes.
inline TColumn* NewColumn(const char* AName, const char* AAttribute, const char* ALabel,
                          const char* ADescription) {
  return VX_FM_FN(column_new)(AName, AAttribute, ALabel, ADescription);
}
inline GFile* FileLocation(TFileInfo* AFile) {
  return VX_FM_FN(file_info_get_location)(AFile);
}
inline char* FileName(TFileInfo* AFile) {
  return VX_FM_FN(file_info_get_name)(AFile);
}
inline bool FileIsMimeType(TFileInfo* AFile, const char* AMimeType) {
  return VX_FM_FN(file_info_is_mime_type)(AFile, AMimeType) != FALSE;
}
inline void AddStringAttribute(TFileInfo* AFile, const char* AName, const char* AValue) {
  VX_FM_FN(file_info_add_string_attribute)(AFile, AName, AValue);
}
inline void UpdateComplete(GClosure* AClosure, TInfoProvider* AProvider, TOperationHandle* AHandle,
                           TOperationResult AResult) {
  VX_FM_FN(info_provider_update_complete_invoke)(AClosure, AProvider, AHandle, AResult);
}

// The prefix of the module's entry points (prefix_module_initialize, ...), as
// the file manager looks them up, and the file manager's name for messages.
constexpr const char* cModulePrefix = VX_FM_PREFIX;
constexpr const char* cTitle = VX_FM_TITLE;

}  // namespace files_api

// The entry points' names for the extension's definitions.
#define VX_FM_MODULE_INITIALIZE VX_FM_FN(module_initialize)
#define VX_FM_MODULE_SHUTDOWN VX_FM_FN(module_shutdown)
#define VX_FM_MODULE_LIST_TYPES VX_FM_FN(module_list_types)
