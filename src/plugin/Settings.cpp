// Reading the settings files.
#include "plugin/Settings.h"

#include <optional>
#include <string>
#include <vector>

#include "base/StrictInt.h"
#include "platform/Platform.h"

namespace {

constexpr std::u16string_view cSection = u"Vexmeta";

// The value of a key as read, or ADefault when it is missing or no number.
std::int32_t IntegerOr(const std::optional<std::u16string>& AText, std::int32_t ADefault) {
  std::int32_t value = 0;
  return AText && ParseSettingValue(*AText, value) ? value : ADefault;
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
  // The file is read once for the three keys.
  const std::vector<std::optional<std::u16string>> values = platform::ReadIniValues(
      AIniPath, cSection, {u"CacheSize_x64", u"ParseImageNode", u"MaxKBytesRead"});

  std::int32_t cacheSize = IntegerOr(values[0], ASettings.CacheSize_x64);
  if (cacheSize < 1) cacheSize = 1;
  if (cacheSize > 0x7FFF) cacheSize = 0x7FFF;
  ASettings.CacheSize_x64 = cacheSize;

  ASettings.ParseImageNode = IntegerOr(values[1], ASettings.ParseImageNode ? 1 : 0) != 0;

  // The byte count held is a whole number of kilobytes below 2^31 of them.
  std::int32_t kbytes =
      IntegerOr(values[2], static_cast<std::int32_t>(ASettings.ReadLimitBytes / 1024));
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
