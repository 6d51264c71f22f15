// The hostile set: a folder of drawings and names made to break a consumer,
// written at test time (none is kept in the repository): huge attributes,
// texts and comments, deep nesting, millions of elements, entity and comment
// floods, gzip and ZIP bombs, truncated compressed data, ill-formed UTF-8,
// UTF-16 with lone surrogates, NUL bytes, and names of things that are no
// regular file (a FIFO, a folder, a device, a link to nowhere or to itself), an
// unreadable file and a file another thread rewrites while it is read.
//
// Every consumer reads all of it as its host calls it and must not crash,
// hang or hand its toolkit a text that is not well-formed. A C++ test calls
// WriteHostileSet and keeps a TChangingFile alive while it reads; any other
// test runs the program make_hostile_set (tests/hostile), which writes the
// same set into a folder and lists it (see there). Without GoogleTest, so the
// benchmarks link it too.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testing_support {

enum class THostileKind : std::uint8_t {
  hkDrawing,   // a regular file: read it; any facts, or none
  hkNotAFile,  // no regular file behind the name: nothing may be opened or waited on
  hkChanging,  // rewritten by a TChangingFile while it lives: any facts, or none
};

struct THostileItem {
  std::string Name;  // the file name in the folder
  THostileKind Kind;
  std::string What;  // one line
};

// The sizes of the set. The defaults keep a consumer's pass over the whole
// set to seconds while each item still shows its fault: a value held whole
// costs its 64 MiB, a bomb inflates past the 256 MiB the engine reads.
struct THostileSizes {
  std::uint64_t HugeAttributeBytes = std::uint64_t{64} << 20;
  std::uint64_t HugeTextBytes = std::uint64_t{16} << 20;
  std::uint64_t ShapeBytes = std::uint64_t{8} << 20;  // each of the nine bench shapes
  std::uint64_t BombBytes = std::uint64_t{1} << 30;   // what each bomb inflates to
};

// Writes the set into AFolder (made when missing) and lists it in folder
// order; empty with the reason in AError when it cannot be written. Where the
// system has no FIFOs or symbolic links (Windows), those items are left out.
// The unreadable file is a drawing without read permission: a process that
// may read anything (root) reads it like any other.
std::vector<THostileItem> WriteHostileSet(const std::filesystem::path& AFolder, std::string& AError,
                                          const THostileSizes& ASizes = {});

// The name of the item that TChangingFile rewrites.
constexpr const char* cChangingName = "changing.svg";

// Rewrites AFolder's changing.svg over and over on a thread of its own while
// it lives: cut to nothing, then written again as a drawing of a few MiB, or
// as a few bytes, so that a read finds it shrinking, growing and changing.
class TChangingFile {
 public:
  explicit TChangingFile(const std::filesystem::path& AFolder);
  ~TChangingFile();
  TChangingFile(const TChangingFile&) = delete;
  TChangingFile& operator=(const TChangingFile&) = delete;
  // How many times the file was rewritten so far.
  std::uint64_t Rewrites() const { return FRewrites.load(); }

 private:
  std::filesystem::path FPath;
  std::atomic<bool> FStop{false};
  std::atomic<std::uint64_t> FRewrites{0};
  std::thread FThread;
};

// Whether the bytes are UTF-8 as GLib's g_utf8_validate takes it: no overlong
// form, no encoded surrogate, nothing above U+10FFFF, no sequence cut short.
bool IsWellFormedUtf8(std::string_view AText);

}  // namespace testing_support
