// The ZIP reader (see ZipReader.h). The central directory is read whole into
// memory and parsed from there with every field bounds-checked; entry data is
// streamed from the file in bounded steps.
#include "extract/ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "base/Streams.h"
#include "base/Utf8.h"
#include "extract/Inflate.h"
#include "platform/Platform.h"

namespace {

constexpr std::size_t cEndRecordSize = 22;
constexpr std::size_t cMaxCommentSize = 65535;
constexpr std::size_t cCentralHeaderSize = 46;
constexpr std::size_t cLocalHeaderSize = 30;
constexpr std::uint16_t cFlagEncrypted = 0x0001;
constexpr std::uint16_t cFlagUtf8 = 0x0800;
constexpr std::uint16_t cMethodStored = 0;
constexpr std::uint16_t cMethodDeflated = 8;
// The central directory is held in memory while the entries are listed. 64 MiB
// holds 65,535 entries (the most without ZIP64) with names of 1 KiB each; a
// larger one is refused rather than read.
constexpr std::uint64_t cMaxCentralDirectory = 64 * 1024 * 1024;

std::uint16_t Get16(const std::uint8_t* AP) {
  return static_cast<std::uint16_t>(AP[0] | (AP[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* AP) {
  return static_cast<std::uint32_t>(AP[0]) | (static_cast<std::uint32_t>(AP[1]) << 8) |
         (static_cast<std::uint32_t>(AP[2]) << 16) | (static_cast<std::uint32_t>(AP[3]) << 24);
}

bool HasSignature(const std::uint8_t* AP, std::uint8_t AA, std::uint8_t AB) {
  return AP[0] == 0x50 && AP[1] == 0x4B && AP[2] == AA && AP[3] == AB;
}

// Reads exactly ACount bytes at APosition; false when the file has fewer.
bool ReadAt(TStream& AStream, std::uint64_t APosition, std::uint8_t* ABuffer, std::size_t ACount) {
  if (ACount == 0) return true;  // an empty directory has no buffer to read into
  AStream.Seek(static_cast<std::int64_t>(APosition));
  return AStream.Read(ABuffer, ACount) == ACount;
}

// Code page 437 above ASCII, as ZIP archives store names without the UTF-8 flag.
// Our own table, so both builds decode alike: the system tables differ (ICU
// gives 0xE6 as U+03BC, Windows and ZIP tools as U+00B5 MICRO SIGN).
constexpr char16_t cCodePage437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

std::u16string DecodeName(const std::uint8_t* ABytes, std::size_t ACount, std::uint16_t AFlags) {
  if (AFlags & cFlagUtf8) return utf8::ToUtf16({reinterpret_cast<const char*>(ABytes), ACount});
  std::u16string name;
  name.reserve(ACount);
  for (std::size_t i = 0; i < ACount; ++i) {
    std::uint8_t b = ABytes[i];
    name.push_back(b < 0x80 ? static_cast<char16_t>(b) : cCodePage437[b - 0x80]);
  }
  return name;
}

}  // namespace

bool TZipReader::Open(TStream& AStream) {
  FStream = &AStream;
  FEntries.clear();
  FSize = AStream.Size();
  if (FSize < static_cast<std::int64_t>(cEndRecordSize)) return false;
  const std::uint64_t size = static_cast<std::uint64_t>(FSize);

  // The end record is the last thing in the file, followed only by its comment.
  std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(size, cEndRecordSize + cMaxCommentSize));
  std::vector<std::uint8_t> tail(tailSize);
  const std::uint64_t tailStart = size - tailSize;
  if (!ReadAt(AStream, tailStart, tail.data(), tailSize)) return false;
  std::size_t found = tailSize;
  for (std::size_t pos = tailSize - cEndRecordSize + 1; pos-- > 0;) {
    const std::uint8_t* p = tail.data() + pos;
    if (HasSignature(p, 0x05, 0x06) && pos + cEndRecordSize + Get16(p + 20) <= tailSize) {
      found = pos;
      break;
    }
  }
  if (found == tailSize) return false;

  const std::uint8_t* end = tail.data() + found;
  const std::uint64_t endOffset = tailStart + found;
  std::uint16_t disk = Get16(end + 4);
  std::uint16_t directoryDisk = Get16(end + 6);
  std::uint16_t entriesHere = Get16(end + 8);
  std::uint16_t entriesTotal = Get16(end + 10);
  std::uint32_t directorySize = Get32(end + 12);
  std::uint32_t directoryOffset = Get32(end + 16);
  // All-ones fields stand for values held in ZIP64 records, which are not read.
  if (entriesHere == 0xFFFF || entriesTotal == 0xFFFF || directorySize == 0xFFFFFFFF ||
      directoryOffset == 0xFFFFFFFF)
    return false;
  if (disk != 0 || directoryDisk != 0 || entriesHere != entriesTotal) return false;
  if (std::uint64_t{directoryOffset} + directorySize > endOffset) return false;
  if (std::uint64_t{entriesTotal} * cCentralHeaderSize > directorySize) return false;
  if (directorySize > cMaxCentralDirectory) return false;

  std::vector<std::uint8_t> directory(directorySize);
  if (!ReadAt(AStream, directoryOffset, directory.data(), directory.size())) return false;

  std::vector<TZipEntry> entries;
  entries.reserve(entriesTotal);
  std::size_t pos = 0;
  for (std::uint32_t i = 0; i < entriesTotal; ++i) {
    if (directory.size() - pos < cCentralHeaderSize) return false;
    const std::uint8_t* p = directory.data() + pos;
    if (!HasSignature(p, 0x01, 0x02)) return false;
    std::size_t nameSize = Get16(p + 28);
    std::size_t extraSize = Get16(p + 30);
    std::size_t commentSize = Get16(p + 32);
    pos += cCentralHeaderSize;
    if (directory.size() - pos < nameSize + extraSize + commentSize) return false;
    TZipEntry entry;
    entry.Flags = Get16(p + 8);
    entry.Method = Get16(p + 10);
    entry.Crc32 = Get32(p + 16);
    entry.CompressedSize = Get32(p + 20);
    entry.UncompressedSize = Get32(p + 24);
    entry.LocalHeaderOffset = Get32(p + 42);
    entry.Name = DecodeName(directory.data() + pos, nameSize, entry.Flags);
    pos += nameSize + extraSize + commentSize;
    entries.push_back(std::move(entry));
  }
  FEntries = std::move(entries);
  return true;
}

namespace {

// An entry's data as read: a window of a stored entry or the inflation of a
// deflated one, checked against the central directory's size and CRC-32 once
// the whole entry has come through (a cut entry is never checked).
class TEntryStream : public TStream {
 public:
  TEntryStream(std::unique_ptr<TStream> AData, bool AStored, const TZipEntry& AEntry,
               std::unique_ptr<TStream> AKeepAlive)
      : FKeepAlive(std::move(AKeepAlive)),
        FData(std::move(AData)),
        FStored(AStored),
        FSize(AEntry.UncompressedSize),
        FCrc32(AEntry.Crc32) {}

  std::size_t Read(void* ABuffer, std::size_t ACount) override {
    const std::size_t n = FData->Read(ABuffer, ACount);
    if (FSummed) FCrc = crc32_z(FCrc, static_cast<const Bytef*>(ABuffer), n);
    if (n == 0 && ACount > 0 && FSummed && Whole() &&
        (static_cast<std::uint64_t>(FData->Position()) != FSize || FCrc != FCrc32))
      throw EStreamError("ZIP entry does not match its size or CRC-32");
    return n;
  }
  std::int64_t Position() const override { return FData->Position(); }
  void Seek(std::int64_t APosition) override {
    FData->Seek(APosition);
    // The sum covers what was read from the start; after a seek elsewhere it
    // covers nothing known, and the entry goes unchecked.
    FSummed = APosition == 0;
    FCrc = crc32_z(0, nullptr, 0);
  }
  std::int64_t Size() const override { return FData->Size(); }
  // The rest of the entry must read to its end (or the cut) with size and
  // CRC-32 as the central directory says.
  bool ChecksItsRest() const noexcept override { return true; }

 private:
  // The whole entry came through: a stored entry's window was not cut, a
  // deflated entry's deflate stream ended.
  bool Whole() const {
    if (FStored) return static_cast<std::uint64_t>(FData->Size()) == FSize;
    return static_cast<const TInflateStream&>(*FData).Ended();
  }

  std::unique_ptr<TStream> FKeepAlive;
  std::unique_ptr<TStream> FData;
  bool FStored;
  std::uint64_t FSize;                  // from the central directory
  std::uint32_t FCrc32;                 // from the central directory
  uLong FCrc = crc32_z(0, nullptr, 0);  // of the bytes read from the start
  bool FSummed = true;                  // FCrc covers every byte read so far
};

}  // namespace

std::unique_ptr<TStream> TZipReader::OpenEntry(std::size_t AIndex, std::uint64_t AMaxBytes,
                                               std::unique_ptr<TStream> AKeepAlive) {
  if (!FStream || AIndex >= FEntries.size()) return nullptr;
  const TZipEntry& entry = FEntries[AIndex];
  if (entry.Flags & cFlagEncrypted) return nullptr;
  if (entry.Method != cMethodStored && entry.Method != cMethodDeflated) return nullptr;
  if (entry.CompressedSize == 0xFFFFFFFF || entry.UncompressedSize == 0xFFFFFFFF ||
      entry.LocalHeaderOffset == 0xFFFFFFFF)
    return nullptr;

  const std::uint64_t size = static_cast<std::uint64_t>(FSize);
  if (std::uint64_t{entry.LocalHeaderOffset} + cLocalHeaderSize > size) return nullptr;
  std::array<std::uint8_t, cLocalHeaderSize> local;
  if (!ReadAt(*FStream, entry.LocalHeaderOffset, local.data(), local.size())) return nullptr;
  if (!HasSignature(local.data(), 0x03, 0x04)) return nullptr;
  if (Get16(local.data() + 6) & cFlagEncrypted) return nullptr;
  const std::uint64_t dataStart = std::uint64_t{entry.LocalHeaderOffset} + cLocalHeaderSize +
                                  Get16(local.data() + 26) + Get16(local.data() + 28);
  if (dataStart > size || size - dataStart < entry.CompressedSize) return nullptr;

  std::unique_ptr<TStream> data;
  const bool stored = entry.Method == cMethodStored;
  if (stored) {
    if (entry.CompressedSize != entry.UncompressedSize) return nullptr;
    const std::uint64_t length = std::min<std::uint64_t>(entry.CompressedSize, AMaxBytes);
    data = std::make_unique<TWindowStream>(*FStream, static_cast<std::int64_t>(dataStart),
                                           static_cast<std::int64_t>(length));
  } else {
    FStream->Seek(static_cast<std::int64_t>(dataStart));
    data = std::make_unique<TInflateStream>(*FStream, entry.CompressedSize, -MAX_WBITS, AMaxBytes);
  }
  return std::make_unique<TEntryStream>(std::move(data), stored, entry, std::move(AKeepAlive));
}

std::int32_t FindZipEntry(const TZipReader& AArchive, std::u16string_view AName) {
  const std::vector<TZipEntry>& entries = AArchive.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (platform::TextEqualsIgnoreCase(entries[i].Name, AName)) return static_cast<std::int32_t>(i);
  return -1;
}
