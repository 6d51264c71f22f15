// Encodings, the code-page table, the chunk decoders of the parser input and the
// string converters. Decoders write into caller-sized buffers and apply the shared
// end-of-line rule; single-byte code-page conversion goes through the platform.
#include "xml/XmlEncoding.h"

#include <cstring>
#include <utility>

#include "base/Ascii.h"
#include "platform/Platform.h"

namespace {

constexpr std::uint8_t cCr = 13;
constexpr std::uint8_t cLf = 10;

struct TEncodingInfo {
  const char* Name;
  std::int32_t CodePage;
};

constexpr TEncodingInfo cEncodingInfo[] = {
    {"ansi", 0},      {"utf-8", 65001},    {"unicodeFFFE", 1201},
    {"utf-16", 1200}, {"utf-32BE", 12001}, {"utf-32", 12000},
    {"ucs4_2143", 0}, {"ucs4_3412", 0},    {"ebcdic", 0}};
static_assert(std::size(cEncodingInfo) == seEBCDIC + 1);

// One character under the end-of-line rule; returns the bytes written (0 or 1).
inline std::size_t PutAscii(std::uint8_t AC, std::uint8_t* ADest, bool& ALastChar0D) {
  if (AC == cCr) {
    *ADest = cLf;
    ALastChar0D = true;
    return 1;
  }
  if (AC == cLf && ALastChar0D) {
    ALastChar0D = false;
    return 0;
  }
  ALastChar0D = false;
  *ADest = AC;
  return 1;
}

// One UTF-16 unit (not below 0x80) as two or three bytes.
inline std::size_t PutUnit(std::uint16_t AU, std::uint8_t* ADest) {
  if (AU < 0x800) {
    ADest[0] = static_cast<std::uint8_t>(0xC0 | (AU >> 6));
    ADest[1] = static_cast<std::uint8_t>(0x80 | (AU & 0x3F));
    return 2;
  }
  ADest[0] = static_cast<std::uint8_t>(0xE0 | (AU >> 12));
  ADest[1] = static_cast<std::uint8_t>(0x80 | ((AU >> 6) & 0x3F));
  ADest[2] = static_cast<std::uint8_t>(0x80 | (AU & 0x3F));
  return 3;
}

// A code point beyond the basic plane as four bytes.
inline std::size_t PutCodePoint(std::uint32_t AC, std::uint8_t* ADest) {
  ADest[0] = static_cast<std::uint8_t>(0xF0 | (AC >> 18));
  ADest[1] = static_cast<std::uint8_t>(0x80 | ((AC >> 12) & 0x3F));
  ADest[2] = static_cast<std::uint8_t>(0x80 | ((AC >> 6) & 0x3F));
  ADest[3] = static_cast<std::uint8_t>(0x80 | (AC & 0x3F));
  return 4;
}

constexpr char16_t cReplacement = 0xFFFD;

constexpr bool IsHighSurrogate(char16_t AU) {
  return AU >= 0xD800 && AU <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t AU) {
  return AU >= 0xDC00 && AU <= 0xDFFF;
}

bool IsContinuation(std::uint8_t AC) {
  return (AC & 0xC0) == 0x80;
}

// A high surrogate written as three bytes followed by a low one written likewise,
// as the UTF-16 decoder produces for a character outside the basic plane.
bool IsEncodedSurrogatePair(const std::uint8_t* AP, std::size_t AAvail) {
  return AAvail >= 6 && AP[0] == 0xED && AP[1] >= 0xA0 && AP[1] <= 0xAF && IsContinuation(AP[2]) &&
         AP[3] == 0xED && AP[4] >= 0xB0 && AP[4] <= 0xBF && IsContinuation(AP[5]);
}

}  // namespace

const char* EncodingName(TXmlStringEncoding AEncoding) {
  return AEncoding <= seEBCDIC ? cEncodingInfo[AEncoding].Name : "";
}

std::int32_t EncodingCodePage(TXmlStringEncoding AEncoding) {
  return AEncoding <= seEBCDIC ? cEncodingInfo[AEncoding].CodePage : 0;
}

