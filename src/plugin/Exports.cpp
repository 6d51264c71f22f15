// The six exported entry points and the library's load and unload hooks. Each
// entry point is a thin shim: any exception below becomes the host's result code.
#include "plugin/SvgPlugin.h"
#include "plugin/contplug.h"

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

VX_EXPORT void VX_CALL ContentSetDefaultParams(ContentDefaultParamStruct* dps) {
  try {
    SetDefaultParams(dps);
  } catch (...) {
  }
}

// Load and unload. The library's own hooks run the plugin's start-up and
// shutdown: on Windows the DLL entry point at process attach and detach, with
// the system's codes spelled out here so that no OS header is needed; elsewhere
// the loader's constructor and destructor hooks.
#if defined(_WIN32)
namespace {
constexpr unsigned long kDllProcessDetach = 0;
constexpr unsigned long kDllProcessAttach = 1;
}  // namespace

extern "C" int VX_CALL DllMain(void* instance, unsigned long reason, void* reserved) {
  (void)instance;
  if (reason == kDllProcessAttach) {
    PluginStartup();
  } else if (reason == kDllProcessDetach && reserved == nullptr) {
    // A non-null reserved means the process is ending: its other threads are
    // already gone, possibly inside a value request, and the system frees the
    // memory anyway. Only a FreeLibrary unload tears the plugin down.
    PluginShutdown();
  }
  return 1;  // thread attach and detach need nothing
}
#else
namespace {
__attribute__((constructor)) void OnLibraryLoad() {
  PluginStartup();
}
__attribute__((destructor)) void OnLibraryUnload() {
  PluginShutdown();
}
}  // namespace
#endif
