// Source loading (see SvgSource.h): the three-byte header picks plain, gzip or
// ZIP; every path out of OpenSvgStream releases what it opened through owners.
#include "extract/SvgSource.h"

#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "extract/Inflate.h"
#include "extract/ZipReader.h"
#include "platform/Platform.h"

namespace {

// The entry a ZIP-wrapped drawing is read from: the one its name asks for, or,
// for a source that has no name, the archive's only .svg entry (-1: none).
std::int32_t FindDrawingEntry(const TZipReader& AArchive, std::u16string_view AName) {
  if (!AName.empty()) return FindZipEntry(AArchive, ZipEntryNameFor(AName));
  std::int32_t found = -1;
  const std::vector<TZipEntry>& entries = AArchive.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::u16string& name = entries[i].Name;
    if (name.size() < 4 || !platform::TextEqualsIgnoreCase(name.substr(name.size() - 4), u".svg"))
      continue;
    if (found >= 0) return -1;  // two candidates: which one is meant cannot be told
    found = static_cast<std::int32_t>(i);
  }
  return found;
}

std::unique_ptr<TStream> OpenSourceOrRaise(std::unique_ptr<TStream> ASource,
                                           std::u16string_view AName,
                                           std::int64_t AReadLimitBytes) {
  TStream& source = *ASource;
  std::uint8_t header[3] = {};
  source.Seek(0);
  source.Read(header, sizeof header);
  source.Seek(0);
  const TSourceKind kind = SourceKindOf(header);

  const std::int64_t cut =
      AReadLimitBytes > 0 ? std::min(AReadLimitBytes, cMaxSourceBytes) : cMaxSourceBytes;
  const std::int64_t size = source.Size();

  if (kind == TSourceKind::skGzip)
    return std::make_unique<TInflateStream>(source, static_cast<std::uint64_t>(size),
                                            32 + MAX_WBITS, static_cast<std::uint64_t>(cut),
                                            std::move(ASource));

  if (kind == TSourceKind::skZip) {
    TZipReader archive;
    if (!archive.Open(source)) return nullptr;
    std::int32_t index = FindDrawingEntry(archive, AName);
    if (index < 0) return nullptr;
    return archive.OpenEntry(static_cast<std::size_t>(index), static_cast<std::uint64_t>(cut),
                             std::move(ASource));
  }

  return std::make_unique<TWindowStream>(source, 0, std::min(size, cut), std::move(ASource));
}

}  // namespace

std::unique_ptr<TStream> OpenSvgStreamOrRaise(std::u16string_view APath,
                                              std::int64_t AReadLimitBytes, bool AFoundRegular) {
  // Opening a device can have effects of its own, so only a path known to be a
  // regular file is opened at all.
  if (!AFoundRegular && !platform::IsExistingFile(APath)) return nullptr;
  std::unique_ptr<TFileStream> file = TFileStream::Open(APath);
  if (!file) throw EFileReadError("file cannot be opened");
  return OpenSourceOrRaise(std::move(file), APath, AReadLimitBytes);
}

TSourceKind SourceKindOf(const std::uint8_t (&AHeader)[3]) {
  // A gzip member with the deflate method; a ZIP archive ("PK"); anything else,
  // a file shorter than three bytes included, is plain text.
  if (AHeader[0] == 0x1F && AHeader[1] == 0x8B && AHeader[2] == 0x08) return TSourceKind::skGzip;
  if (AHeader[0] == 0x50 && AHeader[1] == 0x4B) return TSourceKind::skZip;
  return TSourceKind::skPlain;
}

std::u16string ZipEntryNameFor(std::u16string_view APath) {
  std::u16string name(platform::FileNamePart(APath));
  std::size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.resize(dot);
  name += u".svg";
  return name;
}

std::unique_ptr<TStream> OpenSvgStream(std::u16string_view APath, std::int64_t AReadLimitBytes,
                                       bool AFoundRegular) {
  try {
    return OpenSvgStreamOrRaise(APath, AReadLimitBytes, AFoundRegular);
  } catch (...) {
    // Read errors of the file and failed allocations mean no stream; the owners
    // on the way out have closed and freed everything.
    return nullptr;
  }
}

std::unique_ptr<TStream> OpenSvgStream(std::unique_ptr<TStream> ASource, std::u16string_view AName,
                                       std::int64_t AReadLimitBytes) {
  if (!ASource) return nullptr;
  try {
    return OpenSourceOrRaise(std::make_unique<TReadOnStream>(std::move(ASource)), AName,
                             AReadLimitBytes);
  } catch (...) {
    // As for a file: a source that cannot be read or sought means no stream.
    return nullptr;
  }
}
