// The three settings and where they come from: the settings file beside the
// library (its path with the extension replaced by ".ini", section "Vexmeta"),
// then a file of the same name in the folder of the host's own settings file,
// which holds what one user sets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct TSettings {
  // NOLINTNEXTLINE(readability-identifier-naming): named as the settings key
  std::int32_t CacheSize_x64 = 1000;  // 1..32767
  bool ParseImageNode = true;
  std::int64_t ReadLimitBytes = 0;  // key MaxKBytesRead: its kilobytes × 1024; 0 = no limit
};

// The settings file's path for a library path: the extension replaced by ".ini"
// (appended when the file name has none).
std::u16string SettingsPathFor(std::u16string_view ALibraryPath);

// The per-user settings file for a library path and the host's settings file:
// the library's settings file name in the folder of AHostIniName. Empty when
// AHostIniName is.
std::u16string HostSettingsPathFor(std::u16string_view ALibraryPath,
                                   std::u16string_view AHostIniName);

// Reads the three keys from AIniPath into ASettings, the file once: a missing file
// or key, or a value that is no number, keeps what ASettings holds; the clamps
// apply to what is read.
void ReadSettings(std::u16string_view AIniPath, TSettings& ASettings);

// The settings in force: the defaults, then the file beside the library, then
// the per-user file (none when AHostIniName is empty), each key as the last file
// that has a valid value for it says.
TSettings EffectiveSettings(std::u16string_view ALibraryPath, std::u16string_view AHostIniName);

// The value syntax of every key: see TryStrToInt; false for anything else.
bool ParseSettingValue(std::u16string_view AText, std::int32_t& AValue);