const std::array<TCodePageInfo, 143> cCodePageInfo = {{
    {"IBM037", 37},
    {"IBM437", 437},
    {"IBM500", 500},
    {"ASMO-708", 708},
    {"ASMO-449+", 709},
    {"BCON V4", 709},
    {"Arabic", 710},
    {"DOS-720", 720},
    {"ibm737", 737},
    {"ibm775", 775},
    {"ibm850", 850},
    {"ibm852", 852},
    {"IBM855", 855},
    {"ibm857", 857},
    {"IBM00858", 858},
    {"IBM860", 860},
    {"ibm861", 861},
    {"DOS-862", 862},
    {"IBM863", 863},
    {"IBM864", 864},
    {"IBM865", 865},
    {"cp866", 866},
    {"ibm869", 869},
    {"IBM870", 870},
    {"windows-874", 874},
    {"cp875", 875},
    {"shift_jis", 932},
    {"gb2312", 936},
    {"ks_c_5601-1987", 949},
    {"big5", 950},
    {"IBM1026", 1026},
    {"IBM01047", 1047},
    {"IBM01140", 1140},
    {"IBM01141", 1141},
    {"IBM01142", 1142},
    {"IBM01143", 1143},
    {"IBM01144", 1144},
    {"IBM01145", 1145},
    {"IBM01146", 1146},
    {"IBM01147", 1147},
    {"IBM01148", 1148},
    {"IBM01149", 1149},
    {"utf-16", 1200},
    {"unicodeFFFE", 1201},
    {"windows-1250", 1250},
    {"windows-1251", 1251},
    {"windows-1252", 1252},
    {"windows-1253", 1253},
    {"windows-1254", 1254},
    {"windows-1255", 1255},
    {"windows-1256", 1256},
    {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"Johab", 1361},
    {"macintosh", 10000},
    {"x-mac-japanese", 10001},
    {"x-mac-chinesetrad", 10002},
    {"x-mac-korean", 10003},
    {"x-mac-arabic", 10004},
    {"x-mac-hebrew", 10005},
    {"x-mac-greek", 10006},
    {"x-mac-cyrillic", 10007},
    {"x-mac-chinesesimp", 10008},
    {"x-mac-romanian", 10010},
    {"x-mac-ukrainian", 10017},
    {"x-mac-thai", 10021},
    {"x-mac-ce", 10029},
    {"x-mac-icelandic", 10079},
    {"x-mac-turkish", 10081},
    {"x-mac-croatian", 10082},
    {"utf-32", 12000},
    {"utf-32BE", 12001},
    {"x-Chinese_CNS", 20000},
    {"x-cp20001", 20001},
    {"x_Chinese-Eten", 20002},
    {"x-cp20003", 20003},
    {"x-cp20004", 20004},
    {"x-cp20005", 20005},
    {"x-IA5", 20105},
    {"x-IA5-German", 20106},
    {"x-IA5-Swedish", 20107},
    {"x-IA5-Norwegian", 20108},
    {"us-ascii", 20127},
    {"x-cp20261", 20261},
    {"x-cp20269", 20269},
    {"IBM273", 20273},
    {"IBM277", 20277},
    {"IBM278", 20278},
    {"IBM280", 20280},
    {"IBM284", 20284},
    {"IBM285", 20285},
    {"IBM290", 20290},
    {"IBM297", 20297},
    {"IBM420", 20420},
    {"IBM423", 20423},
    {"IBM424", 20424},
    {"x-EBCDIC-KoreanExtended", 20833},
    {"IBM-Thai", 20838},
    {"koi8-r", 20866},
    {"IBM871", 20871},
    {"IBM880", 20880},
    {"IBM905", 20905},
    {"IBM00924", 20924},
    {"EUC-JP", 20932},
    {"x-cp20936", 20936},
    {"x-cp20949", 20949},
    {"cp1025", 21025},
    {"koi8-u", 21866},
    {"iso-8859-1", 28591},
    {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-9", 28599},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"x-Europa", 29001},
    {"iso-8859-8-i", 38598},
    {"iso-2022-jp", 50220},
    {"csISO2022JP", 50221},
    {"iso-2022-jp", 50222},
    {"iso-2022-kr", 50225},
    {"x-cp50227", 50227},
    {"euc-jp", 51932},
    {"EUC-CN", 51936},
    {"euc-kr", 51949},
    {"hz-gb-2312", 52936},
    {"GB18030", 54936},
    {"x-iscii-de", 57002},
    {"x-iscii-be", 57003},
    {"x-iscii-ta", 57004},
    {"x-iscii-te", 57005},
    {"x-iscii-as", 57006},
    {"x-iscii-or", 57007},
    {"x-iscii-ka", 57008},
    {"x-iscii-ma", 57009},
    {"x-iscii-gu", 57010},
    {"x-iscii-pa", 57011},
    {"utf-7", 65000},
    {"utf-8", 65001},
}};

std::int32_t CodePageFromName(std::string_view AName, std::int32_t ADefault) {
  // Most documents declare no encoding, and no row has an empty name; of those
  // that do, most declare UTF-8, the table's last row and its only one of that
  // name.
  if (AName.empty()) return ADefault;
  if (ascii::EqualsIgnoreCase(AName, "utf-8")) return 65001;
  for (const TCodePageInfo& row : cCodePageInfo)
    if (ascii::EqualsIgnoreCase(AName, row.Name)) return row.CodePage;
  return ADefault;
}

TXmlStringEncoding EncodingFromName(std::string_view AName) {
  switch (CodePageFromName(AName, 65001)) {
    case 1200:
      return seUTF16LE;
    case 1201:
      return seUTF16BE;
    case 65001:
      return seUTF8;
    default:
      return seAnsi;
  }
}

std::size_t Utf8BytesToUtf8(const std::uint8_t* ASource, std::uint8_t* ADest, std::size_t ACount,
                            bool& ALastChar0D) {
  std::size_t out = 0;
  std::size_t i = 0;
  bool pending = ALastChar0D;
  // Runs between CRs are copied whole; only CR and an LF right after it need care.
  while (i < ACount) {
    if (pending) {
      pending = false;
      if (ASource[i] == cLf) {
        ++i;
        continue;
      }
    }
    const void* cr = std::memchr(ASource + i, cCr, ACount - i);
    std::size_t end = cr != nullptr
                          ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(cr) - ASource)
                          : ACount;
    std::memmove(ADest + out, ASource + i, end - i);
    out += end - i;
    i = end;
    if (i < ACount) {
      ADest[out++] = cLf;
      ++i;
      pending = true;
    }
  }
  ALastChar0D = pending;
  return out;
}

