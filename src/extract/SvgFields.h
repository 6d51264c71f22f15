// The one table of a drawing's fields: one row per field, in the order hosts
// number them, with its name as hosts show it, its kind, its units, the member
// of the record that holds it and where the extraction finds it. Everything
// that goes over the fields derives from it: the extraction's look-ups
// (SvgLookups.h), the record's text list, the content plugin's field table, and
// every other consumer's mapping. A consumer names a field by its row
// (FieldIndex(&TVexmeta::MetadataTitle)), never by a number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extract/SvgRecord.h"

// What a field's value is.
enum TFieldKind : std::uint8_t {
  fkText,    // a text, shown when not empty
  fkFlag,    // yes or no (the embedded-image test, shown only while it is on)
  fkPixels,  // whole pixels above 0, one value per unit (a resolution)
};

// Where the extraction finds a field.
enum TFieldSource : std::uint8_t {
  fsRoot,     // the node at Path from the root element
  fsWork,     // the node at Path from the RDF work description
  fsComment,  // a statement of who wrote the drawing (a comment, a text), else the editor
  fsImage,    // an image element embedding a raster image
  fsSize,     // computed from the width, height and viewBox texts
};

struct TFieldRow {
  std::string_view Name;                     // as hosts show it
  TFieldKind Kind;                           //
  std::string_view Units;                    // unit names separated by "|"; empty: none
  TFieldSource Source;                       //
  std::string_view Path;                     // fsRoot, fsWork: names separated by "\"
  std::u16string TVexmeta::*Text = nullptr;  // fkText
  bool TVexmeta::*Flag = nullptr;            // fkFlag
  std::int32_t TVexmeta::*Pixels = nullptr;  // fkPixels: the value at Dpi[0]
  std::array<std::int32_t, 2> Dpi{};         // fkPixels: the resolution of each unit
  // fsWork: an element of the root (found as the work's are) whose text stands
  // in when the work gives none; the record tells that it did (FromFallback).
  std::string_view Fallback = {};
};

namespace svgfields {

constexpr TFieldRow Text(std::string_view AName, TFieldSource ASource, std::string_view APath,
                         std::u16string TVexmeta::*AText, std::string_view AFallback = {}) {
  return {AName, fkText, "", ASource, APath, AText, nullptr, nullptr, {}, AFallback};
}

constexpr TFieldRow Pixels(std::string_view AName, std::int32_t TVexmeta::*APixels) {
  return {AName, fkPixels, "96|90", fsSize, "", nullptr, nullptr, APixels, {96, 90}};
}

}  // namespace svgfields

inline constexpr TFieldRow cFieldRows[] = {
    svgfields::Text("SVG Version", fsRoot, "version", &TVexmeta::Version),
    svgfields::Text("Application", fsComment, "", &TVexmeta::Application),
    svgfields::Text("Width", fsRoot, "width", &TVexmeta::Width),
    svgfields::Text("Height", fsRoot, "height", &TVexmeta::Height),
    svgfields::Text("ViewBox", fsRoot, "viewBox", &TVexmeta::ViewBox),
    {"Have Embedded Image", fkFlag, "", fsImage, "", nullptr, &TVexmeta::EmbeddedImage},
    svgfields::Text("ID", fsRoot, "id", &TVexmeta::ID),
    svgfields::Text("Inkscape Version", fsRoot, "inkscape:version", &TVexmeta::InkscapeVersion),
    svgfields::Text("Sodipodi Version", fsRoot, "sodipodi:version", &TVexmeta::SodipodiVersion),
    svgfields::Text("Sodipodi Docbase", fsRoot, "sodipodi:docbase", &TVexmeta::SodipodiDocbase),
    svgfields::Text("Sodipodi Docname", fsRoot, "sodipodi:docname", &TVexmeta::SodipodiDocname),
    svgfields::Text("Metadata Title", fsWork, "dc:title", &TVexmeta::MetadataTitle, "title"),
    svgfields::Text("Metadata Description", fsWork, "dc:description",
                    &TVexmeta::MetadataDescription, "desc"),
    svgfields::Text("Metadata Date", fsWork, "dc:date", &TVexmeta::MetadataDate),
    svgfields::Pixels("Calculated Width", &TVexmeta::IntWidth),
    svgfields::Pixels("Calculated Height", &TVexmeta::IntHeight),
};
constexpr std::int32_t cFieldCount = static_cast<std::int32_t>(std::size(cFieldRows));

