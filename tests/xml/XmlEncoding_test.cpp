// Encoding names, the code-page table, the chunk decoders with their end-of-line
// rule, the reverse decoders, the string converters and trimming.
#include "xml/XmlEncoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using TByteVector = std::vector<std::uint8_t>;

TByteVector B(std::string_view AS) {
  return TByteVector(AS.begin(), AS.end());
}

TEST(Encoding, NamesAndCodePagesOfTheEncodings) {
  struct TCase {
    TXmlStringEncoding E;
    const char* Name;
    std::int32_t Cp;
  };
  const TCase cases[] = {{seAnsi, "ansi", 0},
                         {seUTF8, "utf-8", 65001},
                         {seUTF16BE, "unicodeFFFE", 1201},
                         {seUTF16LE, "utf-16", 1200},
                         {seUTF32BE, "utf-32BE", 12001},
                         {seUTF32LE, "utf-32", 12000},
                         {seUCS4_2143, "ucs4_2143", 0},
                         {seUCS4_3412, "ucs4_3412", 0},
                         {seEBCDIC, "ebcdic", 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_STREQ(EncodingName(c.E), c.Name);
    EXPECT_EQ(EncodingCodePage(c.E), c.Cp);
  }
}

TEST(Encoding, CodePageTableHoldsItsRowsInOrder) {
  EXPECT_EQ(cCodePageInfo.front().Name, "IBM037");
  EXPECT_EQ(cCodePageInfo[5].Name, "BCON V4");
  EXPECT_EQ(cCodePageInfo[5].CodePage, 709);
  EXPECT_EQ(cCodePageInfo.back().Name, "utf-8");
  EXPECT_EQ(cCodePageInfo.back().CodePage, 65001);
  // A typo in any code page changes the sum; a swapped pair of rows shows below.
  std::int64_t sum = 0;
  for (const TCodePageInfo& row : cCodePageInfo) sum += row.CodePage;
  EXPECT_EQ(sum, 2570018);
}

TEST(Encoding, CodePageFromNameTakesFirstCaseInsensitiveMatch) {
  struct TCase {
    const char* Name;
    std::int32_t Expected;
  };
  const TCase cases[] = {
      {"WINDOWS-1252", 1252}, {"ansi", 65001},        {"euc-jp", 20932},
      {"EUC-JP", 20932},      {"iso-2022-jp", 50220}, {"csiso2022jp", 50221},
      {"bcon v4", 709},       {"ASMO-449+", 709},     {"", 65001},
      {"utf-8 ", 65001},      {"IBM037", 37},         {"x-mac-ce", 10029},
      {"latin-1", 65001},     {"Utf-7", 65000},       {"ibm00924", 20924},
      {"GB18030", 54936},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(CodePageFromName(c.Name, 65001), c.Expected);
  }
  EXPECT_EQ(CodePageFromName("nothing", -1), -1);
}

TEST(Encoding, EncodingFromName) {
  struct TCase {
    const char* Name;
    TXmlStringEncoding Expected;
  };
  const TCase cases[] = {{"UTF-16", seUTF16LE},  {"unicodeFFFE", seUTF16BE}, {"latin-1", seUTF8},
                         {"", seUTF8},           {"utf-8", seUTF8},          {"utf-32", seAnsi},
                         {"iso-8859-1", seAnsi}, {"windows-1252", seAnsi},   {"ansi", seUTF8}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(EncodingFromName(c.Name), c.Expected);
  }
}

// Runs a decoder over each piece in turn with one pending-CR flag, as the parser
// does over its chunks.
template <class Decode>
TByteVector DecodePieces(const std::vector<TByteVector>& APieces, std::size_t APerByte,
                         Decode ADecode) {
  TByteVector out;
  bool pending = false;
  for (const TByteVector& piece : APieces) {
    TByteVector dest(piece.size() * APerByte + 1);
    std::size_t n = ADecode(piece, dest.data(), pending);
    out.insert(out.end(), dest.begin(), dest.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return out;
}

TEST(Encoding, Utf8ByteCopyNormalisesLineEndsAcrossCalls) {
  struct TCase {
    const char* Label;
    std::vector<TByteVector> Pieces;
    TByteVector Expected;
  };
  const TCase cases[] = {
      {"mixed",
       {{0x61, 0x0D, 0x0A, 0x62, 0x0D, 0x63, 0x0A, 0x0A}},
       {0x61, 0x0A, 0x62, 0x0A, 0x63, 0x0A, 0x0A}},
      {"CR|LF split", {{0x61, 0x0D}, {0x0A, 0x62}}, {0x61, 0x0A, 0x62}},
      {"CR CR LF", {{0x0D, 0x0D, 0x0A}}, {0x0A, 0x0A}},
      {"CR|empty|LF", {{0x0D}, {}, {0x0A}}, {0x0A}},
      {"lone LF after split CR is dropped", {{0x0D}, {0x0A}, {0x0A}}, {0x0A, 0x0A}},
      {"high bytes pass unchecked", {{0xFF, 0x0D, 0xC3}}, {0xFF, 0x0A, 0xC3}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(DecodePieces(c.Pieces, 1,
                           [](const TByteVector& p, std::uint8_t* d, bool& f) {
                             return Utf8BytesToUtf8(p.data(), d, p.size(), f);
                           }),
              c.Expected);
  }
}

// A surrogate pair is one character also when the pieces split it; a surrogate
// without its partner is one U+FFFD, also at the very end.
TEST(Encoding, Utf16UnitsJoinSurrogatePairsAcrossCalls) {
  struct TCase {
    const char* Label;
    std::vector<TByteVector> Pieces;  // little-endian units
    TByteVector Expected;
  };
  const TByteVector smile = {0xF0, 0x9F, 0x98, 0x80};  // U+1F600
  const TByteVector fffd = {0xEF, 0xBF, 0xBD};
  auto join = [](std::initializer_list<TByteVector> AParts) {
    TByteVector out;
    for (const TByteVector& p : AParts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const TCase cases[] = {
      {"CR, e-acute, LF", {{0x0D, 0, 0xE9, 0, 0x0A, 0}}, {0x0A, 0xC3, 0xA9, 0x0A}},
      {"surrogate pair", {{0x3D, 0xD8, 0x00, 0xDE}}, smile},
      {"pair split between calls",
       {{0x41, 0, 0x3D, 0xD8}, {0x00, 0xDE, 0x42, 0}},
       join({{0x41}, smile, {0x42}})},
      {"pair split by an empty call", {{0x3D, 0xD8}, {}, {0x00, 0xDE}}, smile},
      {"lone high before a letter", {{0x3D, 0xD8, 0x41, 0}}, join({fffd, {0x41}})},
      {"lone high before CR", {{0x3D, 0xD8}, {0x0D, 0, 0x0A, 0}}, join({fffd, {0x0A}})},
      {"two highs, then a low", {{0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}}, join({fffd, smile})},
      {"lone low", {{0x00, 0xDE, 0x41, 0}}, join({fffd, {0x41}})},
      {"high at the very end", {{0x41, 0, 0x3D, 0xD8}}, join({{0x41}, fffd})},
      {"CR|LF split", {{0x0D, 0}, {0x0A, 0}}, {0x0A}},
      {"two-byte top", {{0xFF, 0x07}}, {0xDF, 0xBF}},
      {"U+0800 and U+FFFF", {{0x00, 0x08, 0xFF, 0xFF}}, {0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF}},
      {"NUL is kept", {{0x00, 0x00}}, {0x00}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    char16_t high = 0;
    TByteVector out =
        DecodePieces(c.Pieces, 3, [&high](const TByteVector& AP, std::uint8_t* AD, bool& AF) {
          return Utf16UnitsToUtf8(AP.data(), AD, AP.size() / 2, AF, high);
        });
    std::uint8_t end[3];
    out.insert(out.end(), end, end + Utf16PendingToUtf8(end, high));
    EXPECT_EQ(out, c.Expected);
    EXPECT_EQ(high, 0);
  }
}

TEST(Encoding, CodePageBytesConvertHighBytesOneByOne) {
  auto decode1252 = [](const TByteVector& AP, std::uint8_t* AD, bool& AF) {
    return CodePageBytesToUtf8(AP.data(), AD, AP.size(), 1252, AF);
  };
  EXPECT_EQ(DecodePieces({{0x80, 0x0D, 0x0A, 0xE9, 0x41, 0x0D}, {0x0A}}, 3, decode1252),
            B("\xE2\x82\xAC\n\xC3\xA9"
              "A\n"));
  EXPECT_EQ(CodePageStringToUtf8("caf\xE9\r\nx\ry", 1252), "caf\xC3\xA9\nx\ny");
  // A byte the code page leaves unmapped still yields exactly one character.
  std::string unmapped = CodePageStringToUtf8("\x81", 1252);
  EXPECT_FALSE(unmapped.empty());
  EXPECT_LE(unmapped.size(), 3u);
}

TEST(Encoding, Utf8SequenceLengthNeverReadsPastTheEnd) {
  struct TCase {
    const char* Label;
    TByteVector Bytes;
    int Expected;
  };
  const TCase cases[] = {
      {"ascii", {0x41}, 1},
      {"continuation as lead", {0x80, 0x80}, 1},
      {"two", {0xC3, 0xA9}, 2},
      {"two, bad follower", {0xC3, 0x41}, 1},
      {"three", {0xE2, 0x82, 0xAC}, 3},
      {"three, cut", {0xE2, 0x82}, 1},
      {"four", {0xF0, 0x9F, 0x98, 0x80}, 4},
      {"four, cut", {0xF0, 0x9F, 0x98}, 1},
      {"F8 lead", {0xF8, 0x80, 0x80, 0x80, 0x80}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    // Exactly sized heap storage lets the address sanitizer catch an overread.
    auto heap = std::make_unique<std::uint8_t[]>(c.Bytes.size());
    std::copy(c.Bytes.begin(), c.Bytes.end(), heap.get());
    EXPECT_EQ(Utf8SequenceLength(heap.get(), heap.get() + c.Bytes.size()), c.Expected);
  }
}

TEST(Encoding, Utf8BytesToUtf16UnitsConsumesBrokenSequences) {
  struct TCase {
    const char* Label;
    TByteVector Bytes;
    std::u16string Expected;
  };
  const TCase cases[] = {
      {"ascii and two", {0x41, 0xC3, 0xA9}, u"A\u00E9"},
      {"three", {0xE2, 0x82, 0xAC}, u"\u20AC"},
      {"bad follower eaten", {0xC3, 0x41, 0x42}, u"B"},
      {"cut at end", {0x41, 0xE2, 0x82}, u"A"},
      {"four-byte lead takes three-byte path", {0xF0, 0x9F, 0x98, 0x41}, u"\u07D8A"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    std::u16string out(c.Bytes.size(), u'\0');
    auto heap = std::make_unique<std::uint8_t[]>(c.Bytes.size());
    std::copy(c.Bytes.begin(), c.Bytes.end(), heap.get());
    out.resize(Utf8BytesToUtf16Units(heap.get(), out.data(), c.Bytes.size()));
    EXPECT_EQ(out, c.Expected);
  }
}

TEST(Encoding, Utf8ToCodePageGivesOneBytePerCharacter) {
  struct TCase {
    const char* Label;
    std::string Utf8;
    std::string Expected;
  };
  const TCase cases[] = {
      {"euro", "\xE2\x82\xAC", "\x80"},
      {"e-acute and ascii", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
      {"snowman is not in 1252", "a\xE2\x98\x83z", "a?z"},
      {"four-byte character", "\xF0\x9F\x98\x80", "?"},
      {"truncated sequence", "a\xE2\x82", "a??"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(Utf8StringToCodePage(c.Utf8, 1252), c.Expected);
  }
  bool used = false;
  const std::uint8_t snowman[] = {0xE2, 0x98, 0x83};
  std::uint8_t out[3];
  EXPECT_EQ(Utf8BytesToCodePage(snowman, out, 1252, 3, used), 1u);
  EXPECT_TRUE(used);
  const std::uint8_t snowmanThenA[] = {0xE2, 0x98, 0x83, 0x41};
  EXPECT_EQ(Utf8BytesToCodePage(snowmanThenA, out, 1252, 4, used), 2u);
  EXPECT_FALSE(used);  // the last character processed was plain ASCII
}

TEST(Encoding, StringConvertersBetweenUtf8AndUtf16) {
  EXPECT_EQ(UnicodeStringToUtf8(u"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8StringToUnicode("\xC3\xA9\xF0\x9F\x98\x80"), u"\u00E9\U0001F600");
  // A character read from UTF-16 input arrives as two encoded halves and is joined again.
  EXPECT_EQ(Utf8StringToUnicode("a\xED\xA0\xBD\xED\xB8\x80z"), u"a\U0001F600z");
  // A lone half is not valid text and is replaced.
  std::u16string lone = Utf8StringToUnicode("a\xED\xA0\xBDz");
  EXPECT_EQ(lone.front(), u'a');
  EXPECT_EQ(lone.back(), u'z');
  EXPECT_EQ(lone.find(u'\xD83D'), std::u16string::npos);
  EXPECT_NE(lone.find(u'\xFFFD'), std::u16string::npos);
  EXPECT_EQ(Utf8StringToUnicode(""), u"");
}

}  // namespace
