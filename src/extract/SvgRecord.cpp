// The record's comparison and the cut of its texts (see SvgRecord.h).
#include "extract/SvgRecord.h"

#include "extract/SvgFields.h"

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
