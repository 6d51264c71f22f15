// The bounded zlib inflate loop (see Inflate.h): fixed-size input chunks, output
// in bounded steps, inflateEnd on every path through an owning guard.
#include "extract/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t cInputChunk = 64 * 1024;
constexpr std::size_t cOutputStep = 256 * 1024;
// Compressed data that has inflated past cBombFloor at over cBombRatio times
// the input it took is a bomb, not a drawing: drawings compress tenfold or so,
// and only long runs of the same few bytes come near deflate's own limit of
// about 1,032 to 1. It is cut there, as at the ceiling, so that inflating it
// costs a fraction of a second, not the seconds the ceiling's 256 MiB take.
constexpr std::uint64_t cBombFloor = std::uint64_t{64} * 1024 * 1024;
constexpr std::uint64_t cBombRatio = 100;

}  // namespace

// Owns an initialised z_stream.
struct TInflateStream::TZStream {
  explicit TZStream(int AWindowBits) { Ready = inflateInit2(&Z, AWindowBits) == Z_OK; }
  ~TZStream() {
    if (Ready) inflateEnd(&Z);
  }
  TZStream(const TZStream&) = delete;
  TZStream& operator=(const TZStream&) = delete;

  z_stream Z{};
  bool Ready = false;
};

TInflateStream::TInflateStream(TStream& ASource, std::uint64_t AInputBytes, int AWindowBits,
                               std::uint64_t AMaxOutput, std::unique_ptr<TStream> AOwned)
    : FOwned(std::move(AOwned)),
      FSource(ASource),
      FSourceStart(ASource.Position()),
      FInputBytes(AInputBytes),
      FWindowBits(AWindowBits),
      FMaxOutput(AMaxOutput) {
  Start();
}

TInflateStream::~TInflateStream() = default;

void TInflateStream::Start() {
  FZ = std::make_unique<TZStream>(FWindowBits);
  if (!FZ->Ready) throw EStreamError("inflate cannot start");
  FSource.Seek(FSourceStart);
  // On the heap: the host may call on a worker thread with a small stack.
  FInput.resize(cInputChunk);
  FOutput.clear();
  FOutputUsed = 0;
  FInputLeft = FInputBytes;
  FProduced = 0;
  FPosition = 0;
  FState = isRunning;
}

bool TInflateStream::Refill() {
  z_stream& z = FZ->Z;
  for (;;) {
    if (FState != isRunning) return false;
    if (z.avail_in == 0 && FInputLeft > 0) {
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(FInputLeft, FInput.size()));
      const std::size_t got = FSource.Read(FInput.data(), want);
      if (got == 0) FInputLeft = 0;  // the file is shorter than it said
      FInputLeft -= std::min<std::uint64_t>(got, FInputLeft);
      z.next_in = FInput.data();
      z.avail_in = static_cast<uInt>(got);
    }
    const std::uint64_t taken = FInputBytes - FInputLeft - z.avail_in;
    if (FProduced >= FMaxOutput ||
        (FProduced >= cBombFloor && FProduced / std::max<std::uint64_t>(taken, 1) > cBombRatio)) {
      FState = isCut;
      return false;
    }
    const auto room =
        static_cast<std::size_t>(std::min<std::uint64_t>(cOutputStep, FMaxOutput - FProduced));
    FOutput.resize(room);
    z.next_out = FOutput.data();
    z.avail_out = static_cast<uInt>(room);
    const int ret = inflate(&z, Z_NO_FLUSH);
    FOutput.resize(room - z.avail_out);
    FOutputUsed = 0;
    FProduced += FOutput.size();
    switch (ret) {
      case Z_STREAM_END:
        FState = isEnded;
        return !FOutput.empty();
      case Z_OK:
        break;
      case Z_BUF_ERROR:
        // No progress was possible: with input left, go on feeding it; with none
        // left, the data ended before the deflate stream did.
        if (z.avail_in == 0 && FInputLeft == 0) throw EStreamError("deflate data ends early");
        break;
      default:  // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR, Z_STREAM_ERROR
        throw EStreamError("corrupt deflate data");
    }
    if (!FOutput.empty()) return true;
  }
}

std::size_t TInflateStream::Read(void* ABuffer, std::size_t ACount) {
  auto* out = static_cast<std::uint8_t*>(ABuffer);
  std::size_t total = 0;
  while (total < ACount) {
    if (FOutputUsed == FOutput.size() && !Refill()) break;
    const std::size_t n = std::min(ACount - total, FOutput.size() - FOutputUsed);
    std::memcpy(out + total, FOutput.data() + FOutputUsed, n);
    FOutputUsed += n;
    total += n;
  }
  FPosition += total;
  return total;
}

void TInflateStream::Seek(std::int64_t APosition) {
  if (APosition < 0) throw EStreamError("invalid stream position");
  const auto target = static_cast<std::uint64_t>(APosition);
  if (target < FPosition) {
    // The latest step's output still holds the bytes just read: going back
    // within them (as after a peek at the first byte) inflates nothing again.
    const std::uint64_t back = FPosition - target;
    if (back <= FOutputUsed) {
      FOutputUsed -= static_cast<std::size_t>(back);
      FPosition = target;
      return;
    }
    Start();
  }
  std::uint8_t scratch[4096];
  while (FPosition < target) {
    const auto step =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof scratch, target - FPosition));
    if (Read(scratch, step) == 0) break;
  }
}
