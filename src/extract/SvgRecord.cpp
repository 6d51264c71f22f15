// The record's comparison and the rule of its texts (see SvgRecord.h).
#include "extract/SvgRecord.h"

#include <algorithm>

#include "base/Blanks.h"
#include "base/Utf8.h"
#include "extract/SvgFields.h"
#include "platform/Platform.h"

namespace {

std::u16string_view TrimXmlSpace(std::u16string_view AText) {
  while (!AText.empty() && blanks::IsXmlSpace(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && blanks::IsXmlSpace(AText.back())) AText.remove_suffix(1);
  return AText;
}

}  // namespace

bool SameRecord(const TVexmeta& ALeft, const TVexmeta& ARight) {
  for (const TFieldRow& row : cFieldRows) {
    const bool same = row.Kind == fkText   ? ALeft.*row.Text == ARight.*row.Text
                      : row.Kind == fkFlag ? ALeft.*row.Flag == ARight.*row.Flag
                                           : ALeft.*row.Pixels == ARight.*row.Pixels;
    if (!same) return false;
  }
  return ALeft.FromFallback == ARight.FromFallback;
}

void CutRecordText(std::u16string& AText) {
  if (AText.size() > cMaxRecordText) {
    AText.resize(cMaxRecordText);
    // Half a surrogate pair would show as a broken character.
    if (AText.back() >= 0xD800 && AText.back() <= 0xDBFF) AText.pop_back();
  }
  // The converted text may keep the capacity of its whole source.
  if (AText.capacity() > AText.size() + AText.size() / 4 + 16) AText.shrink_to_fit();
}

std::u16string RecordText(std::string_view AUtf8) {
  std::size_t first = 0;
  while (first < AUtf8.size() && blanks::IsXmlSpace(static_cast<unsigned char>(AUtf8[first])))
    ++first;
  // Each character takes at most four UTF-8 bytes (an ill-formed byte gives at
  // most one U+FFFD), so these bytes hold every code unit that is kept.
  const std::u16string units = utf8::ToUtf16(AUtf8.substr(first, cRecordSourceBytes));
  const std::u16string_view trimmed = TrimXmlSpace(units);
  std::u16string text;
  text.reserve(std::min(trimmed.size() + trimmed.size() / 8, cMaxRecordText + 2));
  for (std::size_t i = 0; i < trimmed.size() && text.size() <= cMaxRecordText; ++i) {
    const char16_t c = trimmed[i];
    if (c != u'\r' && c != u'\n') {
      text.push_back(c);
      continue;
    }
    if (c == u'\r' && i + 1 < trimmed.size() && trimmed[i + 1] == u'\n') ++i;
    text.append(platform::cLineBreak);
  }
  CutRecordText(text);
  // A cut may end in blanks or half a line break.
  text.resize(TrimXmlSpace(text).size());
  return text;
}

std::string NormalisedAttributeValue(std::string_view AValue) {
  std::string value(AValue);
  for (char& c : value)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return value;
}
