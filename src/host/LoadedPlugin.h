// The plugin as a host sees it: the library loaded by path and its six exports
// bound by name, in one place for every program that loads it (the host tool,
// the tests, the benchmarks). Not part of the plugin module.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/HostPlatform.h"
#include "plugin/contplug.h"

struct TLoadedPlugin {
  std::unique_ptr<platform::TDynamicLibrary> Library;
  TContentGetDetectString GetDetectString = nullptr;
  TContentGetSupportedField GetSupportedField = nullptr;
  TContentGetValueW GetValueW = nullptr;
  TContentGetValue GetValue = nullptr;
  TContentSendStateInformationW SendStateInformation = nullptr;
  TContentSetDefaultParams SetDefaultParams = nullptr;

  // Loads the library at APath and binds every export. False when the library
  // does not load (AError receives the system's reason) or one of the five
  // required exports is missing (AError names it; the exports found stay bound).
  // ContentSetDefaultParams is optional, as it is for every host.
  bool Load(std::u16string_view APath, std::string* AError = nullptr);
  // Whether every export is bound.
  bool Complete() const;
};
