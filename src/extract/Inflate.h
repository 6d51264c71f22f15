// Inflation as a stream: the one zlib loop that gzip files and deflated ZIP
// entries share. Bytes are inflated as the reader asks for them, in bounded
// steps, and never past a ceiling, so neither a large drawing nor a small
// hostile input makes the host's process hold more than a few buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Streams.h"

// The inflated bytes of AInputBytes bytes of deflate data read from ASource at
// its position: AWindowBits as inflateInit2 takes them (32 + 15: zlib or gzip
// header detected; -15: raw deflate). The output ends where the deflate stream
// ends, or is cut after AMaxOutput bytes, or where it has inflated past 64 MiB
// at over a hundred times the input it took (a bomb); data after the cut is never inflated,
// so never checked. A read that reaches corrupt data, or input that ends before
// the deflate stream does, raises EStreamError. Seeking back within the latest
// inflated step costs nothing; further back starts over.
class TInflateStream : public TStream {
 public:
  TInflateStream(TStream& ASource, std::uint64_t AInputBytes, int AWindowBits,
                 std::uint64_t AMaxOutput, std::unique_ptr<TStream> AOwned = nullptr);
  ~TInflateStream() override;
  TInflateStream(const TInflateStream&) = delete;
  TInflateStream& operator=(const TInflateStream&) = delete;

  std::size_t Read(void* ABuffer, std::size_t ACount) override;
  std::int64_t Position() const override { return static_cast<std::int64_t>(FPosition); }
  void Seek(std::int64_t APosition) override;
  // The bytes inflated so far: the whole size once the stream was read to its end.
  std::int64_t Size() const override { return static_cast<std::int64_t>(FProduced); }
  // The rest must inflate without an error to the end of the deflate stream
  // (its trailer checked) or to the cut.
  bool ChecksItsRest() const noexcept override { return true; }

  // True once the deflate stream has ended (and its trailer, if any, checked
  // out); false while it goes on and after a cut.
  bool Ended() const { return FState == isEnded; }

 private:
  enum TState : std::uint8_t { isRunning, isEnded, isCut };
  struct TZStream;  // zlib's state, kept out of this header

  void Start();
  // Inflates the next step into the output buffer; false at the end or the cut.
  bool Refill();

  std::unique_ptr<TStream> FOwned;  // the source, when the stream owns it
  TStream& FSource;
  std::int64_t FSourceStart;
  std::uint64_t FInputBytes;
  int FWindowBits;
  std::uint64_t FMaxOutput;
  std::unique_ptr<TZStream> FZ;
  std::vector<std::uint8_t> FInput;   // compressed bytes read, not yet taken
  std::vector<std::uint8_t> FOutput;  // inflated bytes of the latest step
  std::size_t FOutputUsed = 0;        // bytes of FOutput already read
  std::uint64_t FInputLeft = 0;       // compressed bytes not yet read from the source
  std::uint64_t FProduced = 0;        // bytes inflated since the start
  std::uint64_t FPosition = 0;        // bytes read by the caller since the start
  TState FState = isRunning;
};
