// Source loading: turns the path of an .svg or .svgz file (or a stream of its
// bytes) into a stream of SVG text: the file itself, its inflated gzip content, or the matching
// entry of a ZIP archive, cut to the read limit and never longer than cMaxSourceBytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

class TStream;

// The most SVG bytes source loading hands on, whatever the read limit: the
// stream ends here, cut exactly as the read limit cuts it (the smaller of the
// two applies). A few KiB of hostile deflate data can expand to gigabytes; this
// bounds the time they cost. No real drawing's metadata lies this deep.
constexpr std::int64_t cMaxSourceBytes = std::int64_t{256} * 1024 * 1024;

// The stream of SVG text for the file at APath, or null when the file is missing,
// unreadable, a ZIP archive that cannot be read or holds no matching entry.
// AReadLimitBytes is the byte limit of the settings (0: none). The caller owns
// the stream; its position is unspecified. Never raises.
//
// The stream reads through the file as it is read, and inflates gzip data and
// deflated ZIP entries as it goes, so it holds a few buffers whatever the size.
// A read that reaches corrupt or truncated compressed data, or the end of a ZIP
// entry whose size or CRC-32 does not match, raises EStreamError; once the
// output has reached the cut, the rest is not inflated and never checked.
// RestIsIntact tells whether what a reader left of the stream is intact too.
//
// AFoundRegular says that the caller has just found APath to be a regular file
// (as a value request's directory search does), so it is not looked up again
// before it is opened; the open itself still refuses anything else.
std::unique_ptr<TStream> OpenSvgStream(std::u16string_view APath, std::int64_t AReadLimitBytes,
                                       bool AFoundRegular = false);
// The same, except that a file that is there but cannot be opened, or fails
// while its header or ZIP directory is read, raises EFileReadError (a later
// try may succeed), and a failed allocation raises too.
std::unique_ptr<TStream> OpenSvgStreamOrRaise(std::u16string_view APath,
                                              std::int64_t AReadLimitBytes,
                                              bool AFoundRegular = false);

// The same for a drawing given as a stream rather than a path (a stream another
// program hands over): plain, gzip or ZIP by its first bytes, cut to the same
// limits. The source must be able to seek (a ZIP archive is read from its end)
// and is owned by the result, or released when there is none. AName is the
// file name the source came from, for the ZIP entry looked for; a source
// without a name (empty) is read from the archive's only .svg entry. Never
// raises: a source whose reads or seeks raise gives null.
std::unique_ptr<TStream> OpenSvgStream(std::unique_ptr<TStream> ASource, std::u16string_view AName,
                                       std::int64_t AReadLimitBytes);

// What a file's first bytes say it holds.
enum class TSourceKind : std::uint8_t { skPlain, skGzip, skZip };
TSourceKind SourceKindOf(const std::uint8_t (&AHeader)[3]);

// The entry name looked for in a ZIP-wrapped file: the file name without its
// folder, its extension replaced by ".svg" (appended when it has none).
std::u16string ZipEntryNameFor(std::u16string_view APath);
