// The three settings read once at start-up from the settings file beside the
// library (its path with the extension replaced by ".ini", section "Vexmeta").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct TSettings {
  // NOLINTNEXTLINE(readability-identifier-naming): named as the settings key
  std::int32_t CacheSize_x64 = 1000;  // 1..32767
  bool ParseImageNode = true;
  std::int64_t MaxKBytesRead = 0;  // a byte count (the key's kilobytes × 1024); 0 = no limit
};

// The settings file's path for a library path: the extension replaced by ".ini"
// (appended when the file name has none).
std::u16string SettingsPathFor(std::u16string_view ALibraryPath);

// Reads the three keys from AIniPath into ASettings, keeping what is there as
// the default of each key, and applies the clamps.
void ReadSettings(std::u16string_view AIniPath, TSettings& ASettings);

// The value syntax of every key: see TryStrToInt; false for anything else.
bool ParseSettingValue(std::u16string_view AText, std::int32_t& AValue);
