// Fuzzes the extraction of the record from document bytes, as a value request
// runs it: parse with the image test on, then recompute the pixel sizes at 90 on
// a copy. Aborts when a record text exceeds its cut or ends in half a surrogate pair.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/Streams.h"
#include "extract/Dimensions.h"
#include "extract/Vexmeta.h"

namespace {

void CheckText(const std::u16string& AText) {
  if (AText.size() > cMaxRecordText) std::abort();
  if (AText.size() == cMaxRecordText && AText.back() >= 0xD800 && AText.back() <= 0xDBFF)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto stream = TMemoryStream::View(std::string_view(reinterpret_cast<const char*>(data), size));
  TVexmeta record;
  if (!ParseSvgDocument(*stream, record, true)) return 0;
  for (const std::u16string* text :
       {&record.Width, &record.Height, &record.Version, &record.ViewBox, &record.Application,
        &record.ID, &record.InkscapeVersion, &record.SodipodiVersion, &record.SodipodiDocbase,
        &record.SodipodiDocname, &record.MetadataTitle, &record.MetadataDescription,
        &record.MetadataDate})
    CheckText(*text);
  TVexmeta at90 = record;
  CalcDimensions(at90, 90);
  ParseLength(record.Width, 96);
  return 0;
}
