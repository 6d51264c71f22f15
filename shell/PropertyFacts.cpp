// The property rows and the facts they give (see PropertyFacts.h). The rows name
// fields by the record member that holds them, so the field table stays the one
// list of fields.
#include "PropertyFacts.h"

#include <string>

namespace {

// The format identifiers of the shell properties used here: the summary
// information set (title, comment, program, creation date) and the image one.
constexpr TShellKey SummaryKey(std::uint32_t APid) {
  return {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}, APid};
}
constexpr TShellKey ImageKey(std::uint32_t APid) {
  return {0x6444048F, 0x4C8B, 0x11D1, {0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03}, APid};
}

static_assert(cFieldRows[FieldIndex(&TVexmeta::IntWidth)].Dpi[0] == 96 &&
                  cFieldRows[FieldIndex(&TVexmeta::IntHeight)].Dpi[0] == 96,
              "the record's pixel members hold the sizes at 96 dpi");

std::u16string ToU16(std::uint32_t AValue) {
  const std::string digits = std::to_string(AValue);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

constinit const std::array<TPropertyRow, 7> cPropertyRows = {{
    {"System.Image.HorizontalSize", ImageKey(3), FieldIndex(&TVexmeta::IntWidth), pfPixels},
    {"System.Image.VerticalSize", ImageKey(4), FieldIndex(&TVexmeta::IntHeight), pfPixels},
    {"System.Image.Dimensions", ImageKey(13), FieldIndex(&TVexmeta::IntWidth), pfDimensions},
    {"System.Title", SummaryKey(2), FieldIndex(&TVexmeta::MetadataTitle), pfText},
    {"System.Comment", SummaryKey(6), FieldIndex(&TVexmeta::MetadataDescription), pfText},
    {"System.ApplicationName", SummaryKey(18), FieldIndex(&TVexmeta::Application), pfText},
    {"System.Document.DateCreated", SummaryKey(12), FieldIndex(&TVexmeta::MetadataDate), pfDate},
}};

std::u16string DimensionsText(std::uint32_t AWidth, std::uint32_t AHeight) {
  return u"\u202A" + ToU16(AWidth) + u" x " + ToU16(AHeight) + u"\u202C";
}

std::vector<TFact> FactsOf(const TVexmeta& ARecord) {
  const bool sized = ARecord.IntWidth > 0 && ARecord.IntHeight > 0;
  std::vector<TFact> facts;
  for (const TPropertyRow& row : cPropertyRows) {
    const TFieldRow& field = cFieldRows[row.Field];
    TFact fact;
    fact.Row = &row;
    switch (row.Form) {
      case pfText:
        fact.Text = ARecord.*field.Text;
        if (fact.Text.empty()) continue;
        break;
      case pfPixels:
        if (!sized) continue;
        fact.Number = static_cast<std::uint32_t>(ARecord.*field.Pixels);
        break;
      case pfDimensions:
        if (!sized) continue;
        fact.Text = DimensionsText(static_cast<std::uint32_t>(ARecord.IntWidth),
                                   static_cast<std::uint32_t>(ARecord.IntHeight));
        break;
      case pfDate: {
        const std::optional<std::uint64_t> time = FileTimeOfIsoDate(ARecord.*field.Text);
        if (!time) continue;
        fact.FileTime = *time;
        break;
      }
    }
    facts.push_back(std::move(fact));
  }
  return facts;
}
