// Pixel sizes of a drawing: turns the record's width, height and viewBox texts
// into whole pixels at a given resolution. Extraction stores the sizes at 96 dots
// per inch; a value request may recompute them at 90 on a copy of the record.
#pragma once

#include <cstdint>
#include <string_view>

struct TFieldRow;
struct TVexmeta;

// Unit codes of a length text, in the order the suffixes are searched for.
enum TLengthUnit : std::int32_t {
  luPx = 1,  // "px", or no known suffix
  luPt = 2,
  luCm = 3,
  luMm = 4,
  luIn = 5,
  luPc = 6,
  luPercent = 7  // the number is a percentage and is returned unconverted
};

struct TParsedLength {
  std::int32_t Pixels = 0;  // 0 or below: no usable length (returned unconverted)
  TLengthUnit Unit = luPx;
};

// Converts one length text to whole pixels at ADpi. Results beyond the 32-bit range
// saturate at its ends.
TParsedLength ParseLength(std::u16string_view AText, std::int32_t ADpi);

// Sets ARecord.IntWidth and ARecord.IntHeight from Width, Height and ViewBox.
void CalcDimensions(TVexmeta& ARecord, std::int32_t ADpi);

// The value of a pixel field (fkPixels) of ARecord in unit AUnitIndex: unit 0
// (or below) is the size the extraction stored, another unit is computed again
// at its resolution, and a unit past the field's list has none (0).
std::int32_t FieldPixels(const TFieldRow& AField, const TVexmeta& ARecord, std::int32_t AUnitIndex);
