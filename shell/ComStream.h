// A stream of the engine over a COM IStream: what the property handler is handed
// (a file Explorer opened, or bytes from anywhere) read through the engine's
// source loading, with seeking for ZIP-wrapped drawings.
#pragma once

#include <objidl.h>

#include <cstdint>

#include "base/Streams.h"

// Holds a reference to the IStream while it lives. A failed read or seek raises
// EStreamError, which source loading and the parse take as no drawing.
class TComStream : public TStream {
 public:
  // Raises EStreamError when the stream's size cannot be learnt.
  explicit TComStream(IStream* AStream);
  ~TComStream() override;
  TComStream(const TComStream&) = delete;
  TComStream& operator=(const TComStream&) = delete;

  std::size_t Read(void* ABuffer, std::size_t ACount) override;
  std::int64_t Position() const override { return FPosition; }
  void Seek(std::int64_t APosition) override;
  std::int64_t Size() const override { return FSize; }

 private:
  IStream* FStream;
  std::int64_t FSize = 0;
  std::int64_t FPosition = 0;
};
