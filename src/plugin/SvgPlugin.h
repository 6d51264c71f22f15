// The plugin unit: the detect string, the module-wide state
// (plugin lock, settings, result cache, last requested file name), start-up and
// shutdown, and the value requests behind the exported entry points. The
// extern "C" shims in Exports.cpp call these and turn every exception into a
// result code.
#pragma once

#include <cstddef>
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

// A request with the delay-if-slow flag reads a drawing the cache does not hold
// for at most this long (cAnswerAtOnceNs unless the environment variable
// VEXMETA_ANSWER_AT_ONCE_MS, read with the settings, names another whole number
// of milliseconds from 1 on: a seam for tests, which must not depend on the
// machine's speed) and puts the answer off when the read takes longer.
constexpr char cAnswerAtOnceVariable[] = "VEXMETA_ANSWER_AT_ONCE_MS";

// How many drawings put off with the flag are remembered, so that a host's next
// flagged requests for them are put off without a try. A host asks the fields of
// one file in a row, and of a window's worth of files in turn.
constexpr std::size_t cPutOffRemembered = 64;

// Library load and unload. Neither lets an error out.
void PluginStartup();
void PluginShutdown();

// Reads and parses one file, which the caller has just found to be a regular
// file, into a new cache object (invalid when the file is no SVG drawing) with
// the caller's options and extractor; null when the file could not be read,
// when anything else fails while building it, or when the options' time
// budget was spent (then *AOverBudget is set).
std::unique_ptr<TCacheObject> BuildCacheObject(std::u16string_view APath, double ATime,
                                               std::int64_t ASize, const TExtractOptions& AOptions,
                                               TSvgExtractor& AExtractor,
                                               bool* AOverBudget = nullptr);
