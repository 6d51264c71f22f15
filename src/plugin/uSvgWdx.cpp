// Field table, enumeration, module-wide state, start-up and shutdown.
#include "plugin/uSvgWdx.h"

#include <cstring>
#include <memory>

#include "platform/Platform.h"
#include "plugin/contplug.h"

const TFieldInfo cFields[cFieldCount] = {
    {"SVG Version", ft_stringw, ""},
    {"Application", ft_stringw, ""},
    {"Width", ft_stringw, ""},
    {"Height", ft_stringw, ""},
    {"ViewBox", ft_stringw, ""},
    {"Have Embedded Image", ft_boolean, ""},
    {"ID", ft_stringw, ""},
    {"Inkscape Version", ft_stringw, ""},
    {"Sodipodi Version", ft_stringw, ""},
    {"Sodipodi Docbase", ft_stringw, ""},
    {"Sodipodi Docname", ft_stringw, ""},
    {"Metadata Title", ft_stringw, ""},
    {"Metadata Description", ft_stringw, ""},
    {"Metadata Date", ft_stringw, ""},
    {"Calculated Width", ft_numeric_32, "96|90"},
    {"Calculated Height", ft_numeric_32, "96|90"},
};

const char cDetectString[] = "EXT=\"SVG\" | EXT=\"SVGZ\"";
static_assert(sizeof(cDetectString) == 23);

namespace {

// Copies a zero-terminated text into a host buffer of AMaxLen bytes: at most
// AMaxLen - 1 bytes and a zero byte; nothing when there is no room at all.
void CopyHostText(char* ADest, const char* ASource, std::int32_t AMaxLen) {
  if (ADest == nullptr || AMaxLen <= 0) return;
  std::size_t n = std::strlen(ASource);
  std::size_t room = static_cast<std::size_t>(AMaxLen) - 1;
  if (n > room) n = room;
  std::memcpy(ADest, ASource, n);
  ADest[n] = '\0';
}

struct TPluginState {
  platform::Lock Lock;
  TSettings Settings;
  std::u16string LastRequestedFileName;
};

// Created at load, destroyed at unload; requests run only in between.
std::unique_ptr<TPluginState> gState;
const TSettings kDefaultSettings{};

}  // namespace

void GetDetectString(char* ADetectString, std::int32_t AMaxLen) {
  CopyHostText(ADetectString, cDetectString, AMaxLen);
}

std::int32_t GetSupportedField(std::int32_t AFieldIndex, char* AFieldName, char* AUnits,
                               std::int32_t AMaxLen) {
  if (AFieldIndex < 0 || AFieldIndex >= cFieldCount) return ft_nomorefields;
  const TFieldInfo& field = cFields[AFieldIndex];
  CopyHostText(AFieldName, field.Name, AMaxLen);
  CopyHostText(AUnits, field.Units, AMaxLen);
  return field.Type;
}

const TSettings& Settings() {
  return gState ? gState->Settings : kDefaultSettings;
}

void LoadSettings() {
  try {
    std::u16string iniPath = SettingsPathFor(platform::ModulePath());
    ReadSettings(iniPath, gState->Settings);
  } catch (...) {
    // The library loads whatever the settings file holds.
  }
}

void PluginStartup() {
  try {
    gState = std::make_unique<TPluginState>();
    LoadSettings();
  } catch (...) {
  }
}

void PluginShutdown() {
  try {
    gState.reset();
  } catch (...) {
  }
}

// The value path is not wired yet: every request answers "field empty".
std::int32_t GetValueW(const char16_t*, std::int32_t, std::int32_t, void*, std::int32_t,
                       std::int32_t AFlags) {
  if ((AFlags & CONTENT_DELAYIFSLOW) != 0) return ft_delayed;
  return ft_fieldempty;
}

std::int32_t GetValueA(const char* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags) {
  std::u16string name = AFileName != nullptr ? platform::AnsiToUtf16(AFileName) : std::u16string();
  return GetValueW(name.c_str(), AFieldIndex, AUnitIndex, AFieldValue, AMaxLen, AFlags);
}

// State notifications do nothing until the result cache exists.
void SendStateInformation(std::int32_t, const char16_t*) {}
