// Reading the settings files.
#include "plugin/Settings.h"

#include "base/StrictInt.h"
#include "platform/Platform.h"

namespace {

constexpr std::u16string_view cSection = u"Vexmeta";

// Reads one key with ADefault as its default.
std::int32_t ReadInteger(std::u16string_view AIniPath, std::u16string_view AKey,
                         std::int32_t ADefault) {
  std::u16string text;
  if (!platform::ReadIniValue(AIniPath, cSection, AKey, text)) return ADefault;
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
  const std::size_t nameStart = platform::FolderPart(ALibraryPath).size();
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

  // The byte count held is a whole number of kilobytes below 2^31 of them.
  std::int32_t kbytes = ReadInteger(AIniPath, u"MaxKBytesRead",
                                    static_cast<std::int32_t>(ASettings.ReadLimitBytes / 1024));
  ASettings.ReadLimitBytes = kbytes <= 0 ? 0 : static_cast<std::int64_t>(kbytes) * 1024;
}

std::u16string HostSettingsPathFor(std::u16string_view ALibraryPath,
                                   std::u16string_view AHostIniName) {
  if (AHostIniName.empty()) return {};
  const std::u16string own = SettingsPathFor(ALibraryPath);
  std::u16string path(platform::FolderPart(AHostIniName));
  path += platform::FileNamePart(own);
  return path;
}

TSettings EffectiveSettings(std::u16string_view ALibraryPath, std::u16string_view AHostIniName) {
  TSettings settings;
  ReadSettings(SettingsPathFor(ALibraryPath), settings);
  const std::u16string hostPath = HostSettingsPathFor(ALibraryPath, AHostIniName);
  if (!hostPath.empty()) ReadSettings(hostPath, settings);
  return settings;
}
