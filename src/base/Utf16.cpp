// Well-formed UTF-16 for the consumers (see Utf16.h).
#include "base/Utf16.h"

namespace utf16 {

namespace {

bool IsHigh(char16_t AUnit) {
  return AUnit >= 0xD800 && AUnit <= 0xDBFF;
}
bool IsLow(char16_t AUnit) {
  return AUnit >= 0xDC00 && AUnit <= 0xDFFF;
}

// Calls AUnit(i, unit) for each code unit, a lone surrogate given as U+FFFD.
template <class TUnit>
void ForEachWellFormed(std::u16string_view AText, const TUnit& AUnit) {
  const std::size_t n = AText.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = AText[i];
    if (IsHigh(c) && i + 1 < n && IsLow(AText[i + 1])) {
      AUnit(i, c);
      AUnit(i + 1, AText[i + 1]);
      ++i;
    } else {
      AUnit(i, IsHigh(c) || IsLow(c) ? cReplacement : c);
    }
  }
}

}  // namespace

bool IsWellFormed(std::u16string_view AText) {
  bool wellFormed = true;
  ForEachWellFormed(AText, [&](std::size_t AIndex, char16_t AUnit) {
    if (AUnit != AText[AIndex]) wellFormed = false;
  });
  return wellFormed;
}

std::size_t FittingUnits(std::u16string_view AText, std::size_t AMaxUnits) {
  if (AText.size() <= AMaxUnits) return AText.size();
  if (AMaxUnits > 0 && IsHigh(AText[AMaxUnits - 1]) && IsLow(AText[AMaxUnits]))
    return AMaxUnits - 1;
  return AMaxUnits;
}

std::u16string WellFormed(std::u16string_view AText) {
  std::u16string out(AText.size(), u'\0');
  ForEachWellFormed(AText, [&](std::size_t AIndex, char16_t AUnit) { out[AIndex] = AUnit; });
  return out;
}

}  // namespace utf16
