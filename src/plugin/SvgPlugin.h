// The plugin unit: the detect string, the module-wide state
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
struct ContentDefaultParamStruct;

extern const char cDetectString[];

void GetDetectString(char* ADetectString, std::int32_t AMaxLen);
std::int32_t GetValueW(const char16_t* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags);
std::int32_t GetValueA(const char* AFileName, std::int32_t AFieldIndex, std::int32_t AUnitIndex,
                       void* AFieldValue, std::int32_t AMaxLen, std::int32_t AFlags);
void SendStateInformation(std::int32_t AState, const char16_t* APath);
void SetDefaultParams(const ContentDefaultParamStruct* AParams);

// The host's settings file named in AParams, as UTF-16; empty when there is no
// structure, or no name ends with a zero byte within the size the host gave.
std::u16string HostIniName(const ContentDefaultParamStruct* AParams);

// What a request with the delay-if-slow flag may still read while the host
// waits: at most cReadAtOnceBytes of SVG text. A plain drawing up to that size
// is read; compressed data can hold a thousand times its size, so a compressed
// drawing is tried only up to cReadAtOnceCompressedBytes on disk, and given up
// on once its text runs past cReadAtOnceBytes.
constexpr std::int64_t cReadAtOnceBytes = std::int64_t{1024} * 1024;
constexpr std::int64_t cReadAtOnceCompressedBytes = std::int64_t{256} * 1024;

// Library load and unload. Neither lets an error out.
void PluginStartup();
void PluginShutdown();

// Reads the settings file beside the library (and sets up the result cache);
// errors are swallowed.
void LoadSettings();

// Reads and parses one file, which the caller has just found to be a regular
// file, into a new cache object (invalid when the file is no SVG drawing) with
// the caller's options and extractor; null when the file could not be read,
// when anything else fails while building it, or when the options' text budget
// was spent (then *AOverBudget is set).
std::unique_ptr<TCacheObject> BuildCacheObject(std::u16string_view APath, double ATime,
                                               std::int64_t ASize, const TExtractOptions& AOptions,
                                               TSvgExtractor& AExtractor,
                                               bool* AOverBudget = nullptr);
