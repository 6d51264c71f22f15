// The Drawing page's lines, from the one field table and the translated labels.
#include "DrawingPage.h"

#include <cstdint>

#include "FieldLabels.h"
#include "extract/Dimensions.h"
#include "extract/SvgFields.h"
#include "platform/Platform.h"

namespace files_page {

namespace {

constexpr const char* cEmbeddedMark = "\u2713";  // a check mark: the flag is on
constexpr const char* cTimes = " \u00D7 ";
constexpr const char* cPixels = " px";
constexpr const char* cDimensions = "Dimensions";

}  // namespace

std::vector<TPageFact> PageFacts(const TVexmeta& ARecord, const char* ASection) {
  using files_labels::Translated;
  const std::int32_t width = FieldPixels(cFieldRows[FieldIndex(&TVexmeta::IntWidth)], ARecord, 0);
  const std::int32_t height = FieldPixels(cFieldRows[FieldIndex(&TVexmeta::IntHeight)], ARecord, 0);
  std::vector<TPageFact> facts;
  bool dimensionsShown = false;
  for (const TFieldRow& row : cFieldRows) {
    std::string value;
    switch (row.Kind) {
      case fkText:
        value = platform::Utf16ToUtf8(ARecord.*row.Text);
        break;
      case fkFlag:
        if (ARecord.*row.Flag) value = cEmbeddedMark;
        break;
      case fkPixels:
        if (width > 0 && height > 0) {
          // Both sizes: one line, where the first of them stands.
          if (!dimensionsShown)
            facts.push_back({Translated(ASection, cDimensions),
                             std::to_string(width) + cTimes + std::to_string(height) + cPixels});
          dimensionsShown = true;
          continue;
        }
        if (std::int32_t pixels = FieldPixels(row, ARecord, 0); pixels > 0)
          value = std::to_string(pixels) + cPixels;
        break;
    }
    if (!value.empty()) facts.push_back({Translated(ASection, row.Name), std::move(value)});
  }
  return facts;
}

}  // namespace files_page
