// Loading the plugin and binding its exports (see LoadedPlugin.h).
#include "host/LoadedPlugin.h"

namespace {

template <class TFunction>
bool Bind(const platform::TDynamicLibrary& ALibrary, const char* AName, TFunction& ASlot,
          std::string* AError) {
  ASlot = reinterpret_cast<TFunction>(ALibrary.Symbol(AName));
  if (ASlot == nullptr && AError != nullptr)
    *AError += std::string(AError->empty() ? "" : "; ") + "does not export " + AName;
  return ASlot != nullptr;
}

}  // namespace

bool TLoadedPlugin::Load(std::u16string_view APath, std::string* AError) {
  Library = platform::TDynamicLibrary::Open(APath, AError);
  if (!Library) return false;
  if (AError != nullptr) AError->clear();
  bool ok = Bind(*Library, "ContentGetDetectString", GetDetectString, AError);
  ok = Bind(*Library, "ContentGetSupportedField", GetSupportedField, AError) && ok;
  ok = Bind(*Library, "ContentGetValueW", GetValueW, AError) && ok;
  ok = Bind(*Library, "ContentGetValue", GetValue, AError) && ok;
  ok = Bind(*Library, "ContentSendStateInformationW", SendStateInformation, AError) && ok;
  // Optional for a host: a plugin without it simply gets no settings folder.
  SetDefaultParams =
      reinterpret_cast<TContentSetDefaultParams>(Library->Symbol("ContentSetDefaultParams"));
  return ok;
}

bool TLoadedPlugin::Complete() const {
  return Library && GetDetectString && GetSupportedField && GetValueW && GetValue &&
         SendStateInformation && SetDefaultParams;
}
