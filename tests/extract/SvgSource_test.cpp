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
using testing_support::TTempDir;
using testing_support::TZipFixtureEntry;
using testing_support::U16;

namespace {

// What comes of a source: no stream, a stream whose reading fails (corrupt or
// truncated compressed data), or the text read to its end.
enum class TOutcome { ocNoStream, ocBroken, ocText };

std::string ReadAll(TStream& AStream) {
  AStream.Seek(0);
  std::string bytes;
  std::vector<char> chunk(4096);
  while (std::size_t n = AStream.Read(chunk.data(), chunk.size())) bytes.append(chunk.data(), n);
  return bytes;
}

TOutcome ReadSource(const std::unique_ptr<TStream>& AStream, std::string& AText) {
  AText.clear();
  if (!AStream) return TOutcome::ocNoStream;
  try {
    AText = ReadAll(*AStream);
    return TOutcome::ocText;
  } catch (const EStreamError&) {
    return TOutcome::ocBroken;
  }
}

// Text of the given length that does not repeat too simply, so that deflate
// output stays proportionate.
std::string Text(std::size_t ALength) {
  std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\">";
  for (std::uint32_t i = 0; text.size() < ALength; ++i)
    text += "<g id=\"n" + std::to_string(i * 7919u % 10007u) + "\"/>";
  text.resize(ALength);
  return text;
}

const std::string cSvg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\"/>";

struct TCase {
  const char* Label;
  std::string FileName;
  std::string Bytes;
  std::int64_t Limit;
  TOutcome Kind;
  std::string Expected;  // the bytes read to the end, when they can be
};

std::string Corrupted(std::string ABytes, std::size_t AAt) {
  ABytes[AAt] = static_cast<char>(ABytes[AAt] ^ 0x55);
  return ABytes;
}

std::string WithoutTail(std::string ABytes, std::size_t ACount) {
  ABytes.resize(ABytes.size() - ACount);
  return ABytes;
}

}  // namespace

