// Source loading: plain, gzip and ZIP-wrapped files, the read limit and the
// ceiling, over fixtures written to a temporary folder.
#include "extract/SvgSource.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "base/Streams.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

using testing_support::Entry;
using testing_support::Gzip;
using testing_support::MakeZip;
using testing_support::TempDir;
using testing_support::U16;
using testing_support::ZipFixtureEntry;

namespace {

enum class StreamKind { kNone, kFile, kMemory };

std::string ReadAll(TStream& stream) {
  stream.Seek(0);
  std::string bytes;
  char chunk[4096];
  for (;;) {
    std::size_t n = stream.Read(chunk, sizeof chunk);
    if (n == 0) break;
    bytes.append(chunk, n);
  }
  return bytes;
}

StreamKind KindOf(const std::unique_ptr<TStream>& stream) {
  if (!stream) return StreamKind::kNone;
  if (dynamic_cast<TFileStream*>(stream.get())) return StreamKind::kFile;
  if (dynamic_cast<TMemoryStream*>(stream.get())) return StreamKind::kMemory;
  ADD_FAILURE() << "unexpected stream type";
  return StreamKind::kNone;
}

// Text of the given length that does not repeat too simply, so that deflate
// output stays proportionate.
std::string Text(std::size_t length) {
  std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\">";
  for (std::uint32_t i = 0; text.size() < length; ++i)
    text += "<g id=\"n" + std::to_string(i * 7919u % 10007u) + "\"/>";
  text.resize(length);
  return text;
}

const std::string kSvg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\"/>";

struct Case {
  const char* Label;
  std::string FileName;
  std::string Bytes;
  std::int64_t Limit;
  StreamKind Kind;
  std::string Expected;  // the stream's bytes when there is a stream
};

std::string Corrupted(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
  return bytes;
}

std::string WithoutTail(std::string bytes, std::size_t count) {
  bytes.resize(bytes.size() - count);
  return bytes;
}

}  // namespace

