// Line-end styles and the predefined and numeric character references. Each
// conversion first checks whether there is anything to do and hands its input
// back untouched when not, so reading an ordinary value copies nothing.
#include "xml/XmlEscapes.h"

#include <cstring>

#include "base/StrictInt.h"
#include "xml/XmlEncoding.h"

namespace {

struct Reference {
  std::string_view Text;
  char Char;
};

// In the order in which they are tried.
constexpr Reference cReferences[] = {
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};

// Appends the replacement of one reference R ("&...;"), or R itself.
void AppendReference(std::string_view R, std::string& out) {
  for (const Reference& ref : cReferences) {
    if (R == ref.Text) {
      out.push_back(ref.Char);
      return;
    }
  }
  if (R.size() > 3 && R[1] == '#') {
    std::int32_t value = 0;
    if (TryStrToInt(R.substr(2, R.size() - 3), value) && value >= 0 && value <= 0xFFFF) {
      char16_t unit = static_cast<char16_t>(value);
      out += UnicodeStringToUtf8(std::u16string_view(&unit, 1));
      return;
    }
  }
  out.append(R);
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

std::string_view UnescapeText(std::string_view S, std::string& ABuffer) {
  std::size_t amp = S.find('&');
  if (amp == std::string_view::npos) return S;
  ABuffer.clear();
  ABuffer.reserve(S.size());
  std::size_t i = 0;
  while (amp != std::string_view::npos) {
    ABuffer.append(S.substr(i, amp - i));
    std::size_t stop = S.find_first_of(";&", amp + 1);
    if (stop == std::string_view::npos || S[stop] == '&') {
      ABuffer.push_back('&');
      i = amp + 1;
    } else {
      AppendReference(S.substr(amp, stop - amp + 1), ABuffer);
      i = stop + 1;
    }
    amp = S.find('&', i);
  }
  ABuffer.append(S.substr(i));
  return ABuffer;
}

std::string_view EscapeText(std::string_view S, std::string& ABuffer) {
  constexpr std::string_view kMarkup = "&<>'\"";
  std::size_t hit = S.find_first_of(kMarkup);
  if (hit == std::string_view::npos) return S;
  ABuffer.clear();
  ABuffer.reserve(S.size() + 16);
  std::size_t i = 0;
  while (hit != std::string_view::npos) {
    ABuffer.append(S.substr(i, hit - i));
    for (const Reference& ref : cReferences)
      if (ref.Char == S[hit]) ABuffer.append(ref.Text);
    i = hit + 1;
    hit = S.find_first_of(kMarkup, i);
  }
  ABuffer.append(S.substr(i));
  return ABuffer;
}

std::string_view ApplyEolStyle(std::string_view S, TXmlEolStyle AStyle, std::string& ABuffer) {
  if (AStyle == esLF) return S;
  std::size_t lf = S.find('\n');
  if (lf == std::string_view::npos) return S;
  std::string_view eol = EolText(AStyle);
  ABuffer.clear();
  ABuffer.reserve(S.size() + 16);
  std::size_t i = 0;
  while (lf != std::string_view::npos) {
    ABuffer.append(S.substr(i, lf - i));
    ABuffer.append(eol);
    i = lf + 1;
    lf = S.find('\n', i);
  }
  ABuffer.append(S.substr(i));
  return ABuffer;
}

std::string_view NormaliseLineEnds(std::string_view S, std::string& ABuffer) {
  std::size_t cr = S.find('\r');
  if (cr == std::string_view::npos) return S;
  ABuffer.clear();
  ABuffer.reserve(S.size());
  std::size_t i = 0;
  while (cr != std::string_view::npos) {
    ABuffer.append(S.substr(i, cr - i));
    ABuffer.push_back('\n');
    i = cr + 1;
    if (i < S.size() && S[i] == '\n') ++i;
    cr = S.find('\r', i);
  }
  ABuffer.append(S.substr(i));
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
