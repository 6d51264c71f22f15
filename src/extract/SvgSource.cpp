// Source loading (see SvgSource.h): the three-byte header picks plain, gzip or
// ZIP; every path out of OpenSvgStream releases what it opened through owners.
#include "extract/SvgSource.h"

#include <zlib.h>

#include <algorithm>
#include <string>

#include "base/Streams.h"
#include "extract/Inflate.h"
#include "extract/ZipReader.h"
#include "platform/Platform.h"

std::unique_ptr<TStream> OpenSvgStreamOrRaise(std::u16string_view APath,
                                              std::int64_t AReadLimitBytes, bool AFoundRegular) {
  // Opening a device can have effects of its own, so only a path known to be a
  // regular file is opened at all.
  if (!AFoundRegular && !platform::IsExistingFile(APath)) return nullptr;
  std::unique_ptr<TFileStream> file = TFileStream::Open(APath);
  if (!file) throw EFileReadError("file cannot be opened");

  std::uint8_t header[3] = {};
  file->Read(header, sizeof header);
  file->Seek(0);
  const TSourceKind kind = SourceKindOf(header);

  const std::int64_t cut =
      AReadLimitBytes > 0 ? std::min(AReadLimitBytes, cMaxSourceBytes) : cMaxSourceBytes;
  const std::int64_t size = file->Size();
  TStream& source = *file;

  if (kind == TSourceKind::skGzip)
    return std::make_unique<TInflateStream>(source, static_cast<std::uint64_t>(size),
                                            32 + MAX_WBITS, static_cast<std::uint64_t>(cut),
                                            std::move(file));

  if (kind == TSourceKind::skZip) {
    TZipReader archive;
    if (!archive.Open(source)) return nullptr;
    std::int32_t index = FindZipEntry(archive, ZipEntryNameFor(APath));
    if (index < 0) return nullptr;
    return archive.OpenEntry(static_cast<std::size_t>(index), static_cast<std::uint64_t>(cut),
                             std::move(file));
  }

  return std::make_unique<TWindowStream>(source, 0, std::min(size, cut), std::move(file));
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