// A field's index, by the record member that holds it; a member no row holds
// does not compile.
consteval std::int32_t FieldIndex(std::u16string TVexmeta::*AText) {
  for (std::int32_t i = 0; i < cFieldCount; ++i)
    if (cFieldRows[i].Text == AText) return i;
  throw "no field holds this text";
}
consteval std::int32_t FieldIndex(bool TVexmeta::*AFlag) {
  for (std::int32_t i = 0; i < cFieldCount; ++i)
    if (cFieldRows[i].Flag == AFlag) return i;
  throw "no field holds this flag";
}
consteval std::int32_t FieldIndex(std::int32_t TVexmeta::*APixels) {
  for (std::int32_t i = 0; i < cFieldCount; ++i)
    if (cFieldRows[i].Pixels == APixels) return i;
  throw "no field holds these pixels";
}

// How many units a field has: the names in its Units.
constexpr std::int32_t UnitCount(const TFieldRow& ARow) {
  if (ARow.Units.empty()) return 0;
  std::int32_t n = 1;
  for (char c : ARow.Units) n += c == '|' ? 1 : 0;
  return n;
}

namespace svgfields {

// Every row is well formed: its kind's member and only that one, a path exactly
// where the source looks one up, as many resolutions as units, and no member
// held by two rows.
constexpr bool RowsAreWellFormed() {
  for (std::int32_t i = 0; i < cFieldCount; ++i) {
    const TFieldRow& row = cFieldRows[i];
    if ((row.Kind == fkText) != (row.Text != nullptr) ||
        (row.Kind == fkFlag) != (row.Flag != nullptr) ||
        (row.Kind == fkPixels) != (row.Pixels != nullptr))
      return false;
    if ((row.Source == fsRoot || row.Source == fsWork) != !row.Path.empty()) return false;
    if ((row.Kind == fkPixels) != (row.Source == fsSize)) return false;
    if ((row.Kind == fkPixels ? 2 : 0) != UnitCount(row)) return false;
    if (row.Kind == fkPixels && (row.Dpi[0] <= 0 || row.Dpi[1] <= 0)) return false;
    if (!row.Fallback.empty() && (row.Source != fsWork || row.Kind != fkText)) return false;
    for (std::int32_t j = 0; j < i; ++j) {
      const TFieldRow& other = cFieldRows[j];
      if ((row.Text != nullptr && row.Text == other.Text) ||
          (row.Flag != nullptr && row.Flag == other.Flag) ||
          (row.Pixels != nullptr && row.Pixels == other.Pixels) || row.Name == other.Name)
        return false;
    }
  }
  // FromFallback has a bit per field.
  return cFieldCount <= 32;
}
static_assert(RowsAreWellFormed(), "a row of cFieldRows is malformed or repeats another");

constexpr std::size_t CountKind(TFieldKind AKind) {
  std::size_t n = 0;
  for (const TFieldRow& row : cFieldRows) n += row.Kind == AKind ? 1 : 0;
  return n;
}

}  // namespace svgfields

// One text member of the record, with its field's name.
struct TRecordText {
  std::string_view Name;
  std::u16string TVexmeta::*Member;
};

// The record's texts, in field order, for whatever goes over all of them (the
// cache's byte count, comparisons, dumps in tests and fuzz targets).
inline constexpr auto cRecordTexts = [] {
  std::array<TRecordText, svgfields::CountKind(fkText)> texts{};
  std::size_t n = 0;
  for (const TFieldRow& row : cFieldRows)
    if (row.Kind == fkText) texts[n++] = {row.Name, row.Text};
  return texts;
}();

// The bit of FromFallback that tells a field's text came from its fallback.
consteval std::uint32_t FallbackBit(std::u16string TVexmeta::*AText) {
  const std::int32_t index = FieldIndex(AText);
  if (cFieldRows[index].Fallback.empty()) throw "this field has no fallback";
  return std::uint32_t{1} << index;
}

// Every member of the record is some field's, but for where the texts came
// from: the record is its texts, then its pixel sizes, FromFallback and flags in
// one tail padded to the texts' alignment.
static_assert(sizeof(TVexmeta) ==
                  svgfields::CountKind(fkText) * sizeof(std::u16string) +
                      ((svgfields::CountKind(fkPixels) * sizeof(std::int32_t) +
                        sizeof(TVexmeta::FromFallback) +
                        svgfields::CountKind(fkFlag) * sizeof(bool) + alignof(std::u16string) - 1) /
                       alignof(std::u16string) * alignof(std::u16string)),
              "a member of TVexmeta is in no row of cFieldRows");
