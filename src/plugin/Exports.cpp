// The five exported entry points and the library's load and unload hooks. Each
// entry point is a thin shim: any exception below becomes the host's result code.
#include "plugin/contplug.h"
#include "plugin/uSvgWdx.h"

VX_EXPORT void VX_CALL ContentGetDetectString(char* DetectString, std::int32_t maxlen) {
  try {
    GetDetectString(DetectString, maxlen);
  } catch (...) {
  }
}

VX_EXPORT std::int32_t VX_CALL ContentGetSupportedField(std::int32_t FieldIndex, char* FieldName,
                                                        char* Units, std::int32_t maxlen) {
  try {
    return GetSupportedField(FieldIndex, FieldName, Units, maxlen);
  } catch (...) {
    return ft_nomorefields;
  }
}

VX_EXPORT std::int32_t VX_CALL ContentGetValueW(const char16_t* FileName, std::int32_t FieldIndex,
                                                std::int32_t UnitIndex, void* FieldValue,
                                                std::int32_t maxlen, std::int32_t flags) {
  try {
    return GetValueW(FileName, FieldIndex, UnitIndex, FieldValue, maxlen, flags);
  } catch (...) {
    return ft_fieldempty;
  }
}

VX_EXPORT std::int32_t VX_CALL ContentGetValue(const char* FileName, std::int32_t FieldIndex,
                                               std::int32_t UnitIndex, void* FieldValue,
                                               std::int32_t maxlen, std::int32_t flags) {
  try {
    return GetValueA(FileName, FieldIndex, UnitIndex, FieldValue, maxlen, flags);
  } catch (...) {
    return ft_fieldempty;
  }
}

VX_EXPORT void VX_CALL ContentSendStateInformationW(std::int32_t state, const char16_t* path) {
  try {
    SendStateInformation(state, path);
  } catch (...) {
  }
}

// Load and unload: on Windows the platform layer's DllMain calls PluginStartup
// and PluginShutdown at process attach and detach.
#if !defined(_WIN32)
namespace {
__attribute__((constructor)) void OnLibraryLoad() {
  PluginStartup();
}
__attribute__((destructor)) void OnLibraryUnload() {
  PluginShutdown();
}
}  // namespace
#endif