TEST(SvgSource, YieldsTheSvgTextOfEachKindOfFile) {
  const std::string big = Text(5000);
  const std::string text3000 = Text(3000);
  const std::string gz = Gzip(kSvg);
  ZipFixtureEntry encrypted = Entry("drawing.svg", kSvg);
  encrypted.Flags = 0x0001;
  ZipFixtureEntry badCrc = Entry("drawing.svg", kSvg, true);
  badCrc.Crc = 0x12345678;
  ZipFixtureEntry bzip2 = Entry("drawing.svg", kSvg);
  bzip2.Method = 12;
  ZipFixtureEntry farOffset = Entry("drawing.svg", kSvg);
  farOffset.LocalHeaderOffset = 0x7FFFFFF0;
  ZipFixtureEntry longData = Entry("drawing.svg", kSvg, true);
  longData.CompressedSize = 0x00FFFFFF;
  ZipFixtureEntry utf8 = Entry("\xC3\x84rger.svg", kSvg);  // "Ärger.svg"
  utf8.Flags = 0x0800;
  ZipFixtureEntry cp437 = Entry("\x8Erger.svg", kSvg);  // "Ärger.svg" in code page 437
  ZipFixtureEntry cp437AsUtf8 = Entry("\x8Erger.svg", kSvg);
  cp437AsUtf8.Flags = 0x0800;

  const std::vector<Case> cases = {
      {"plain", "drawing.svg", kSvg, 0, StreamKind::kFile, kSvg},
      {"empty", "drawing.svg", "", 0, StreamKind::kFile, ""},
      {"two bytes", "drawing.svg", "\x1F\x8B", 0, StreamKind::kFile, "\x1F\x8B"},
      {"gzip", "drawing.svgz", gz, 0, StreamKind::kMemory, kSvg},
      {"gzip, truncated", "drawing.svgz", WithoutTail(gz, 10), 0, StreamKind::kNone, ""},
      {"gzip, header only", "drawing.svgz", "\x1F\x8B\x08", 0, StreamKind::kNone, ""},
      {"gzip, corrupt data", "drawing.svgz", Corrupted(gz, 14), 0, StreamKind::kNone, ""},
      {"gzip, bad trailer CRC", "drawing.svgz", Corrupted(gz, gz.size() - 6), 0, StreamKind::kNone,
       ""},
      {"gzip, reserved flags", "drawing.svgz", std::string("\x1F\x8B\x08\xE0\0\0\0\0\0\x03", 10), 0,
       StreamKind::kNone, ""},
      {"zip, stored", "drawing.svgz", MakeZip({Entry("drawing.svg", kSvg)}), 0, StreamKind::kMemory,
       kSvg},
      {"zip, deflated, other letter case", "drawing.svgz",
       MakeZip({Entry("DRAWING.SVG", kSvg, true)}), 0, StreamKind::kMemory, kSvg},
      {"zip, the first matching entry wins", "drawing.svgz",
       MakeZip({Entry("other.svg", "<a/>"), Entry("Drawing.svg", "<b/>", true),
                Entry("drawing.svg", "<c/>")}),
       0, StreamKind::kMemory, "<b/>"},
      {"zip, only in a folder", "drawing.svgz", MakeZip({Entry("images/drawing.svg", kSvg)}), 0,
       StreamKind::kNone, ""},
      {"zip, only another name", "drawing.svgz", MakeZip({Entry("other.svg", kSvg)}), 0,
       StreamKind::kNone, ""},
      {"zip, no entries", "drawing.svgz", MakeZip({}), 0, StreamKind::kNone, ""},
      {"zip, file name without extension", "drawing", MakeZip({Entry("drawing.svg", kSvg)}), 0,
       StreamKind::kMemory, kSvg},
      {"zip, other extension", "drawing.zip", MakeZip({Entry("drawing.svg", kSvg)}), 0,
       StreamKind::kMemory, kSvg},
      {"PK but no archive", "drawing.svgz", "PK<svg/>", 0, StreamKind::kNone, ""},
      {"PK only", "drawing.svgz", "PK", 0, StreamKind::kNone, ""},
      {"zip, encrypted entry", "drawing.svgz", MakeZip({encrypted}), 0, StreamKind::kNone, ""},
      {"zip, bad CRC", "drawing.svgz", MakeZip({badCrc}), 0, StreamKind::kNone, ""},
      {"zip, unsupported method", "drawing.svgz", MakeZip({bzip2}), 0, StreamKind::kNone, ""},
      {"zip, local header outside the file", "drawing.svgz", MakeZip({farOffset}), 0,
       StreamKind::kNone, ""},
      {"zip, data beyond the file", "drawing.svgz", MakeZip({longData}), 0, StreamKind::kNone, ""},
      {"zip, UTF-8 name, other letter case", "\xC3\xA4rger.svgz", MakeZip({utf8}), 0,
       StreamKind::kMemory, kSvg},
      {"zip, code page 437 name", "\xC3\xA4rger.svgz", MakeZip({cp437}), 0, StreamKind::kMemory,
       kSvg},
      {"zip, code page 437 bytes under the UTF-8 flag", "\xC3\xA4rger.svgz", MakeZip({cp437AsUtf8}),
       0, StreamKind::kNone, ""},
      // The read limit counts the bytes the parser sees.
      {"plain over the limit", "drawing.svg", big, 1024, StreamKind::kMemory, big.substr(0, 1024)},
      {"plain under the limit", "drawing.svg", big.substr(0, 700), 1024, StreamKind::kFile,
       big.substr(0, 700)},
      {"plain at the limit", "drawing.svg", big.substr(0, 1024), 1024, StreamKind::kFile,
       big.substr(0, 1024)},
      {"gzip over the limit", "drawing.svgz", Gzip(text3000), 1024, StreamKind::kMemory,
       text3000.substr(0, 1024)},
      // Past the cut nothing is inflated, so a damaged end does not matter.
      {"gzip over the limit, trailer missing", "drawing.svgz", WithoutTail(Gzip(text3000), 8), 1024,
       StreamKind::kMemory, text3000.substr(0, 1024)},
      {"gzip, trailer missing, no limit", "drawing.svgz", WithoutTail(Gzip(text3000), 8), 0,
       StreamKind::kNone, ""},
      {"zip stored over the limit", "drawing.svgz", MakeZip({Entry("drawing.svg", text3000)}), 1024,
       StreamKind::kMemory, text3000.substr(0, 1024)},
      {"zip deflated over the limit", "drawing.svgz",
       MakeZip({Entry("drawing.svg", text3000, true)}), 1024, StreamKind::kMemory,
       text3000.substr(0, 1024)},
  };

  TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Label);
    // A folder per case, so that each file keeps the name the case gives it.
    std::filesystem::path path = dir.Write(std::to_string(n++) + "/" + c.FileName, c.Bytes);
    std::unique_ptr<TStream> stream = OpenSvgStream(U16(path), c.Limit);
    ASSERT_EQ(KindOf(stream), c.Kind);
    if (stream) {
      EXPECT_EQ(ReadAll(*stream), c.Expected);
    }
  }
}

