// The six exported entry points and the library's load and unload hooks. Each
// entry point is a thin shim: any exception below becomes the host's result code.
#include "plugin/FieldAnswers.h"
#include "plugin/SvgPlugin.h"
#include "plugin/contplug.h"

VX_EXPORT void VX_CALL ContentGetDetectString(char* ADetectString, std::int32_t AMaxlen) {
  try {
    GetDetectString(ADetectString, AMaxlen);
  } catch (...) {
  }
}

VX_EXPORT std::int32_t VX_CALL ContentGetSupportedField(std::int32_t AFieldIndex, char* AFieldName,
                                                        char* AUnits, std::int32_t AMaxlen) {
  try {
    return GetSupportedField(AFieldIndex, AFieldName, AUnits, AMaxlen);
  } catch (...) {
    return ft_nomorefields;
  }
}

VX_EXPORT std::int32_t VX_CALL ContentGetValueW(const char16_t* AFileName, std::int32_t AFieldIndex,
                                                std::int32_t AUnitIndex, void* AFieldValue,
                                                std::int32_t AMaxlen, std::int32_t AFlags) {
  try {
    return GetValueW(AFileName, AFieldIndex, AUnitIndex, AFieldValue, AMaxlen, AFlags);
  } catch (...) {
    return ft_fieldempty;
  }
}

VX_EXPORT std::int32_t VX_CALL ContentGetValue(const char* AFileName, std::int32_t AFieldIndex,
                                               std::int32_t AUnitIndex, void* AFieldValue,
                                               std::int32_t AMaxlen, std::int32_t AFlags) {
  try {
    return GetValueA(AFileName, AFieldIndex, AUnitIndex, AFieldValue, AMaxlen, AFlags);
  } catch (...) {
    return ft_fieldempty;
  }
}

VX_EXPORT void VX_CALL ContentSendStateInformationW(std::int32_t AState, const char16_t* APath) {
  try {
    SendStateInformation(AState, APath);
  } catch (...) {
  }
}

VX_EXPORT void VX_CALL ContentSetDefaultParams(ContentDefaultParamStruct* ADps) {
  try {
    SetDefaultParams(ADps);
  } catch (...) {
  }
}

// Load and unload. The library's own hooks run the plugin's start-up and
// shutdown: on Windows the DLL entry point at process attach and detach, with
// the system's codes spelled out here so that no OS header is needed; elsewhere
// the loader's constructor and destructor hooks.
#if defined(_WIN32)
namespace {
constexpr unsigned long cDllProcessDetach = 0;
constexpr unsigned long cDllProcessAttach = 1;
}  // namespace

extern "C" int VX_CALL DllMain(void* AInstance, unsigned long AReason, void* AReserved) {
  (void)AInstance;
  if (AReason == cDllProcessAttach) {
    PluginStartup();
  } else if (AReason == cDllProcessDetach && AReserved == nullptr) {
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
