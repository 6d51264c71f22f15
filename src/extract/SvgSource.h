// Source loading: turns the path of an .svg or .svgz file into a stream of SVG
// text: the file itself, its inflated gzip content, or the matching entry of a
// ZIP archive, cut to the read limit and never longer than cMaxSourceBytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

class TStream;

// The most SVG bytes source loading hands on, whatever the read limit. Inflated
// data and ZIP entries are held in memory inside the host's process, and a few
// KiB of hostile deflate data can expand to gigabytes; output stops here and is
// cut exactly as the read limit cuts it (the smaller of the two applies). A
// plain file larger than this comes back as an in-memory copy of its first
// cMaxSourceBytes bytes. No real drawing's metadata lies this deep.
constexpr std::int64_t cMaxSourceBytes = std::int64_t{256} * 1024 * 1024;

// The stream of SVG text for the file at APath, or null when the file is missing,
// unreadable, a corrupt gzip file, a ZIP archive that cannot be read or holds no
// matching entry. AReadLimit is the byte limit of the settings (0: none). The
// caller owns the stream; its position is unspecified. Never raises.
//
// gzip data that is corrupt or truncated before the cut point yields null; once
// the output has reached the cut, the rest is not inflated and the cut data is
// the result.
std::unique_ptr<TStream> OpenSvgStream(std::u16string_view APath, std::int64_t AReadLimit);

// The entry name looked for in a ZIP-wrapped file: the file name without its
// folder, its extension replaced by ".svg" (appended when it has none).
std::u16string ZipEntryNameFor(std::u16string_view APath);
