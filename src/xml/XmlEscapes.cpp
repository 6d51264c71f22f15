// Line-end styles and the predefined and numeric character references. Each
// conversion first checks whether there is anything to do and hands its input
// back untouched when not, so reading an ordinary value copies nothing.
#include "xml/XmlEscapes.h"

#include <cstring>

#include "base/StrictInt.h"
#include "xml/XmlEncoding.h"

namespace {

struct TReference {
  std::string_view Text;
  char Char;
};

// In the order in which they are tried.
constexpr TReference cReferences[] = {
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};

// Appends the replacement of one reference R ("&...;"), or R itself.
void AppendReference(std::string_view AR, std::string& AOut) {
  for (const TReference& ref : cReferences) {
    if (AR == ref.Text) {
      AOut.push_back(ref.Char);
      return;
    }
  }
  if (AR.size() > 3 && AR[1] == '#') {
    std::int32_t value = 0;
    if (TryStrToInt(AR.substr(2, AR.size() - 3), value) && value >= 0 && value <= 0xFFFF) {
      char16_t unit = static_cast<char16_t>(value);
      AOut += UnicodeStringToUtf8(std::u16string_view(&unit, 1));
      return;
    }
  }
  AOut.append(AR);
}

}  // namespace

std::string_view EolText(TXmlEolStyle AStyle) {
  switch (AStyle) {
    case esLF:
      return "\n";
    case esCR:
      return "\r";
    default:
      return "\r\n";
  }
}

std::string_view UnescapeText(std::string_view AS, std::string& ABuffer) {
  std::size_t amp = AS.find('&');
  if (amp == std::string_view::npos) return AS;
  ABuffer.clear();
  ABuffer.reserve(AS.size());
  std::size_t i = 0;
  while (amp != std::string_view::npos) {
    ABuffer.append(AS.substr(i, amp - i));
    std::size_t stop = AS.find_first_of(";&", amp + 1);
    if (stop == std::string_view::npos || AS[stop] == '&') {
      ABuffer.push_back('&');
      i = amp + 1;
    } else {
      AppendReference(AS.substr(amp, stop - amp + 1), ABuffer);
      i = stop + 1;
    }
    amp = AS.find('&', i);
  }
  ABuffer.append(AS.substr(i));
  return ABuffer;
}

std::string_view EscapeText(std::string_view AS, std::string& ABuffer) {
  constexpr std::string_view cMarkup = "&<>'\"";
  std::size_t hit = AS.find_first_of(cMarkup);
  if (hit == std::string_view::npos) return AS;
  ABuffer.clear();
  ABuffer.reserve(AS.size() + 16);
  std::size_t i = 0;
  while (hit != std::string_view::npos) {
    ABuffer.append(AS.substr(i, hit - i));
    for (const TReference& ref : cReferences)
      if (ref.Char == AS[hit]) ABuffer.append(ref.Text);
    i = hit + 1;
    hit = AS.find_first_of(cMarkup, i);
  }
  ABuffer.append(AS.substr(i));
  return ABuffer;
}

std::string_view ApplyEolStyle(std::string_view AS, TXmlEolStyle AStyle, std::string& ABuffer) {
  if (AStyle == esLF) return AS;
  std::size_t lf = AS.find('\n');
  if (lf == std::string_view::npos) return AS;
  std::string_view eol = EolText(AStyle);
  ABuffer.clear();
  ABuffer.reserve(AS.size() + 16);
  std::size_t i = 0;
  while (lf != std::string_view::npos) {
    ABuffer.append(AS.substr(i, lf - i));
    ABuffer.append(eol);
    i = lf + 1;
    lf = AS.find('\n', i);
  }
  ABuffer.append(AS.substr(i));
  return ABuffer;
}

std::string_view NormaliseLineEnds(std::string_view AS, std::string& ABuffer) {
  std::size_t cr = AS.find('\r');
  if (cr == std::string_view::npos) return AS;
  ABuffer.clear();
  ABuffer.reserve(AS.size());
  std::size_t i = 0;
  while (cr != std::string_view::npos) {
    ABuffer.append(AS.substr(i, cr - i));
    ABuffer.push_back('\n');
    i = cr + 1;
    if (i < AS.size() && AS[i] == '\n') ++i;
    cr = AS.find('\r', i);
  }
  ABuffer.append(AS.substr(i));
  return ABuffer;
}

std::string DecodeRawValue(std::string_view ARaw, TXmlEolStyle AStyle) {
  std::string eolBuffer;
  std::string_view withEol = ApplyEolStyle(ARaw, AStyle, eolBuffer);
  std::string refBuffer;
  std::string_view result = UnescapeText(withEol, refBuffer);
  // Move whichever buffer holds the result rather than copying it.
  if (result.data() == refBuffer.data() && !refBuffer.empty()) return refBuffer;
  if (result.data() == eolBuffer.data() && !eolBuffer.empty()) return eolBuffer;
  return std::string(result);
}
