// Memory and file streams.
#include "base/Streams.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

std::size_t TStream::Write(const void*, std::size_t) {
  throw EStreamError("stream cannot be written");
}

std::unique_ptr<TMemoryStream> TMemoryStream::View(std::string_view bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->view_ = bytes;
  stream->isView_ = true;
  return stream;
}

std::string_view TMemoryStream::Data() const {
  if (isView_) return view_;
  return {reinterpret_cast<const char*>(owned_.data()), owned_.size()};
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  std::string_view data = Data();
  if (position_ >= data.size() || count == 0) return 0;
  std::size_t n = std::min(count, data.size() - position_);
  std::memcpy(buffer, data.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (isView_) throw EStreamError("stream cannot be written");
  if (count == 0) return 0;
  if (position_ + count > owned_.size()) owned_.resize(position_ + count);
  std::memcpy(owned_.data() + position_, buffer, count);
  position_ += count;
  return count;
}

void TMemoryStream::Seek(std::int64_t position) {
  if (position < 0) throw EStreamError("invalid stream position");
  position_ = static_cast<std::size_t>(position);
}

TFileStream::TFileStream(std::unique_ptr<platform::ReadOnlyFile> file) : file_(std::move(file)) {}
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
    std::int64_t n = file_->Read(out + total, count - total);
    if (n < 0) throw EStreamError("file read error");
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
  }
  position_ += static_cast<std::int64_t>(total);
  return total;
}

void TFileStream::Seek(std::int64_t position) {
  if (!file_->Seek(position)) throw EStreamError("file seek error");
  position_ = position;
}

std::int64_t TFileStream::Size() const {
  std::int64_t size = file_->Size();
  if (size < 0) throw EStreamError("file size error");
  return size;
}
