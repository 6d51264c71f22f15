// The record's comparison and the cut of its texts (see SvgRecord.h).
#include "extract/SvgRecord.h"

bool SameRecord(const TVexmeta& ALeft, const TVexmeta& ARight) {
  for (const TRecordText& text : cRecordTexts)
    if (ALeft.*text.Member != ARight.*text.Member) return false;
  return ALeft.IntWidth == ARight.IntWidth && ALeft.IntHeight == ARight.IntHeight &&
         ALeft.EmbeddedImage == ARight.EmbeddedImage;
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
