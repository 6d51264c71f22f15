// Fuzzes the extraction of the record from document bytes, as a value request
// runs it: parse with the image test on, then recompute the pixel sizes at 90 on
// a copy. Aborts when a record text exceeds its cut or ends in half a surrogate
// pair, and when the filtered load answers otherwise than the whole tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/Streams.h"
#include "extract/Dimensions.h"
#include "extract/SvgExtractor.h"
#include "extract/SvgFields.h"

namespace {

void CheckText(const std::u16string& AText) {
  if (AText.size() > cMaxRecordText) std::abort();
  if (AText.size() == cMaxRecordText && AText.back() >= 0xD800 && AText.back() <= 0xDBFF)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);
  // The image test on and off: the filter keeps the image only when it is asked.
  const bool parseImage = ASize % 2 == 0;
  TVexmeta record;
  const bool valid = ParseSvgDocument(*TMemoryStream::View(bytes), record, parseImage);
  TVexmeta whole;
  const bool wholeValid =
      ParseSvgDocument(*TMemoryStream::View(bytes), whole, parseImage, TDocumentLoad::dlWholeTree);
  if (valid != wholeValid || (valid && !SameRecord(record, whole))) std::abort();
  if (!valid) return 0;
  for (const TRecordText& text : cRecordTexts) CheckText(record.*text.Member);
  TVexmeta at90 = record;
  CalcDimensions(at90, 90);
  ParseLength(record.Width, 96);
  return 0;
}
