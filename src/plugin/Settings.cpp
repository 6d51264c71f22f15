// Reading the settings file.
#include "plugin/Settings.h"

#include "base/StrictInt.h"
#include "platform/Platform.h"

namespace {

constexpr std::u16string_view kSection = u"Vexmeta";

// Reads one key with ADefault as its default.
std::int32_t ReadInteger(std::u16string_view AIniPath, std::u16string_view AKey,
                         std::int32_t ADefault) {
  std::u16string text;
  if (!platform::ReadIniValue(AIniPath, kSection, AKey, text)) return ADefault;
  std::int32_t value = 0;
  return ParseSettingValue(text, value) ? value : ADefault;
}

}  // namespace

bool ParseSettingValue(std::u16string_view AText, std::int32_t& AValue) {
  std::string ascii;
  ascii.reserve(AText.size());
  for (char16_t c : AText) {
    if (c >= 0x80) return false;
    ascii.push_back(static_cast<char>(c));
  }
  return TryStrToInt(ascii, AValue);
}

std::u16string SettingsPathFor(std::u16string_view ALibraryPath) {
  std::size_t nameStart = ALibraryPath.find_last_of(u"/\\:");
  nameStart = nameStart == std::u16string_view::npos ? 0 : nameStart + 1;
  std::size_t dot = ALibraryPath.rfind(u'.');
  std::u16string path(ALibraryPath);
  if (dot != std::u16string_view::npos && dot >= nameStart) path.resize(dot);
  path += u".ini";
  return path;
}

void ReadSettings(std::u16string_view AIniPath, TSettings& ASettings) {
  std::int32_t cacheSize = ReadInteger(AIniPath, u"CacheSize_x64", ASettings.CacheSize_x64);
  if (cacheSize < 1) cacheSize = 1;
  if (cacheSize > 0x7FFF) cacheSize = 0x7FFF;
  ASettings.CacheSize_x64 = cacheSize;

  ASettings.ParseImageNode =
      ReadInteger(AIniPath, u"ParseImageNode", ASettings.ParseImageNode ? 1 : 0) != 0;

  std::int32_t kbytes = ReadInteger(AIniPath, u"MaxKBytesRead", 0);
  ASettings.MaxKBytesRead = kbytes <= 0 ? 0 : static_cast<std::int64_t>(kbytes) * 1024;
}
