// The engine's stream over an IStream (see ComStream.h): reads go on from the
// IStream's own position, which only this object moves while it reads.
#include "ComStream.h"

#include <algorithm>

TComStream::TComStream(IStream* AStream) : FStream(AStream) {
  FStream->AddRef();
  // The size from the stream's statistics, or, where a stream keeps none, from
  // a seek to its end.
  STATSTG stat{};
  if (SUCCEEDED(FStream->Stat(&stat, STATFLAG_NONAME))) {
    FSize = static_cast<std::int64_t>(stat.cbSize.QuadPart);
  } else {
    ULARGE_INTEGER end{};
    LARGE_INTEGER zero{};
    if (FAILED(FStream->Seek(zero, STREAM_SEEK_END, &end))) {
      FStream->Release();
      throw EStreamError("the stream tells no size");
    }
    FSize = static_cast<std::int64_t>(end.QuadPart);
  }
  if (FSize < 0) FSize = 0;
  Seek(0);
}

TComStream::~TComStream() {
  FStream->Release();
}

std::size_t TComStream::Read(void* ABuffer, std::size_t ACount) {
  auto* out = static_cast<std::uint8_t*>(ABuffer);
  std::size_t total = 0;
  // A read may return fewer bytes than asked before the end; asking again
  // tells the end (0 bytes) from a pause.
  while (total < ACount) {
    const ULONG ask = static_cast<ULONG>(std::min<std::size_t>(ACount - total, 1u << 20));
    ULONG got = 0;
    const HRESULT result = FStream->Read(out + total, ask, &got);
    if (FAILED(result)) throw EStreamError("reading the stream failed");
    if (got > ask) throw EStreamError("the stream read more than asked");
    total += got;
    FPosition += got;
    if (got == 0) break;
  }
  return total;
}

void TComStream::Seek(std::int64_t APosition) {
  LARGE_INTEGER to{};
  to.QuadPart = APosition;
  if (APosition < 0 || FAILED(FStream->Seek(to, STREAM_SEEK_SET, nullptr)))
    throw EStreamError("seeking in the stream failed");
  FPosition = APosition;
}
