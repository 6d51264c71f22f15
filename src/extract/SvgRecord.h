// The per-file fact record, TVexmeta, and the one table of its text members,
// which everything that goes over all of them reads (the cache's byte count,
// comparisons, dumps in tests and fuzz targets).
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
  std::u16string Width;
  std::u16string Height;
  std::u16string Version;
  std::u16string ViewBox;
  std::u16string Application;
  std::u16string ID;
  std::u16string InkscapeVersion;
  std::u16string SodipodiVersion;
  std::u16string SodipodiDocbase;
  std::u16string SodipodiDocname;
  std::u16string MetadataTitle;
  std::u16string MetadataDescription;
  std::u16string MetadataDate;
  std::int32_t IntWidth = 0;
  std::int32_t IntHeight = 0;
  bool EmbeddedImage = false;
};

// One text member of the record, with its name.
struct TRecordText {
  std::string_view Name;
  std::u16string TVexmeta::*Member;
};

// The record's texts, in declared order.
inline constexpr TRecordText cRecordTexts[] = {
    {"Width", &TVexmeta::Width},
    {"Height", &TVexmeta::Height},
    {"Version", &TVexmeta::Version},
    {"ViewBox", &TVexmeta::ViewBox},
    {"Application", &TVexmeta::Application},
    {"ID", &TVexmeta::ID},
    {"InkscapeVersion", &TVexmeta::InkscapeVersion},
    {"SodipodiVersion", &TVexmeta::SodipodiVersion},
    {"SodipodiDocbase", &TVexmeta::SodipodiDocbase},
    {"SodipodiDocname", &TVexmeta::SodipodiDocname},
    {"MetadataTitle", &TVexmeta::MetadataTitle},
    {"MetadataDescription", &TVexmeta::MetadataDescription},
    {"MetadataDate", &TVexmeta::MetadataDate},
};
// Every text member is in the table: the record is its texts, two integers and
// a flag.
static_assert(sizeof(TVexmeta) ==
                  std::size(cRecordTexts) * sizeof(std::u16string) +
                      ((2 * sizeof(std::int32_t) + sizeof(bool) + alignof(std::u16string) - 1) /
                       alignof(std::u16string) * alignof(std::u16string)),
              "a text member of TVexmeta is missing from cRecordTexts");

// True when both records hold the same facts.
bool SameRecord(const TVexmeta& ALeft, const TVexmeta& ARight);

// Cuts a text to cMaxRecordText code units, never leaving a lone high surrogate
// at the end, and gives back spare capacity.
void CutRecordText(std::u16string& AText);