std::size_t CodePageBytesToUtf8(const std::uint8_t* ASource, std::uint8_t* ADest,
                                std::size_t ACount, std::int32_t ACodePage, bool& ALastChar0D) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < ACount; ++i) {
    std::uint8_t c = ASource[i];
    if (c < 0x80) {
      out += PutAscii(c, ADest + out, ALastChar0D);
      continue;
    }
    ALastChar0D = false;
    char16_t u = platform::CodePageByteToUtf16(ACodePage, c);
    if (u < 0x80)
      ADest[out++] = static_cast<std::uint8_t>(u);
    else
      out += PutUnit(u, ADest + out);
  }
  return out;
}

std::size_t Utf16UnitsToUtf8(const std::uint8_t* ASource, std::uint8_t* ADest,
                             std::size_t AUnitCount, bool& ALastChar0D, char16_t& APendingHigh) {
  std::size_t out = 0;
  char16_t high = APendingHigh;
  for (std::size_t i = 0; i < AUnitCount; ++i) {
    auto u = static_cast<char16_t>(ASource[2 * i] | (ASource[2 * i + 1] << 8));
    if (high != 0) {
      if (IsLowSurrogate(u)) {
        out += PutCodePoint(0x10000 + ((static_cast<std::uint32_t>(high) - 0xD800) << 10) +
                                (static_cast<std::uint32_t>(u) - 0xDC00),
                            ADest + out);
        high = 0;
        continue;
      }
      out += PutUnit(cReplacement, ADest + out);  // a high surrogate without its partner
      high = 0;
    }
    if (u < 0x80) {
      out += PutAscii(static_cast<std::uint8_t>(u), ADest + out, ALastChar0D);
      continue;
    }
    ALastChar0D = false;
    if (IsHighSurrogate(u))
      high = u;
    else
      out += PutUnit(IsLowSurrogate(u) ? cReplacement : u, ADest + out);
  }
  APendingHigh = high;
  return out;
}

std::size_t Utf16PendingToUtf8(std::uint8_t* ADest, char16_t& APendingHigh) {
  if (std::exchange(APendingHigh, 0) == 0) return 0;
  return PutUnit(cReplacement, ADest);
}

int Utf8SequenceLength(const std::uint8_t* AP, const std::uint8_t* AEnd) {
  if (AP >= AEnd) return 1;
  std::uint8_t c = *AP;
  int need;
  if (c < 0xC0)
    return 1;
  else if ((c & 0xE0) == 0xC0)
    need = 1;
  else if ((c & 0xF0) == 0xE0)
    need = 2;
  else if ((c & 0xF8) == 0xF0)
    need = 3;
  else
    return 1;
  if (AEnd - AP <= need) return 1;
  for (int k = 1; k <= need; ++k)
    if (!IsContinuation(AP[k])) return 1;
  return need + 1;
}

