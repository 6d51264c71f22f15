// A ZIP archive reader on zlib: lists the entries of the central directory and
// extracts stored and deflated entries. Every size and offset read from the
// archive is checked against the file's real size before use; declared sizes
// never decide an allocation. ZIP64, encryption and other methods are refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TStream;

struct TZipEntry {
  std::u16string Name;                 // stored name, folder part included, decoded
  std::uint16_t Flags = 0;             // general-purpose flags of the central directory
  std::uint16_t Method = 0;            // 0 stored, 8 deflated; others are refused
  std::uint32_t Crc32 = 0;             // of the uncompressed data
  std::uint32_t CompressedSize = 0;    // checked against the file only when extracting
  std::uint32_t UncompressedSize = 0;  // never used to size a buffer
  std::uint32_t LocalHeaderOffset = 0;
};

class TZipReader {
 public:
  // Reads the end-of-central-directory record and the central directory of the
  // archive in AStream, which must outlive the reader. False when the stream
  // holds no readable archive. Read errors of the stream raise EStreamError.
  bool Open(TStream& AStream);

  // The entries in central-directory order.
  const std::vector<TZipEntry>& Entries() const { return FEntries; }

  // The entry's data as a stream, read through the archive's stream as it is
  // asked for, at most AMaxBytes of it (the rest is not read); AKeepAlive, when
  // given, is kept as long as the entry stream (the archive's stream, say).
  // Null for an encrypted entry, a method other than stored or deflated, or a
  // size or offset that does not fit the archive. Corrupt data, and a size or
  // CRC-32 that does not match once the whole entry has been read, raise
  // EStreamError from the read that finds them.
  std::unique_ptr<TStream> OpenEntry(std::size_t AIndex, std::uint64_t AMaxBytes,
                                     std::unique_ptr<TStream> AKeepAlive = nullptr);

 private:
  TStream* FStream = nullptr;
  std::int64_t FSize = 0;  // the archive's real size in bytes
  std::vector<TZipEntry> FEntries;
};

// The index of the first entry, in central-directory order, whose stored name
// (folder part included) equals AName with letter case ignored; -1 when none does.
std::int32_t FindZipEntry(const TZipReader& AArchive, std::u16string_view AName);
