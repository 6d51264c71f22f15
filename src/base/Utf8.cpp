// The UTF-8 decoder (see Utf8.h): one pass, the allowed range of each next byte
// set by the lead byte, as the WHATWG decoder keeps it.
#include "base/Utf8.h"

#include <cstdint>

namespace utf8 {

namespace {

constexpr char16_t cReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& AOut, std::uint32_t ACodePoint) {
  if (ACodePoint < 0x10000) {
    AOut.push_back(static_cast<char16_t>(ACodePoint));
    return;
  }
  ACodePoint -= 0x10000;
  AOut.push_back(static_cast<char16_t>(0xD800 | (ACodePoint >> 10)));
  AOut.push_back(static_cast<char16_t>(0xDC00 | (ACodePoint & 0x3FF)));
}

}  // namespace

std::u16string ToUtf16(std::string_view AText) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(AText.data());
  const std::size_t n = AText.size();
  std::u16string out;
  out.reserve(n);  // never more code units than bytes
  std::size_t i = 0;
  while (i < n) {
    // A run of ASCII bytes is copied whole.
    std::size_t ascii = i;
    while (ascii < n && p[ascii] < 0x80) ++ascii;
    if (ascii > i) {
      const std::size_t at = out.size();
      out.resize(at + (ascii - i));
      for (std::size_t k = i; k < ascii; ++k) out[at + (k - i)] = p[k];
      i = ascii;
      continue;
    }
    const std::uint8_t lead = p[i++];
    int need = 0;
    std::uint32_t codePoint = 0;
    // The second byte's range excludes overlong forms, surrogates and code
    // points past U+10FFFF; every later byte is any continuation byte.
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
      codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      codePoint = lead & 0x0Fu;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      codePoint = lead & 0x07u;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out.push_back(cReplacement);
      continue;
    }
    while (need > 0 && i < n && p[i] >= low && p[i] <= high) {
      codePoint = (codePoint << 6) | (p[i] & 0x3Fu);
      low = 0x80;
      high = 0xBF;
      ++i;
      --need;
    }
    // A byte out of range is not consumed: it may start the next sequence.
    if (need > 0)
      out.push_back(cReplacement);
    else
      AppendCodePoint(out, codePoint);
  }
  return out;
}

}  // namespace utf8
