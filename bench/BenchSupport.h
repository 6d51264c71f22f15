// What the bench programs bench_shapes and bench_corpus share: the plugin seen
// through its exports as a host sees it, one file's sixteen value requests, a
// drawing read for pugixml as the plugin reads it (plain, gzip or ZIP-wrapped, at
// most 256 MiB inflated), a scratch folder, and plain-text tables. Their OS
// services (loading the library, child processes, peak memory) come from the
// platform layer.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "extract/SvgFields.h"
#include "host/LoadedPlugin.h"
#include "platform/HostPlatform.h"
#include "plugin/contplug.h"

namespace pugi {
class xml_document;
}

namespace bench {

constexpr std::int32_t cHostValueBytes = 8192;  // the value buffer a file manager passes
constexpr std::uint64_t cMiB = 1024 * 1024;
constexpr std::uint64_t cInputCeiling = 256 * cMiB;  // the plugin reads no more of a drawing

inline std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A path as the plugin's wide entry points take it, and the other way.
std::u16string PathText(const std::filesystem::path& APath);
std::filesystem::path PathOf(std::u16string_view AText);

// This program's own file, for starting fresh copies of itself.
std::filesystem::path SelfPath();
// The plugin and the host tool built beside the bench programs.
std::filesystem::path BuiltPluginPath();
std::filesystem::path BuiltHostToolPath();

// The plugin library and the two exports the bench programs call.
using TPluginExports = TLoadedPlugin;
bool LoadPlugin(const std::filesystem::path& APath, TPluginExports& APlugin, std::string& AError);

// One value request's result code and the bytes the plugin wrote.
struct TFieldAnswer {
  std::int32_t Result = ft_fieldempty;
  alignas(8) std::array<unsigned char, cHostValueBytes> Value{};
};
using TFileAnswers = std::array<TFieldAnswer, cFieldCount>;

struct TRequestTimes {
  std::int64_t FirstNs = 0;  // the first request: finding, reading and parsing the file
  std::int64_t RestNs = 0;   // the other fields' requests, answered from the cache
};

// Asks every field (unit 0, no flags) of one file in turn, as a host fills a row.
TRequestTimes RequestAllFields(const TPluginExports& APlugin, const std::u16string& APath,
                               TFileAnswers& AAnswers);

// An answer as one line of text: the string in quotes, the number, true or
// false, or "-" when empty; strings longer than maxChars are cut.
std::string AnswerText(const TFieldAnswer& AAnswer, std::size_t AMaxChars = 60);

// Reads a whole file; false when it cannot be read.
bool ReadFile(const std::filesystem::path& APath, std::string& ABytes);
// Reads a file through a small buffer, so that the file cache holds it before it
// is measured; its size.
std::uint64_t WarmFile(const std::filesystem::path& APath);

// The bytes the plugin parses from a file's bytes: a gzip member and the first
// entry of a ZIP archive inflated, anything else as it is, and never more than
// maxBytes. False with the reason in error on damaged compressed data.
bool DecodeDrawing(std::string_view AFile, std::uint64_t AMaxBytes, std::string& ABytes,
                   std::string& AError);
// The same from a file.
bool ReadDrawing(const std::filesystem::path& APath, std::uint64_t AMaxBytes, std::string& ABytes,
                 std::string& AError);

// pugixml, parsing in place everything the sixteen fields can come from
// (elements, attributes, text and comments); doc then points into bytes.
bool ParseWithPugixml(std::string& ABytes, pugi::xml_document& ADoc, std::string& AStatus);
std::string PugixmlDescription();  // its version and options, for a table's heading

// A new folder under the system's temporary folder, removed with its contents
// when the object goes unless kept.
class TScratchDir {
 public:
  explicit TScratchDir(const std::string& APrefix);
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  void Keep() { FKeep = true; }

 private:
  std::filesystem::path FPath;
  bool FKeep = false;
};

// A table printed with aligned columns: the first left-aligned, the rest right.
class TTable {
 public:
  explicit TTable(std::vector<std::string> AHeaders) : FHeaders(std::move(AHeaders)) {}
  void Add(std::vector<std::string> ARow) { FRows.push_back(std::move(ARow)); }
  std::string Render() const;

 private:
  std::vector<std::string> FHeaders;
  std::vector<std::vector<std::string>> FRows;
};

std::string FormatBytes(double ABytes);         // "12.3 KiB" below 1 MiB, else "123.4 MiB"
std::string FormatSeconds(double ANs);          // "1.23 s", "12.3 ms", "45.6 us"
std::string FormatCount(std::uint64_t ACount);  // "65.5M", "12.3k", "999"
std::string FormatRatio(double ARatio);         // "3.21x"
std::string FormatFixed(double AValue, int ADecimals);

}  // namespace bench
