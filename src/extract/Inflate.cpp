// The bounded zlib inflate loop (see Inflate.h): fixed-size input chunks, output
// in bounded steps, inflateEnd on every path through an owning guard.
#include "extract/Inflate.h"

#include <zlib.h>

#include <algorithm>

#include "base/Streams.h"

namespace {

constexpr std::size_t cInputChunk = 64 * 1024;
constexpr std::size_t cOutputStep = 256 * 1024;

// Owns an initialised z_stream.
class TInflater {
 public:
  explicit TInflater(int AWindowBits) { FReady = inflateInit2(&FZ, AWindowBits) == Z_OK; }
  ~TInflater() {
    if (FReady) inflateEnd(&FZ);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  bool Ready() const { return FReady; }
  z_stream& Z() { return FZ; }

 private:
  z_stream FZ{};
  bool FReady = false;
};

}  // namespace

std::uint8_t* GrowBounded(std::vector<std::uint8_t>& ABuffer, std::size_t ACount,
                          std::uint64_t ACeiling) {
  std::size_t old = ABuffer.size();
  std::size_t wanted = old + ACount;
  if (wanted > ABuffer.capacity()) {
    // Doubling keeps appends amortised; the ceiling keeps the capacity from
    // overshooting what may ever be kept.
    std::uint64_t grown = std::max<std::uint64_t>(ABuffer.capacity() * 2, 64 * 1024);
    grown = std::min<std::uint64_t>(grown, ACeiling);
    ABuffer.reserve(static_cast<std::size_t>(std::max<std::uint64_t>(grown, wanted)));
  }
  ABuffer.resize(wanted);
  return ABuffer.data() + old;
}

TInflateResult InflateFromStream(TStream& AStream, std::uint64_t AInputBytes, int AWindowBits,
                                 std::uint64_t AMaxOutput, std::vector<std::uint8_t>& AOutput) {
  TInflater inflater(AWindowBits);
  if (!inflater.Ready()) return TInflateResult::irCorrupt;
  z_stream& z = inflater.Z();
  // On the heap: the host may call on a worker thread with a small stack.
  std::vector<std::uint8_t> input(cInputChunk);
  std::uint64_t inputLeft = AInputBytes;

  for (;;) {
    if (z.avail_in == 0 && inputLeft > 0) {
      std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(inputLeft, input.size()));
      std::size_t got = AStream.Read(input.data(), want);
      if (got == 0) inputLeft = 0;  // the file is shorter than it said
      inputLeft -= std::min<std::uint64_t>(got, inputLeft);
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
    }
    if (AOutput.size() >= AMaxOutput) return TInflateResult::irCut;
    std::size_t room =
        static_cast<std::size_t>(std::min<std::uint64_t>(cOutputStep, AMaxOutput - AOutput.size()));
    std::size_t before = AOutput.size();
    z.next_out = GrowBounded(AOutput, room, AMaxOutput);
    z.avail_out = static_cast<uInt>(room);
    int ret = inflate(&z, Z_NO_FLUSH);
    AOutput.resize(before + room - z.avail_out);
    switch (ret) {
      case Z_STREAM_END:
        return TInflateResult::irEnded;
      case Z_OK:
        break;
      case Z_BUF_ERROR:
        // No progress was possible: with input left, go on feeding it; with none
        // left, the data ended before the deflate stream did.
        if (z.avail_in == 0 && inputLeft == 0) return TInflateResult::irCorrupt;
        break;
      default:  // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR, Z_STREAM_ERROR
        return TInflateResult::irCorrupt;
    }
  }
}
