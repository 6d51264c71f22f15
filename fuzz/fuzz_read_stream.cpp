// Fuzzes reading a drawing from a stream another program hands over, as the
// property handler does: TSvgExtractor::ReadStream over a stream whose reads
// and seeks behave as the input's first bytes say (short reads, a read or a
// seek that fails, a size that is not the content's), the rest of the input
// being the stream's bytes. Nothing may crash, leak or hang; a failing stream
// gives no drawing, and short reads change nothing.
//
// The header, eight bytes (missing ones count as zero):
//   0  the name handed with the stream: 0 none, 1 "x.svg", 2 "x.svgz", 3 "y.svgz"
//   1  the most bytes one read gives (0: as many as asked)
//   2  3  N, little-endian: a read past byte 16 × (N - 1) fails (0: none)
//   4  the seek that fails, counted from 1 (0: none)
//   5  the size the stream tells: 0 its bytes, 1 fewer by byte 6, 2 more by byte 6
//   6  that difference
//   7  the read limit in KiB (0: none)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/Streams.h"
#include "extract/SvgExtractor.h"

namespace {

struct TScript {
  std::size_t MaxRead = 0;
  std::int64_t FailReadAt = -1;
  int FailSeek = 0;
  std::int64_t ToldSize = 0;
};

// The handed-over stream: bytes read as the script says. A failure is an
// EStreamError, as the property handler's stream over an IStream raises it.
class TScriptedStream : public TStream {
 public:
  TScriptedStream(const std::uint8_t* AData, std::size_t ASize, const TScript& AScript)
      : FData(AData), FSize(ASize), FScript(AScript) {}

  std::size_t Read(void* ABuffer, std::size_t ACount) override {
    std::size_t count = ACount;
    if (FScript.MaxRead != 0) count = std::min(count, FScript.MaxRead);
    const std::int64_t left =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(FSize) - FPosition);
    count = std::min<std::size_t>(count, static_cast<std::size_t>(left));
    if (FScript.FailReadAt >= 0 && count > 0 &&
        FPosition + static_cast<std::int64_t>(count) > FScript.FailReadAt)
      throw EStreamError("the handed-over stream failed");
    if (count > 0) std::memcpy(ABuffer, FData + FPosition, count);
    FPosition += static_cast<std::int64_t>(count);
    return count;
  }
  std::int64_t Position() const override { return FPosition; }
  void Seek(std::int64_t APosition) override {
    ++FSeeks;
    if (APosition < 0 || FSeeks == FScript.FailSeek) throw EStreamError("seeking failed");
    FPosition = APosition;
  }
  std::int64_t Size() const override { return FScript.ToldSize; }

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
  TScript FScript;
  std::int64_t FPosition = 0;
  int FSeeks = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  std::uint8_t header[8] = {};
  const std::size_t headerSize = std::min<std::size_t>(ASize, sizeof header);
  if (headerSize > 0) std::memcpy(header, AData, headerSize);
  const std::uint8_t* bytes = AData + headerSize;
  const std::size_t size = ASize - headerSize;

  static constexpr const char16_t* cNames[] = {u"", u"x.svg", u"x.svgz", u"y.svgz"};
  const std::u16string name = cNames[header[0] % 4];
  TScript script;
  script.MaxRead = header[1];
  const unsigned failAt = header[2] | (header[3] << 8);
  script.FailReadAt = failAt == 0 ? -1 : std::int64_t{failAt - 1} * 16;
  script.FailSeek = header[4];
  script.ToldSize = static_cast<std::int64_t>(size);
  if (header[5] % 3 == 1) script.ToldSize = std::max<std::int64_t>(0, script.ToldSize - header[6]);
  if (header[5] % 3 == 2) script.ToldSize += header[6];
  TExtractOptions options;
  options.ParseImageNode = false;  // as the property handler reads
  options.ReadLimitBytes = std::int64_t{header[7]} * 1024;

  // One extractor for every input, as a long-lived reader keeps one: what one
  // stream leaves behind must not change the next.
  static TSvgExtractor extractor;
  TVexmeta record;
  const TFileRead read = extractor.ReadStream(
      std::make_unique<TScriptedStream>(bytes, size, script), name, options, record);

  // The same bytes read plainly, in one piece: short reads alone change nothing.
  if (script.MaxRead != 0 && script.FailReadAt < 0 && script.FailSeek == 0 &&
      script.ToldSize == static_cast<std::int64_t>(size)) {
    TScript plain = script;
    plain.MaxRead = 0;
    TVexmeta whole;
    const TFileRead wholeRead = extractor.ReadStream(
        std::make_unique<TScriptedStream>(bytes, size, plain), name, options, whole);
    if (wholeRead != read || !SameRecord(whole, record)) std::abort();
  }
  return 0;
}
