// The per-file fact record, TVexmeta: one member per field of the field table
// (SvgFields.h), which everything that goes over the members reads, and the one
// rule that makes a drawing's text a record text, ready for every consumer to
// show (RecordText).
// Every text is stored cut to cMaxRecordText UTF-16 code units: a host shows at
// most maxlen/2 - 2 code units of a text and passes buffers of a few KiB, so a
// record keeps what any buffer up to 8 KiB can show and no more. This bounds
// what 1,001 cached hostile drawings can pin in the host's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr std::size_t cMaxRecordText = 4095;

struct TVexmeta {
  std::u16string Version;
  std::u16string Application;
  std::u16string Width;
  std::u16string Height;
  std::u16string ViewBox;
  std::u16string ID;
  std::u16string InkscapeVersion;
  std::u16string SodipodiVersion;
  std::u16string SodipodiDocbase;
  std::u16string SodipodiDocname;
  std::u16string MetadataTitle;
  std::u16string MetadataDescription;
  std::u16string MetadataDate;
  std::int32_t IntWidth = 0;  // at 96 dpi
  std::int32_t IntHeight = 0;
  // Bit i: field i's text is its fallback's, the drawing's own element's
  // (FallbackBit in SvgFields.h), not the RDF work's.
  std::uint32_t FromFallback = 0;
  bool EmbeddedImage = false;
};

// True when both records hold the same facts, and took them from the same places.
bool SameRecord(const TVexmeta& ALeft, const TVexmeta& ARight);

// Cuts a text to cMaxRecordText code units, never leaving a lone high surrogate
// at the end, and gives back spare capacity.
void CutRecordText(std::u16string& AText);

// The bytes of a value that a record text can come from: the start of the
// value, after the blanks it begins with (a reader keeps no more of a value).
constexpr std::size_t cRecordSourceBytes = 4 * (cMaxRecordText + 1);

// The record text of a value as the reader gives it (UTF-8, references
// decoded): XML white space (space, tab, CR, LF) trimmed at both ends, so a
// text of nothing else is none; each line break inside it (CR LF, CR or LF)
// in the platform's form (platform::cLineBreak); cut to cMaxRecordText code
// units at a character boundary.
std::u16string RecordText(std::string_view AUtf8);

// The value of an attribute with each line break and tab a blank, as XML
// normalises attribute values.
std::string NormalisedAttributeValue(std::string_view AValue);
