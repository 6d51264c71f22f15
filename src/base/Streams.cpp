// Memory and file streams.
#include "base/Streams.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

std::size_t TStream::Write(const void*, std::size_t) {
  throw EStreamError("stream cannot be written");
}

bool TStream::ReadsToEnd() {
  try {
    std::vector<std::uint8_t> scratch(64 * 1024);
    while (Read(scratch.data(), scratch.size()) != 0) {
    }
    return true;
  } catch (const EFileReadError&) {
    throw;
  } catch (...) {
    return false;
  }
}

bool TStream::RestIsIntact() noexcept {
  try {
    return CheckRest();
  } catch (...) {
    return false;
  }
}

std::size_t TReadOnStream::Read(void* ABuffer, std::size_t ACount) {
  auto* out = static_cast<std::uint8_t*>(ABuffer);
  std::size_t total = 0;
  while (total < ACount) {
    const std::size_t got = FSource->Read(out + total, ACount - total);
    if (got == 0) break;
    total += got;
  }
  return total;
}

std::unique_ptr<TMemoryStream> TMemoryStream::View(std::string_view ABytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->FView = ABytes;
  stream->FIsView = true;
  return stream;
}

std::string_view TMemoryStream::Data() const {
  if (FIsView) return FView;
  return {reinterpret_cast<const char*>(FOwned.data()), FOwned.size()};
}

std::size_t TMemoryStream::Read(void* ABuffer, std::size_t ACount) {
  std::string_view data = Data();
  if (FPosition >= data.size() || ACount == 0) return 0;
  std::size_t n = std::min(ACount, data.size() - FPosition);
  std::memcpy(ABuffer, data.data() + FPosition, n);
  FPosition += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* ABuffer, std::size_t ACount) {
  if (FIsView) throw EStreamError("stream cannot be written");
  if (ACount == 0) return 0;
  if (FPosition + ACount > FOwned.size()) FOwned.resize(FPosition + ACount);
  std::memcpy(FOwned.data() + FPosition, ABuffer, ACount);
  FPosition += ACount;
  return ACount;
}

void TMemoryStream::Seek(std::int64_t APosition) {
  if (APosition < 0) throw EStreamError("invalid stream position");
  FPosition = static_cast<std::size_t>(APosition);
}

TWindowStream::TWindowStream(TStream& ASource, std::int64_t AStart, std::int64_t ALength,
                             std::unique_ptr<TStream> AOwned)
    : FOwned(std::move(AOwned)), FSource(ASource), FStart(AStart), FLength(ALength) {
  FSource.Seek(FStart);
}

std::size_t TWindowStream::Read(void* ABuffer, std::size_t ACount) {
  if (FPosition >= FLength) return 0;
  const auto left = static_cast<std::uint64_t>(FLength - FPosition);
  const std::size_t n =
      FSource.Read(ABuffer, static_cast<std::size_t>(std::min<std::uint64_t>(ACount, left)));
  FPosition += static_cast<std::int64_t>(n);
  return n;
}

void TWindowStream::Seek(std::int64_t APosition) {
  if (APosition < 0) throw EStreamError("invalid stream position");
  FSource.Seek(FStart + APosition);
  FPosition = APosition;
}

TFileStream::TFileStream(std::unique_ptr<platform::TReadOnlyFile> AFile)
    : FFile(std::move(AFile)) {}
TFileStream::~TFileStream() = default;

std::unique_ptr<TFileStream> TFileStream::Open(std::u16string_view APath) {
  auto file = platform::TReadOnlyFile::Open(APath);
  if (!file) return nullptr;
  return std::make_unique<TFileStream>(std::move(file));
}

std::size_t TFileStream::Read(void* ABuffer, std::size_t ACount) {
  std::size_t total = 0;
  auto* out = static_cast<std::uint8_t*>(ABuffer);
  while (total < ACount) {
    // What the read-ahead block holds at the position.
    const std::int64_t inAhead = FPosition - FAheadStart;
    if (inAhead >= 0 && static_cast<std::uint64_t>(inAhead) < FAheadSize) {
      const std::size_t n =
          std::min(ACount - total, FAheadSize - static_cast<std::size_t>(inAhead));
      std::memcpy(out + total, FAhead.get() + inAhead, n);
      total += n;
      FPosition += static_cast<std::int64_t>(n);
      continue;
    }
    const std::size_t want = ACount - total;
    if (want >= cReadAhead) {
      const std::int64_t n = FFile->ReadAt(FPosition, out + total, want);
      if (n <= 0) {
        CheckEnd(n);
        break;
      }
      total += static_cast<std::size_t>(n);
      FPosition += n;
      continue;
    }
    if (!FAhead) FAhead = std::make_unique_for_overwrite<std::uint8_t[]>(cReadAhead);
    const std::int64_t n = FFile->ReadAt(FPosition, FAhead.get(), cReadAhead);
    if (n <= 0) {
      FAheadSize = 0;
      CheckEnd(n);
      break;
    }
    FAheadStart = FPosition;
    FAheadSize = static_cast<std::size_t>(n);
  }
  return total;
}

void TFileStream::CheckEnd(std::int64_t ARead) const {
  if (ARead < 0) throw EFileReadError("file read error");
  // Reads past the size are no error: the caller may look beyond the end.
  if (FPosition < FFile->Size()) throw EFileReadError("file ended before its size");
}

void TFileStream::Seek(std::int64_t APosition) {
  if (APosition < 0) throw EStreamError("invalid stream position");
  FPosition = APosition;
}

std::int64_t TFileStream::Size() const {
  std::int64_t size = FFile->Size();
  if (size < 0) throw EStreamError("file size error");
  return size;
}
