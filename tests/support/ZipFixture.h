// Builds ZIP archives in memory for the tests, so that no binary archive is
// committed. Entries are stored or deflated; fault fields write chosen wrong
// values into the headers to make damaged archives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct TZipFixtureEntry {
  std::string Name;  // the stored name bytes, as written
  std::string Data;  // the uncompressed data
  bool Deflate = false;
  std::uint16_t Flags = 0;  // general-purpose flags (0x0800: UTF-8 name, 0x0001: encrypted)

  // Faults: values written instead of the right ones (-1: the right one).
  std::int64_t Method = -1;             // in both headers
  std::int64_t Crc = -1;                // in both headers
  std::int64_t CompressedSize = -1;     // in the central directory
  std::int64_t UncompressedSize = -1;   // in both headers
  std::int64_t LocalHeaderOffset = -1;  // in the central directory
  std::int64_t CutCompressed = -1;      // write only this many bytes of the compressed data
  // When set, data already holds raw deflate bytes, and uncompressedSize and crc
  // must be given.
  bool RawDeflated = false;
};

// A plain entry: a name and its data, stored or deflated.
inline TZipFixtureEntry Entry(std::string AName, std::string AData, bool ADeflate = false) {
  TZipFixtureEntry e;
  e.Name = std::move(AName);
  e.Data = std::move(AData);
  e.Deflate = ADeflate;
  return e;
}

std::string MakeZip(const std::vector<TZipFixtureEntry>& AEntries, std::string_view AComment = {});

// Raw deflate bytes (no header) of data.
std::string RawDeflate(std::string_view AData);

}  // namespace testing_support
