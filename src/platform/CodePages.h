// The code-page tables both platform files convert single bytes with: built
// once per code page by the platform's own converter (BuildCodePageTable, one
// per platform file) and kept, shared, in one cache (CodePages.cpp). Internal to
// src/platform.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>

namespace platform {

// A single-byte view of a code page: each byte to one UTF-16 code unit
// (U+FFFD for a byte the code page does not map), and, where the platform
// builds it, the reverse.
struct TCodePageTable {
  std::array<char16_t, 256> ToUnicode{};
  std::map<char16_t, std::uint8_t> FromUnicode;  // empty where the system converts
};

// Builds the table of a code page with the platform's converter; an unknown
// code page gives a table of its own (never null). Defined by each platform.
std::unique_ptr<TCodePageTable> BuildCodePageTable(std::int32_t ACodePage);

// The table of a code page, built on its first use and kept while the library
// is loaded. Safe from any thread: a built table is read-only.
const TCodePageTable& CodePageTableFor(std::int32_t ACodePage);

}  // namespace platform