TEST(SvgSource, YieldsTheSvgTextOfEachKindOfFile) {
  const std::string big = Text(5000);
  const std::string text3000 = Text(3000);
  const std::string gz = Gzip(cSvg);
  TZipFixtureEntry encrypted = Entry("drawing.svg", cSvg);
  encrypted.Flags = 0x0001;
  TZipFixtureEntry badCrc = Entry("drawing.svg", cSvg, true);
  badCrc.Crc = 0x12345678;
  TZipFixtureEntry bzip2 = Entry("drawing.svg", cSvg);
  bzip2.Method = 12;
  TZipFixtureEntry farOffset = Entry("drawing.svg", cSvg);
  farOffset.LocalHeaderOffset = 0x7FFFFFF0;
  TZipFixtureEntry longData = Entry("drawing.svg", cSvg, true);
  longData.CompressedSize = 0x00FFFFFF;
  TZipFixtureEntry utf8 = Entry("\xC3\x84rger.svg", cSvg);  // "Ärger.svg"
  utf8.Flags = 0x0800;
  TZipFixtureEntry cp437 = Entry("\x8Erger.svg", cSvg);  // "Ärger.svg" in code page 437
  TZipFixtureEntry cp437AsUtf8 = Entry("\x8Erger.svg", cSvg);
  cp437AsUtf8.Flags = 0x0800;

  const std::vector<TCase> cases = {
      {"plain", "drawing.svg", cSvg, 0, TOutcome::ocText, cSvg},
      {"empty", "drawing.svg", "", 0, TOutcome::ocText, ""},
      {"two bytes", "drawing.svg", "\x1F\x8B", 0, TOutcome::ocText, "\x1F\x8B"},
      {"gzip", "drawing.svgz", gz, 0, TOutcome::ocText, cSvg},
      {"gzip, truncated", "drawing.svgz", WithoutTail(gz, 10), 0, TOutcome::ocBroken, ""},
      {"gzip, header only", "drawing.svgz", "\x1F\x8B\x08", 0, TOutcome::ocBroken, ""},
      {"gzip, corrupt data", "drawing.svgz", Corrupted(gz, 14), 0, TOutcome::ocBroken, ""},
      {"gzip, bad trailer CRC", "drawing.svgz", Corrupted(gz, gz.size() - 6), 0, TOutcome::ocBroken,
       ""},
      {"gzip, reserved flags", "drawing.svgz", std::string("\x1F\x8B\x08\xE0\0\0\0\0\0\x03", 10), 0,
       TOutcome::ocBroken, ""},
      {"zip, stored", "drawing.svgz", MakeZip({Entry("drawing.svg", cSvg)}), 0, TOutcome::ocText,
       cSvg},
      {"zip, deflated, other letter case", "drawing.svgz",
       MakeZip({Entry("DRAWING.SVG", cSvg, true)}), 0, TOutcome::ocText, cSvg},
      {"zip, the first matching entry wins", "drawing.svgz",
       MakeZip({Entry("other.svg", "<a/>"), Entry("Drawing.svg", "<b/>", true),
                Entry("drawing.svg", "<c/>")}),
       0, TOutcome::ocText, "<b/>"},
      {"zip, only in a folder", "drawing.svgz", MakeZip({Entry("images/drawing.svg", cSvg)}), 0,
       TOutcome::ocNoStream, ""},
      {"zip, only another name", "drawing.svgz", MakeZip({Entry("other.svg", cSvg)}), 0,
       TOutcome::ocNoStream, ""},
      {"zip, no entries", "drawing.svgz", MakeZip({}), 0, TOutcome::ocNoStream, ""},
      {"zip, file name without extension", "drawing", MakeZip({Entry("drawing.svg", cSvg)}), 0,
       TOutcome::ocText, cSvg},
      {"zip, other extension", "drawing.zip", MakeZip({Entry("drawing.svg", cSvg)}), 0,
       TOutcome::ocText, cSvg},
      {"PK but no archive", "drawing.svgz", "PK<svg/>", 0, TOutcome::ocNoStream, ""},
      {"PK only", "drawing.svgz", "PK", 0, TOutcome::ocNoStream, ""},
      {"zip, encrypted entry", "drawing.svgz", MakeZip({encrypted}), 0, TOutcome::ocNoStream, ""},
      {"zip, bad CRC", "drawing.svgz", MakeZip({badCrc}), 0, TOutcome::ocBroken, ""},
      {"zip, unsupported method", "drawing.svgz", MakeZip({bzip2}), 0, TOutcome::ocNoStream, ""},
      {"zip, local header outside the file", "drawing.svgz", MakeZip({farOffset}), 0,
       TOutcome::ocNoStream, ""},
      {"zip, data beyond the file", "drawing.svgz", MakeZip({longData}), 0, TOutcome::ocNoStream,
       ""},
      {"zip, UTF-8 name, other letter case", "\xC3\xA4rger.svgz", MakeZip({utf8}), 0,
       TOutcome::ocText, cSvg},
      {"zip, code page 437 name", "\xC3\xA4rger.svgz", MakeZip({cp437}), 0, TOutcome::ocText, cSvg},
      {"zip, code page 437 bytes under the UTF-8 flag", "\xC3\xA4rger.svgz", MakeZip({cp437AsUtf8}),
       0, TOutcome::ocNoStream, ""},
      // The read limit counts the bytes the parser sees.
      {"plain over the limit", "drawing.svg", big, 1024, TOutcome::ocText, big.substr(0, 1024)},
      {"plain under the limit", "drawing.svg", big.substr(0, 700), 1024, TOutcome::ocText,
       big.substr(0, 700)},
      {"plain at the limit", "drawing.svg", big.substr(0, 1024), 1024, TOutcome::ocText,
       big.substr(0, 1024)},
      {"gzip over the limit", "drawing.svgz", Gzip(text3000), 1024, TOutcome::ocText,
       text3000.substr(0, 1024)},
      // Past the cut nothing is inflated, so a damaged end does not matter.
      {"gzip over the limit, trailer missing", "drawing.svgz", WithoutTail(Gzip(text3000), 8), 1024,
       TOutcome::ocText, text3000.substr(0, 1024)},
      {"gzip, trailer missing, no limit", "drawing.svgz", WithoutTail(Gzip(text3000), 8), 0,
       TOutcome::ocBroken, ""},
      {"zip stored over the limit", "drawing.svgz", MakeZip({Entry("drawing.svg", text3000)}), 1024,
       TOutcome::ocText, text3000.substr(0, 1024)},
      {"zip deflated over the limit", "drawing.svgz",
       MakeZip({Entry("drawing.svg", text3000, true)}), 1024, TOutcome::ocText,
       text3000.substr(0, 1024)},
  };

  TTempDir dir;
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    // A folder per case, so that each file keeps the name the case gives it.
    std::filesystem::path path = dir.Write(std::to_string(n++) + "/" + c.FileName, c.Bytes);
    std::string text;
    EXPECT_EQ(ReadSource(OpenSvgStream(U16(path), c.Limit), text), c.Kind);
    EXPECT_EQ(text, c.Expected);
  }
}

TEST(SvgSource, NoStreamForWhatIsNotAFile) {
  TTempDir dir;
  std::filesystem::create_directory(dir.Path() / "folder.svg");
  EXPECT_EQ(OpenSvgStream(U16(dir.Path() / "missing.svg"), 0), nullptr);
  EXPECT_EQ(OpenSvgStream(U16(dir.Path() / "folder.svg"), 0), nullptr);
  EXPECT_EQ(OpenSvgStream(u"", 0), nullptr);
}

