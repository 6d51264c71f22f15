// Character encodings, the code-page table, the chunk decoders the parser input
// runs over raw bytes, the string converters and the trimming of white bytes.
// All text inside the reader is UTF-8. Single-byte code-page conversion goes
// through the platform layer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum TXmlStringEncoding : std::uint8_t {
  seAnsi,
  seUTF8,
  seUTF16BE,
  seUTF16LE,
  seUTF32BE,
  seUTF32LE,
  seUCS4_2143,  // NOLINT(readability-identifier-naming): the encoding's own name
  seUCS4_3412,  // NOLINT(readability-identifier-naming)
  seEBCDIC
};
static_assert(sizeof(TXmlStringEncoding) == 1);

// Name and code page of an encoding ("ansi"/0, "utf-8"/65001, ...).
const char* EncodingName(TXmlStringEncoding AEncoding);
std::int32_t EncodingCodePage(TXmlStringEncoding AEncoding);

// One encoding-detection rule, and the rule that matched a load.
struct TXmlBomInfo {
  std::array<std::uint8_t, 4> BOM{};  // leading bytes to compare, zero-padded
  std::int32_t Len = 0;               // how many of them are compared
  TXmlStringEncoding Encoding = seAnsi;
  bool HasBOM = false;  // the compared bytes are a byte-order mark and are removed
};

struct TCodePageInfo {
  std::string_view Name;
  std::int32_t CodePage;
};

// The 143 rows of the code-page table, in their fixed order (lookups take the first match).
extern const std::array<TCodePageInfo, 143> cCodePageInfo;

// Code page of the first row whose name equals AName without regard to ASCII case.
std::int32_t CodePageFromName(std::string_view AName, std::int32_t ADefault = 65001);
// 1200 → seUTF16LE, 1201 → seUTF16BE, 65001 → seUTF8, anything else → seAnsi.
TXmlStringEncoding EncodingFromName(std::string_view AName);

// Chunk decoders. Each writes into a destination sized by the caller and returns
// the bytes written. The end-of-line rule: CR gives LF and sets ALastChar0D; LF
// while it is set gives nothing and clears it; every other character clears it.
// Destination sizes: Utf8BytesToUtf8 at most ACount; CodePageBytesToUtf8 at most
// 3 × ACount; Utf16UnitsToUtf8 at most 3 × AUnitCount + 3.
std::size_t Utf8BytesToUtf8(const std::uint8_t* ASource, std::uint8_t* ADest, std::size_t ACount,
                            bool& ALastChar0D);
std::size_t CodePageBytesToUtf8(const std::uint8_t* ASource, std::uint8_t* ADest,
                                std::size_t ACount, std::int32_t ACodePage, bool& ALastChar0D);
// ASource holds AUnitCount little-endian 16-bit units (2 × AUnitCount bytes). A
// high surrogate followed by a low one is one character (four bytes); a
// surrogate without its partner becomes U+FFFD. APendingHigh carries a high
// surrogate that ends one call to the next (0: none), so a pair split between
// chunks is still one character; Utf16PendingToUtf8 ends the text, writing the
// U+FFFD of a high surrogate still pending (at most 3 bytes).
std::size_t Utf16UnitsToUtf8(const std::uint8_t* ASource, std::uint8_t* ADest,
                             std::size_t AUnitCount, bool& ALastChar0D, char16_t& APendingHigh);
std::size_t Utf16PendingToUtf8(std::uint8_t* ADest, char16_t& APendingHigh);

// Reverse decoders. They never read past AEnd / ACount.
int Utf8SequenceLength(const std::uint8_t* AP, const std::uint8_t* AEnd);
std::size_t Utf8BytesToUtf16Units(const std::uint8_t* ASource, char16_t* ADest, std::size_t ACount);
std::size_t Utf8BytesToCodePage(const std::uint8_t* ASource, std::uint8_t* ADest,
                                std::int32_t ACodePage, std::size_t ACount, bool& ADefaultUsed);

// String converters.
std::string UnicodeStringToUtf8(std::u16string_view AS);
// Standard UTF-8 → UTF-16; invalid sequences become U+FFFD, except that a high and
// a low surrogate each written as three bytes (as some writers encode a character
// outside the basic plane) are joined back into their pair.
std::u16string Utf8StringToUnicode(std::string_view AS);
std::string CodePageStringToUtf8(std::string_view AS, std::int32_t ACodePage);
std::string Utf8StringToCodePage(std::string_view AS, std::int32_t ACodePage);
