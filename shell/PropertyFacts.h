// What the property handler tells Windows about a drawing: the rows that map
// fields of the field table to shell properties, and the facts one record gives
// through them. No COM here; PropertyStore.cpp turns facts into PROPVARIANTs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extract/IsoDate.h"
#include "extract/SvgFields.h"

// A shell property's key: its format identifier and property identifier, as
// PROPERTYKEY holds them.
struct TShellKey {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
  std::uint32_t Pid;
};

// How a property's value is made from its field.
enum TPropertyForm : std::uint8_t {
  pfText,        // the field's text, when not empty (a string)
  pfPixels,      // the field's pixels at 96 dpi, when width and height are both known (VT_UI4)
  pfDimensions,  // "W x H" at 96 dpi under the same condition (a string)
  pfDate,        // the field's text as an ISO 8601 date or date-time (VT_FILETIME,
                 // FileTimeOfIsoDate)
};

struct TPropertyRow {
  std::string_view CanonicalName;  // as property lists in the registry name it
  TShellKey Key;
  std::int32_t Field;  // the row of cFieldRows the value comes from
  TPropertyForm Form;
};

// The properties the handler gives, in the order it lists them: constant data
// of the module, made and freed with nothing at load or unload.
extern const std::array<TPropertyRow, 7> cPropertyRows;

// One property's value for one drawing.
struct TFact {
  const TPropertyRow* Row = nullptr;
  std::uint32_t Number = 0;    // pfPixels
  std::u16string Text;         // pfText, pfDimensions
  std::uint64_t FileTime = 0;  // pfDate: 100 ns units since 1601-01-01 UTC
};

// The facts of a drawing's record, in row order; a row whose field is empty or
// unusable gives none.
std::vector<TFact> FactsOf(const TVexmeta& ARecord);

// The text Windows' own image handlers show as a picture's dimensions, for
// width and height in pixels: "W x H" held between a left-to-right embedding
// (U+202A) and a pop (U+202C), so that it reads the same in right-to-left
// languages.
std::u16string DimensionsText(std::uint32_t AWidth, std::uint32_t AHeight);