TEST(SvgSource, ZipEntryNameIsTheFileNameWithTheSvgExtension) {
  struct TNameCase {
    std::u16string Path;
    std::u16string Expected;
  };
  const std::vector<TNameCase> cases = {
      {u"/data/drawing.svgz", u"drawing.svg"}, {u"drawing.svgz", u"drawing.svg"},
      {u"/data/drawing", u"drawing.svg"},      {u"/data/a.b.svgz", u"a.b.svg"},
      {u"/data.d/drawing", u"drawing.svg"},    {u"/data/.svgz", u".svg"},
  };
  for (const TNameCase& c : cases) EXPECT_EQ(ZipEntryNameFor(c.Path), c.Expected);
}

// A drawing handed over as a stream: each kind as from a file; the ZIP entry by
// the name given, or without a name the archive's only .svg entry; a source
// that fails to read gives no stream.
TEST(SvgSource, StreamSourcesReadLikeFiles) {
  const std::string zipOne = MakeZip({Entry("notes.txt", "x"), Entry("any.SVG", cSvg, true)});
  const std::string zipTwo = MakeZip({Entry("a.svg", cSvg), Entry("b.svg", cSvg)});
  struct TStreamCase {
    std::string Bytes;
    std::u16string Name;
    TOutcome Outcome;
  };
  const std::vector<TStreamCase> cases = {
      {cSvg, u"", TOutcome::ocText},
      {Gzip(cSvg), u"", TOutcome::ocText},
      {zipTwo, u"b.svgz", TOutcome::ocText},
      {zipOne, u"", TOutcome::ocText},
      {zipOne, u"drawing.svgz", TOutcome::ocNoStream},
      {zipTwo, u"", TOutcome::ocNoStream},
      {Gzip(cSvg).substr(0, 20), u"", TOutcome::ocBroken},
  };
  // A stream another program hands over may give a few bytes per read before
  // its end: the same outcome, the same text.
  class TDribbling : public TMemoryStream {
   public:
    using TMemoryStream::TMemoryStream;
    std::size_t Read(void* ABuffer, std::size_t ACount) override {
      return TMemoryStream::Read(ABuffer, std::min<std::size_t>(ACount, 3));
    }
  };
  for (const TStreamCase& c : cases) {
    for (const bool dribbling : {false, true}) {
      SCOPED_TRACE(dribbling ? "three bytes per read" : "whole reads");
      std::vector<std::uint8_t> bytes(c.Bytes.begin(), c.Bytes.end());
      std::unique_ptr<TStream> source = dribbling
                                            ? std::make_unique<TDribbling>(std::move(bytes))
                                            : std::make_unique<TMemoryStream>(std::move(bytes));
      std::string text;
      EXPECT_EQ(ReadSource(OpenSvgStream(std::move(source), c.Name, 0), text), c.Outcome);
      if (c.Outcome == TOutcome::ocText) {
        EXPECT_EQ(text, cSvg);
      }
    }
  }
  EXPECT_EQ(OpenSvgStream(std::unique_ptr<TStream>(), u"", 0), nullptr);

  // A source that fails on its first read.
  class TFailing : public TMemoryStream {
   public:
    std::size_t Read(void*, std::size_t) override { throw EStreamError("gone"); }
  };
  EXPECT_EQ(OpenSvgStream(std::make_unique<TFailing>(), u"", 0), nullptr);
}

// Both sources here are far larger than the ceiling: the plain one reads as
// exactly cMaxSourceBytes bytes, the bomb is cut before; both are streamed
// through without being held.
TEST(SvgSource, CeilingCutsOversizedSources) {
  TTempDir dir;
  const std::uint64_t ceiling = static_cast<std::uint64_t>(cMaxSourceBytes);
  // Reads a stream to its end: the byte count, and whether every byte equals AByte.
  auto readThrough = [](TStream& AStream, char AByte, bool& AAll) {
    std::vector<char> chunk(1 << 16);
    std::uint64_t total = 0;
    AAll = true;
    while (std::size_t n = AStream.Read(chunk.data(), chunk.size())) {
      AAll = AAll && std::all_of(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n),
                                 [AByte](char AB) { return AB == AByte; });
      total += n;
    }
    return total;
  };

  // About 300 KB of gzip that inflate to 300 MiB of zeros, written in steps.
  const std::filesystem::path bomb = dir.Path() / "bomb.svgz";
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
  bool zeros = false;
  {
    // A thousandfold is a bomb: cut once it passes 64 MiB, well before the
    // ceiling, as the ceiling cuts.
    std::unique_ptr<TStream> stream = OpenSvgStream(U16(bomb), 0);
    ASSERT_NE(stream, nullptr);
    const std::uint64_t read = readThrough(*stream, '\0', zeros);
    EXPECT_GE(read, 64u << 20);
    EXPECT_LT(read, 65u << 20);
    EXPECT_LT(read, ceiling);
    EXPECT_TRUE(zeros);
    EXPECT_TRUE(stream->RestIsIntact());
  }
  // A read limit below the ceiling still decides.
  EXPECT_EQ(readThrough(*OpenSvgStream(U16(bomb), 4096), '\0', zeros), 4096u);

  // A sparse plain file of 300 MiB reads up to the ceiling.
  const std::filesystem::path huge = dir.Write("huge.svg", "<svg");
  std::filesystem::resize_file(huge, 300u << 20);
  {
    std::unique_ptr<TStream> stream = OpenSvgStream(U16(huge), 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Size(), cMaxSourceBytes);
    char head[5] = {};
    ASSERT_EQ(stream->Read(head, sizeof head), sizeof head);
    EXPECT_EQ(std::string_view(head, 5), std::string_view("<svg\0", 5));
  }
  // A limit above the ceiling is bounded by it as well.
  EXPECT_EQ(OpenSvgStream(U16(huge), cMaxSourceBytes + 1024)->Size(), cMaxSourceBytes);
}

