// The plugin unit: the field table and detect string, the module-wide state
// (plugin lock, settings, result cache, last requested file name), start-up and
// shutdown, and the value requests behind the exported entry points. The
// extern "C" shims in Exports.cpp call these and turn every exception into a
// result code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "extract/SvgExtractor.h"
#include "plugin/Settings.h"

class TCacheObject;

// The field indexes, in the order of the field table.
enum TFieldIndex : std::int32_t {
  fiSvgVersion,
  fiApplication,
  fiWidth,
  fiHeight,
  fiViewBox,
  fiEmbeddedImage,
  fiID,
  fiInkscapeVersion,
  fiSodipodiVersion,
  fiSodipodiDocbase,
  fiSodipodiDocname,
  fiMetadataTitle,
  fiMetadataDescription,
  fiMetadataDate,
  fiCalculatedWidth,
  fiCalculatedHeight,
  cFieldCount
};

// One row of the field table: what the host sees of a field, and which part
// of the record makes its value. The type says which member is used: a text
// field shows Text when it is not empty; a boolean shows Flag (only while the
// embedded-image test is on); an integer shows Pixels when above 0, computed
// again at the resolution of the chosen unit (Dpi, one per unit of Units).
struct TFieldInfo {
  const char* Name;
  std::int32_t Type;
  const char* Units;
  std::u16string TVexmeta::*Text;
  bool TVexmeta::*Flag;
  std::int32_t TVexmeta::*Pixels;
  std::int32_t Dpi[2];
};

extern const TFieldInfo cFields[cFieldCount];
extern const char cDetectString[];

void GetDetectString(char* ADetectString, std::int32_t AMaxLen);
std::int32_t GetSupportedField(std::int32_t AFieldIndex, char* AFieldName, char* AUnits,
                               std::int32_t AMaxLen);
std::int32_t GetValueW(const char16_t* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags);
std::int32_t GetValueA(const char* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags);
void SendStateInformation(std::int32_t AState, const char16_t* APath);

// Library load and unload. Neither lets an error out.
void PluginStartup();
void PluginShutdown();

// Reads the settings file (and sets up the result cache); errors are swallowed.
void LoadSettings();

// Reads and parses one file, which the caller has just found to be a regular
// file, into a new cache object (invalid when the file is no SVG drawing) with
// the caller's options and extractor; null when anything fails while building it.
std::unique_ptr<TCacheObject> BuildCacheObject(std::u16string_view APath, double ATime,
                                               std::int64_t ASize, const TExtractOptions& AOptions,
                                               TSvgExtractor& AExtractor);

// The settings in force (written once by start-up).
const TSettings& Settings();
