// The record's UTF-8 decoder: well-formed text of every length kept exactly, and
// one U+FFFD per maximal ill-formed subpart, the same on every platform. On
// Linux it is also checked against ICU, which follows the same recommendation.
#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifndef _WIN32
#include "platform/Platform.h"
#endif

namespace {

std::string Hex(std::u16string_view AText) {
  std::string out;
  char unit[8];
  for (char16_t c : AText) {
    std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
    out += unit;
  }
  return out;
}

std::string HexBytes(std::string_view ABytes) {
  std::string out;
  char byte[4];
  for (char c : ABytes) {
    std::snprintf(byte, sizeof byte, "%02X ", static_cast<unsigned>(static_cast<unsigned char>(c)));
    out += byte;
  }
  return out;
}

constexpr char16_t cR = 0xFFFD;

TEST(Utf8, DecodesEveryWellFormedLengthUpToTheLimits) {
  struct TCase {
    std::string_view Bytes;
    std::u16string_view Text;
  } cases[] = {
      {"", u""},
      {"plain", u"plain"},
      {std::string_view("a\0b", 3), std::u16string_view(u"a\0b", 3)},
      {"\x7F", u"\u007F"},
      {"\xC2\x80", u"\u0080"},
      {"\xDF\xBF", u"\u07FF"},
      {"\xE0\xA0\x80", u"\u0800"},
      {"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC"},
      {"\xED\x9F\xBF", u"\uD7FF"},  // the last code point below the surrogates
      {"\xEE\x80\x80", u"\uE000"},  // and the first above them
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x90\x80\x80", u"\U00010000"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"\xE5\x9B\xB3\xE9\x9D\xA2", u"\u56F3\u9762"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(HexBytes(c.Bytes));
    EXPECT_EQ(Hex(utf8::ToUtf16(c.Bytes)), Hex(c.Text));
  }
}

TEST(Utf8, ReplacesEachMaximalIllFormedSubpartOnce) {
  struct TCase {
    const char* Label;
    std::string_view Bytes;
    std::u16string Text;
  } cases[] = {
      {"past U+10FFFF: F4 90 starts nothing",
       "A\xF4\x90\x80\x80"
       "B",
       {u'A', cR, cR, cR, cR, u'B'}},
      {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", {cR, cR, cR, cR, cR, cR}},
      {"lone low surrogate", "a\xED\xB0\x80", {u'a', cR, cR, cR}},
      {"lone continuation bytes",
       "\x80\xBF"
       "a\x80",
       {cR, cR, u'a', cR}},
      {"overlong two bytes", "\xC0\xAF\xC1\xBF", {cR, cR, cR, cR}},
      {"overlong three bytes", "\xE0\x80\xAF\xE0\x9F\xBF", {cR, cR, cR, cR, cR, cR}},
      {"overlong four bytes", "\xF0\x80\x80\xAF\xF0\x8F\xBF\xBF", {cR, cR, cR, cR, cR, cR, cR, cR}},
      {"F5 and above", "\xF5\x80\x80\x80", {cR, cR, cR, cR}},
      {"old five-byte form", "\xF8\x88\x80\x80\x80", {cR, cR, cR, cR, cR}},
      {"FE and FF", "\xFE\xFF", {cR, cR}},
      {"two bytes cut at the end", "abc\xC3", {u'a', u'b', u'c', cR}},
      {"three bytes cut at the end", "abc\xE2\x82", {u'a', u'b', u'c', cR}},
      {"four bytes cut at the end", "\xF0\x9F\x98", {cR}},
      {"cut short by ASCII",
       "\xE2\x82"
       "A",
       {cR, u'A'}},
      {"cut short by a new lead byte", "\xF0\x9F\x98\xF0\x9F\x98\x80", {cR, 0xD83D, 0xDE00}},
      {"cut short by a lead byte of two", "\xE2\xC3\xA9", {cR, 0x00E9}},
      {"one continuation too many", "\xC3\xA9\xA9", {0x00E9, cR}},
      // The example the Unicode Standard gives for this practice.
      {"mixed",
       "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       {u'a', cR, cR, cR, u'b', cR, u'c', cR, cR, u'd'}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(Hex(utf8::ToUtf16(c.Bytes)), Hex(c.Text));
  }
}

#ifndef _WIN32
// ICU decodes ill-formed UTF-8 by the same recommendation; every short sequence
// of the bytes where the ranges change must decode the same way.
TEST(Utf8, AgreesWithIcuOnEveryShortSequenceOfBoundaryBytes) {
  static constexpr unsigned char cBytes[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                             0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                                             0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
  constexpr std::size_t cCount = sizeof cBytes;
  int mismatches = 0;
  std::string bytes;
  for (std::size_t length = 1; length <= 4; ++length) {
    std::size_t total = 1;
    for (std::size_t k = 0; k < length; ++k) total *= cCount;
    for (std::size_t index = 0; index < total; ++index) {
      bytes.clear();
      for (std::size_t k = 0, rest = index; k < length; ++k, rest /= cCount)
        bytes.push_back(static_cast<char>(cBytes[rest % cCount]));
      bytes += "z";  // a byte after the sequence must not be swallowed
      const std::u16string ours = utf8::ToUtf16(bytes);
      const std::u16string icu = platform::Utf8ToUtf16(bytes);
      if (ours != icu && ++mismatches <= 10)
        ADD_FAILURE() << HexBytes(bytes) << ": " << Hex(ours) << "| ICU " << Hex(icu);
    }
  }
  EXPECT_EQ(mismatches, 0);
}
#endif

}  // namespace