TEST(SvgSource, NoStreamForWhatIsNotAFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder.svg");
  EXPECT_EQ(OpenSvgStream(U16(dir.path() / "missing.svg"), 0), nullptr);
  EXPECT_EQ(OpenSvgStream(U16(dir.path() / "folder.svg"), 0), nullptr);
  EXPECT_EQ(OpenSvgStream(u"", 0), nullptr);
}

TEST(SvgSource, ZipEntryNameIsTheFileNameWithTheSvgExtension) {
  struct NameCase {
    std::u16string Path;
    std::u16string Expected;
  };
  const std::vector<NameCase> cases = {
      {u"/data/drawing.svgz", u"drawing.svg"}, {u"drawing.svgz", u"drawing.svg"},
      {u"/data/drawing", u"drawing.svg"},      {u"/data/a.b.svgz", u"a.b.svg"},
      {u"/data.d/drawing", u"drawing.svg"},    {u"/data/.svgz", u".svg"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(ZipEntryNameFor(c.Path), c.Expected);
}

// Both sources here are far larger than the ceiling; each comes back as exactly
// cMaxSourceBytes bytes in memory (held one at a time).
TEST(SvgSource, CeilingCutsOversizedSources) {
  TempDir dir;
  const std::uint64_t ceiling = static_cast<std::uint64_t>(cMaxSourceBytes);

  // About 300 KB of gzip that inflate to 300 MiB of zeros, written in steps.
  const std::filesystem::path bomb = dir.path() / "bomb.svgz";
  {
    std::ofstream out(bomb, std::ios::binary);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::vector<unsigned char> zeros(1 << 20, 0);
    std::vector<unsigned char> packed(1 << 16);
    for (int mib = 0; mib < 300; ++mib) {
      z.next_in = zeros.data();
      z.avail_in = static_cast<uInt>(zeros.size());
      const int flush = mib + 1 == 300 ? Z_FINISH : Z_NO_FLUSH;
      do {
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        deflate(&z, flush);
        out.write(reinterpret_cast<const char*>(packed.data()),
                  static_cast<std::streamsize>(packed.size() - z.avail_out));
      } while (z.avail_out == 0);
    }
    deflateEnd(&z);
  }
  EXPECT_LT(std::filesystem::file_size(bomb), 1u << 20);
  {
    std::unique_ptr<TStream> stream = OpenSvgStream(U16(bomb), 0);
    ASSERT_EQ(KindOf(stream), StreamKind::kMemory);
    auto& memory = static_cast<TMemoryStream&>(*stream);
    EXPECT_EQ(memory.Bytes().size(), ceiling);
    EXPECT_LE(memory.Bytes().capacity(), ceiling);
    EXPECT_TRUE(std::all_of(memory.Bytes().begin(), memory.Bytes().end(),
                            [](std::uint8_t b) { return b == 0; }));
  }
  // A read limit below the ceiling still decides.
  EXPECT_EQ(OpenSvgStream(U16(bomb), 4096)->Size(), 4096);

  // A sparse plain file of 300 MiB: the copy holds its first bytes up to the ceiling.
  const std::filesystem::path huge = dir.Write("huge.svg", "<svg");
  std::filesystem::resize_file(huge, 300u << 20);
  {
    std::unique_ptr<TStream> stream = OpenSvgStream(U16(huge), 0);
    ASSERT_EQ(KindOf(stream), StreamKind::kMemory);
    auto& memory = static_cast<TMemoryStream&>(*stream);
    ASSERT_EQ(memory.Bytes().size(), ceiling);
    EXPECT_EQ(memory.Data().substr(0, 5), std::string_view("<svg\0", 5));
  }
  // A limit above the ceiling is bounded by it as well.
  EXPECT_EQ(OpenSvgStream(U16(huge), cMaxSourceBytes + 1024)->Size(), cMaxSourceBytes);
}

// A host may ask from a worker thread with a small stack; loading keeps its
// buffers on the heap.
TEST(SvgSource, LoadsOnASmallStack) {
  TempDir dir;
  const std::string text = Text(200000);
  const std::filesystem::path gz = dir.Write("a.svgz", Gzip(text));
  const std::filesystem::path zip = dir.Write("b.svgz", MakeZip({Entry("b.svg", text, true)}));
  std::int64_t sizes[2] = {0, 0};
  ASSERT_TRUE(platform::RunOnThreadWithStack(64 * 1024, [&] {
    if (auto stream = OpenSvgStream(U16(gz), 0)) sizes[0] = stream->Size();
    if (auto stream = OpenSvgStream(U16(zip), 0)) sizes[1] = stream->Size();
  }));
  EXPECT_EQ(sizes[0], 200000);
  EXPECT_EQ(sizes[1], 200000);
}