std::size_t Utf8BytesToUtf16Units(const std::uint8_t* ASource, char16_t* ADest,
                                  std::size_t ACount) {
  std::size_t out = 0;
  std::size_t i = 0;
  while (i < ACount) {
    std::uint8_t c = ASource[i++];
    if (c < 0x80) {
      ADest[out++] = c;
      continue;
    }
    std::uint32_t unit = c & 0x3Fu;
    // A missing or wrong continuation byte ends the character without output; a
    // wrong one is consumed with it.
    if (unit & 0x20u) {
      if (i >= ACount) break;
      std::uint8_t c1 = ASource[i++];
      if (!IsContinuation(c1)) continue;
      unit = (unit << 6) | (c1 & 0x3Fu);
    }
    if (i >= ACount) break;
    std::uint8_t c2 = ASource[i++];
    if (!IsContinuation(c2)) continue;
    unit = (unit << 6) | (c2 & 0x3Fu);
    ADest[out++] = static_cast<char16_t>(unit & 0xFFFFu);
  }
  return out;
}

std::size_t Utf8BytesToCodePage(const std::uint8_t* ASource, std::uint8_t* ADest,
                                std::int32_t ACodePage, std::size_t ACount, bool& ADefaultUsed) {
  std::size_t out = 0;
  std::size_t i = 0;
  ADefaultUsed = false;
  while (i < ACount) {
    std::uint8_t c = ASource[i];
    if (c < 0x80) {
      ADest[out++] = c;
      ADefaultUsed = false;
      ++i;
      continue;
    }
    auto len = static_cast<std::size_t>(Utf8SequenceLength(ASource + i, ASource + ACount));
    char16_t units[4];
    std::size_t n = len == 4 ? 0 : Utf8BytesToUtf16Units(ASource + i, units, len);
    if (n == 1) {
      ADest[out++] = platform::Utf16ToCodePageByte(ACodePage, units[0], '?', &ADefaultUsed);
    } else {
      // A four-byte character or a broken sequence has no single byte.
      ADest[out++] = '?';
      ADefaultUsed = true;
    }
    i += len;
  }
  return out;
}

std::string UnicodeStringToUtf8(std::u16string_view AS) {
  return platform::Utf16ToUtf8(AS);
}

std::u16string Utf8StringToUnicode(std::string_view AS) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(AS.data());
  const std::size_t n = AS.size();
  // Characters outside the basic plane read from UTF-16 input arrive as two
  // encoded surrogate halves; they are joined again so they survive the trip.
  std::u16string out;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < n) {
    const void* hit = std::memchr(p + i, 0xED, n - i);
    if (hit == nullptr) break;
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - p);
    if (!IsEncodedSurrogatePair(p + i, n - i)) {
      ++i;
      continue;
    }
    out += platform::Utf8ToUtf16(AS.substr(start, i - start));
    out.push_back(static_cast<char16_t>(0xD000 | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F)));
    out.push_back(static_cast<char16_t>(0xD000 | ((p[i + 4] & 0x3F) << 6) | (p[i + 5] & 0x3F)));
    i += 6;
    start = i;
  }
  if (start == 0) return platform::Utf8ToUtf16(AS);
  out += platform::Utf8ToUtf16(AS.substr(start));
  return out;
}

std::string CodePageStringToUtf8(std::string_view AS, std::int32_t ACodePage) {
  std::string out(AS.size() * 3, '\0');
  bool pending = false;
  std::size_t n = CodePageBytesToUtf8(reinterpret_cast<const std::uint8_t*>(AS.data()),
                                      reinterpret_cast<std::uint8_t*>(out.data()), AS.size(),
                                      ACodePage, pending);
  out.resize(n);
  return out;
}

std::string Utf8StringToCodePage(std::string_view AS, std::int32_t ACodePage) {
  std::string out(AS.size(), '\0');
  bool defaultUsed = false;
  std::size_t n = Utf8BytesToCodePage(reinterpret_cast<const std::uint8_t*>(AS.data()),
                                      reinterpret_cast<std::uint8_t*>(out.data()), ACodePage,
                                      AS.size(), defaultUsed);
  out.resize(n);
  return out;
}
