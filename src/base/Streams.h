// Byte streams: what the XML reader reads from and what source loading hands on.
// A stream reads forward from a position that can be set; TMemoryStream holds its
// bytes (or views bytes it does not own), TFileStream reads an opened file, and
// TWindowStream reads a stretch of another stream without copying it.
// Errors are raised as EStreamError, those of the file below as EFileReadError;
// the builders that open streams catch them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class TReadOnlyFile;
}

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file could not be read as it was when opened: the system reported an
// error, or the file ended before its size (it shrank while it was read). Unlike
// damaged data this says nothing of the file: reading it again may succeed.
class EFileReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes at the position and advances; returns the count read,
  // 0 at the end.
  virtual std::size_t Read(void* ABuffer, std::size_t ACount) = 0;
  // Writes count bytes at the position; streams that cannot be written raise.
  virtual std::size_t Write(const void* ABuffer, std::size_t ACount);
  virtual std::int64_t Position() const = 0;
  virtual void Seek(std::int64_t APosition) = 0;
  virtual std::int64_t Size() const = 0;
  // Whether what a reader leaves of the stream has anything to check
  // (compressed data that must go on intact, a checksum to match).
  virtual bool ChecksItsRest() const noexcept { return false; }
  // The stream's own verdict on what a reader left of it: true when the rest,
  // read to the stream's end without being kept, holds no error. A stream with
  // nothing to check answers true without reading. Never raises.
  bool RestIsIntact() noexcept;
  // The same, except that a file that cannot be read (EFileReadError) is no
  // verdict on the data: that error is raised.
  bool CheckRest() { return !ChecksItsRest() || ReadsToEnd(); }

 private:
  // Reads to the end, keeping nothing; false when a read raises anything but
  // EFileReadError, which is raised.
  bool ReadsToEnd();
};

// An in-memory stream. It owns its bytes, or, when made with View, reads bytes
// that the caller keeps alive for the stream's lifetime.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> ABytes) : FOwned(std::move(ABytes)) {}
  static std::unique_ptr<TMemoryStream> View(std::string_view ABytes);

  std::size_t Read(void* ABuffer, std::size_t ACount) override;
  std::size_t Write(const void* ABuffer, std::size_t ACount) override;
  std::int64_t Position() const override { return static_cast<std::int64_t>(FPosition); }
  void Seek(std::int64_t APosition) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(Data().size()); }

  std::string_view Data() const;
  // The owned bytes; a view stream has none.
  std::vector<std::uint8_t>& Bytes() { return FOwned; }

 private:
  std::vector<std::uint8_t> FOwned;
  std::string_view FView;
  bool FIsView = false;
  std::size_t FPosition = 0;
};

// ALength bytes of another stream from AStart on, read through as they are asked
// for (fewer when the source is shorter). The source must outlive the window,
// or be handed over as AOwned.
class TWindowStream : public TStream {
 public:
  TWindowStream(TStream& ASource, std::int64_t AStart, std::int64_t ALength,
                std::unique_ptr<TStream> AOwned = nullptr);

  std::size_t Read(void* ABuffer, std::size_t ACount) override;
  std::int64_t Position() const override { return FPosition; }
  void Seek(std::int64_t APosition) override;
  std::int64_t Size() const override { return FLength; }

 private:
  std::unique_ptr<TStream> FOwned;  // the source, when the window owns it
  TStream& FSource;
  std::int64_t FStart;
  std::int64_t FLength;
  std::int64_t FPosition = 0;  // in the window; the source stands at FStart + FPosition
};

// Another stream, owned, whose reads are read on until they give the count
// asked for or the end: a stream handed over by another program may give fewer
// bytes than asked before its end, where the readers above take a short read
// for the end (a header peeked at, a ZIP record, the XML reader's first chunk).
class TReadOnStream : public TStream {
 public:
  explicit TReadOnStream(std::unique_ptr<TStream> ASource) : FSource(std::move(ASource)) {}

  std::size_t Read(void* ABuffer, std::size_t ACount) override;
  std::int64_t Position() const override { return FSource->Position(); }
  void Seek(std::int64_t APosition) override { FSource->Seek(APosition); }
  std::int64_t Size() const override { return FSource->Size(); }

 private:
  std::unique_ptr<TStream> FSource;
};

// A stream over a file opened read-only; it owns the file. Reads go to the file
// at the stream's position, so a seek costs nothing; small reads are served
// from one read-ahead block, so that a header peeked at and read again, or a
// small file read in pieces, costs one read of the file. A read the system
// fails, or the file's end before the size it had when opened, raises
// EFileReadError; short reads are read on.
class TFileStream : public TStream {
 public:
  explicit TFileStream(std::unique_ptr<platform::TReadOnlyFile> AFile);
  ~TFileStream() override;
  // Null when the file cannot be opened (see platform::TReadOnlyFile::Open).
  static std::unique_ptr<TFileStream> Open(std::u16string_view APath);

  std::size_t Read(void* ABuffer, std::size_t ACount) override;
  std::int64_t Position() const override { return FPosition; }
  void Seek(std::int64_t APosition) override;
  std::int64_t Size() const override;

 private:
  static constexpr std::size_t cReadAhead = 4096;

  // After a read at the position gave ARead <= 0 bytes: raises unless it was
  // the end of the file at its size.
  void CheckEnd(std::int64_t ARead) const;

  std::unique_ptr<platform::TReadOnlyFile> FFile;
  std::int64_t FPosition = 0;
  std::unique_ptr<std::uint8_t[]> FAhead;  // cReadAhead bytes, made on the first small read
  std::int64_t FAheadStart = 0;            // the file offset of FAhead's first byte
  std::size_t FAheadSize = 0;              // bytes of FAhead that hold the file's
};