// The whole source counts: a drawing whose compressed data breaks after the
// part a parse reads is not intact, one cut at the read limit is.
TEST(SvgSource, StreamsTellWhetherTheirRestIsIntact) {
  TTempDir dir;
  // Long enough that its end is inflated well after its start.
  const std::string text = Text(std::size_t{4} << 20);
  const std::string gz = Gzip(text);
  struct TIntactCase {
    const char* Label;
    std::string FileName;
    std::string Bytes;
    std::int64_t Limit;
    bool Intact;
  };
  const std::vector<TIntactCase> cases = {
      {"plain", "a.svg", text, 0, true},
      {"gzip", "b.svgz", gz, 0, true},
      {"gzip, corrupt near the end", "c.svgz", Corrupted(gz, gz.size() - 20), 0, false},
      {"gzip, corrupt after the limit", "d.svgz", Corrupted(gz, gz.size() - 20), 1024, true},
      {"zip, deflated", "e.svgz", MakeZip({Entry("e.svg", text, true)}), 0, true},
  };
  for (const TIntactCase& c : cases) {
    SCOPED_TRACE(c.Label);
    auto stream = OpenSvgStream(U16(dir.Write(c.FileName, c.Bytes)), c.Limit);
    ASSERT_NE(stream, nullptr);
    char head[64];
    ASSERT_EQ(stream->Read(head, sizeof head), sizeof head);  // as a parse that stops early
    EXPECT_EQ(stream->RestIsIntact(), c.Intact);
  }
}

// Going back in an inflating source, as the extraction does after peeking at
// the first byte, gives the same bytes whether the step is still in memory or
// the inflation starts over; a ZIP entry read whole after it still checks out.
TEST(SvgSource, CompressedSourcesSeekBackToTheSameBytes) {
  TTempDir dir;
  const std::string text = Text(std::size_t{1} << 20);
  const std::vector<std::pair<const char*, std::string>> files = {
      {"a.svgz", Gzip(text)}, {"b.svgz", MakeZip({Entry("b.svg", text, true)})}};
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    auto stream = OpenSvgStream(U16(dir.Write(name, bytes)), 0);
    ASSERT_NE(stream, nullptr);
    std::string part(1, '\0');
    ASSERT_EQ(stream->Read(part.data(), 1), 1u);
    EXPECT_EQ(ReadAll(*stream), text);  // back from one byte in
    // Back from beyond the first inflated step, then forward to a later offset.
    for (const std::int64_t at : {std::int64_t{10}, std::int64_t{700000}}) {
      stream->Seek(at);
      part.assign(100, '\0');
      ASSERT_EQ(stream->Read(part.data(), part.size()), part.size());
      EXPECT_EQ(part, text.substr(static_cast<std::size_t>(at), 100));
    }
  }
}

// A host may ask from a worker thread with a small stack; loading keeps its
// buffers on the heap.
TEST(SvgSource, LoadsOnASmallStack) {
  TTempDir dir;
  const std::string text = Text(200000);
  const std::filesystem::path gz = dir.Write("a.svgz", Gzip(text));
  const std::filesystem::path zip = dir.Write("b.svgz", MakeZip({Entry("b.svg", text, true)}));
  std::int64_t sizes[2] = {0, 0};
  ASSERT_TRUE(platform::RunOnThreadWithStack(64 * 1024, [&] {
    if (auto stream = OpenSvgStream(U16(gz), 0)) sizes[0] = std::ssize(ReadAll(*stream));
    if (auto stream = OpenSvgStream(U16(zip), 0)) sizes[1] = std::ssize(ReadAll(*stream));
  }));
  EXPECT_EQ(sizes[0], 200000);
  EXPECT_EQ(sizes[1], 200000);
}
