// Memory and file streams.
#include "base/Streams.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

std::size_t TStream::Write(const void*, std::size_t) {
  throw EStreamError("stream cannot be written");
}

bool TStream::ReadsToEnd() noexcept {
  try {
    std::vector<std::uint8_t> scratch(64 * 1024);
    while (Read(scratch.data(), scratch.size()) != 0) {
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::unique_ptr<TMemoryStream> TMemoryStream::View(std::string_view bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->FView = bytes;
  stream->FIsView = true;
  return stream;
}

std::string_view TMemoryStream::Data() const {
  if (FIsView) return FView;
  return {reinterpret_cast<const char*>(FOwned.data()), FOwned.size()};
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  std::string_view data = Data();
  if (FPosition >= data.size() || count == 0) return 0;
  std::size_t n = std::min(count, data.size() - FPosition);
  std::memcpy(buffer, data.data() + FPosition, n);
  FPosition += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (FIsView) throw EStreamError("stream cannot be written");
  if (count == 0) return 0;
  if (FPosition + count > FOwned.size()) FOwned.resize(FPosition + count);
  std::memcpy(FOwned.data() + FPosition, buffer, count);
  FPosition += count;
  return count;
}

void TMemoryStream::Seek(std::int64_t position) {
  if (position < 0) throw EStreamError("invalid stream position");
  FPosition = static_cast<std::size_t>(position);
}

TWindowStream::TWindowStream(TStream& ASource, std::int64_t AStart, std::int64_t ALength,
                             std::unique_ptr<TStream> AOwned)
    : FOwned(std::move(AOwned)), FSource(ASource), FStart(AStart), FLength(ALength) {
  FSource.Seek(FStart);
}

std::size_t TWindowStream::Read(void* buffer, std::size_t count) {
  if (FPosition >= FLength) return 0;
  const auto left = static_cast<std::uint64_t>(FLength - FPosition);
  const std::size_t n =
      FSource.Read(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(count, left)));
  FPosition += static_cast<std::int64_t>(n);
  return n;
}

void TWindowStream::Seek(std::int64_t position) {
  if (position < 0) throw EStreamError("invalid stream position");
  FSource.Seek(FStart + position);
  FPosition = position;
}

TFileStream::TFileStream(std::unique_ptr<platform::ReadOnlyFile> file) : FFile(std::move(file)) {}
TFileStream::~TFileStream() = default;

std::unique_ptr<TFileStream> TFileStream::Open(std::u16string_view path) {
  auto file = platform::ReadOnlyFile::Open(path);
  if (!file) return nullptr;
  return std::make_unique<TFileStream>(std::move(file));
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  std::size_t total = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (total < count) {
    // What the read-ahead block holds at the position.
    const std::int64_t inAhead = FPosition - FAheadStart;
    if (inAhead >= 0 && static_cast<std::uint64_t>(inAhead) < FAheadSize) {
      const std::size_t n = std::min(count - total, FAheadSize - static_cast<std::size_t>(inAhead));
      std::memcpy(out + total, FAhead.get() + inAhead, n);
      total += n;
      FPosition += static_cast<std::int64_t>(n);
      continue;
    }
    const std::size_t want = count - total;
    if (want >= cReadAhead) {
      const std::int64_t n = FFile->ReadAt(FPosition, out + total, want);
      if (n < 0) throw EStreamError("file read error");
      if (n == 0) break;
      total += static_cast<std::size_t>(n);
      FPosition += n;
      continue;
    }
    if (!FAhead) FAhead = std::make_unique_for_overwrite<std::uint8_t[]>(cReadAhead);
    const std::int64_t n = FFile->ReadAt(FPosition, FAhead.get(), cReadAhead);
    if (n < 0) throw EStreamError("file read error");
    FAheadStart = FPosition;
    FAheadSize = static_cast<std::size_t>(n);
    if (n == 0) break;
  }
  return total;
}

void TFileStream::Seek(std::int64_t position) {
  if (position < 0) throw EStreamError("invalid stream position");
  FPosition = position;
}

std::int64_t TFileStream::Size() const {
  std::int64_t size = FFile->Size();
  if (size < 0) throw EStreamError("file size error");
  return size;
}
