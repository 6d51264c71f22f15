// The ZIP reader: listing, name decoding and lookup, extraction and its checks
// over archives built at run time, and a cross-check against libzip.
#include "extract/ZipReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "base/Streams.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

#ifdef VX_HAVE_LIBZIP
#include <zip.h>
#endif

using namespace std::string_view_literals;
using testing_support::Entry;
using testing_support::MakeZip;
using testing_support::RawDeflate;
using testing_support::TZipFixtureEntry;

namespace {

std::string AsString(const std::vector<std::uint8_t>& ABytes) {
  return {ABytes.begin(), ABytes.end()};
}

// Opens an archive held in memory; the stream lives as long as the reader is used.
struct TMemoryArchive {
  explicit TMemoryArchive(std::string ABytes)
      : Stream(std::vector<std::uint8_t>(ABytes.begin(), ABytes.end())) {
    Opened = Reader.Open(Stream);
  }
  TMemoryStream Stream;
  TZipReader Reader;
  bool Opened = false;
};

// An entry's data read whole through OpenEntry, at most AMaxBytes of it; false
// where OpenEntry gives no stream or reading it raises.
bool Extract(TZipReader& AReader, std::size_t AIndex, std::uint64_t AMaxBytes,
             std::vector<std::uint8_t>& AData) {
  AData.clear();
  try {
    std::unique_ptr<TStream> stream = AReader.OpenEntry(AIndex, AMaxBytes);
    if (!stream) return false;
    std::vector<std::uint8_t> chunk(64 * 1024);
    while (std::size_t n = stream->Read(chunk.data(), chunk.size()))
      AData.insert(AData.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    return true;
  } catch (const EStreamError&) {
    AData.clear();
    return false;
  }
}

std::string Text(std::size_t ALength) {
  std::string text;
  for (std::uint32_t i = 0; text.size() < ALength; ++i)
    text += "<path d=\"M" + std::to_string(i * 7919u % 10007u) + "\"/>\n";
  text.resize(ALength);
  return text;
}

}  // namespace

TEST(ZipReader, ListsEntriesInDirectoryOrderWithDecodedNames) {
  TZipFixtureEntry utf8 = Entry("\xC3\xA9t\xC3\xA9/\xE2\x82\xAC.svg", "a");  // "été/€.svg"
  utf8.Flags = 0x0800;
  // "été/¢µ.svg" in code page 437, whose E6 is the micro sign, as Windows and ZIP tools read it.
  TZipFixtureEntry cp437 = Entry("\x82t\x82/\x9B\xE6.svg", "b", true);
  // Ill-formed UTF-8: one U+FFFD for F4 (nothing above U+10FFFF) and one per continuation byte.
  TZipFixtureEntry broken = Entry("\xF4\x90\x80\x80.svg", "c");
  broken.Flags = 0x0800;
  TMemoryArchive archive(
      MakeZip({Entry("z.svg", ""), utf8, cp437, Entry("dir/", ""), broken}, "comment"));
  ASSERT_TRUE(archive.Opened);
  const std::vector<TZipEntry>& entries = archive.Reader.Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].Name, u"z.svg");
  EXPECT_EQ(entries[1].Name, u"\u00E9t\u00E9/\u20AC.svg");
  EXPECT_EQ(entries[2].Name, u"\u00E9t\u00E9/\u00A2\u00B5.svg");
  EXPECT_EQ(entries[2].Method, 8);
  EXPECT_EQ(entries[3].Name, u"dir/");
  EXPECT_EQ(entries[4].Name, u"\uFFFD\uFFFD\uFFFD\uFFFD.svg");
}

TEST(ZipReader, FindZipEntryComparesWholeNamesIgnoringCase) {
  TZipFixtureEntry greek = Entry("\xCE\xA3\xCE\xB1.svg", "4");  // "Σα.svg"
  greek.Flags = 0x0800;
  TMemoryArchive archive(MakeZip({Entry("images/a.svg", "0"), Entry("A.SVG", "1"),
                                  Entry("a.svg", "2"), Entry("b.svg.svg", "3"), greek}));
  ASSERT_TRUE(archive.Opened);
  struct TCase {
    std::u16string Name;
    std::int32_t Index;
  };
  const std::vector<TCase> cases = {
      {u"a.svg", 1},        {u"A.svg", 1},  {u"images/a.svg", 0},
      {u"IMAGES/A.SVG", 0}, {u"b.svg", -1}, {u"b.svg.svg", 3},
      {u"a.sv", -1},        {u"", -1},      {u"\u03C3\u0391.svg", 4},
      {u"a.svg ", -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.Name));
    EXPECT_EQ(FindZipEntry(archive.Reader, c.Name), c.Index);
  }
}

TEST(ZipReader, RefusesWhatIsNoReadableArchive) {
  const std::string good = MakeZip({Entry("a.svg", "<svg/>")});
  const std::size_t end = good.size() - 22;  // the end record
  auto patched = [&](std::size_t AAt, std::string_view ABytes) {
    std::string s = good;
    s.replace(AAt, ABytes.size(), ABytes);
    return s;
  };
  struct TCase {
    const char* Label;
    std::string Bytes;
    bool Opens;
  };
  const std::vector<TCase> cases = {
      {"well formed", good, true},
      {"empty archive", MakeZip({}), true},
      {"longest comment", MakeZip({Entry("a.svg", "x")}, std::string(65535, 'c')), true},
      {"trailing bytes after the end record", good + "xyz", true},
      {"empty file", "", false},
      {"PK and text", "PK\x03\x04 this is no archive at all, only some text", false},
      {"end record cut short", good.substr(0, good.size() - 1), false},
      {"comment longer than the file", patched(end + 20, "\x05\x00"sv), false},
      {"directory offset past the end record", patched(end + 16, "\xFF\xFF\x00\x00"sv), false},
      {"directory size past the end record", patched(end + 12, "\xFF\x00\x00\x00"sv), false},
      {"more entries than the directory holds", patched(end + 8, "\x09\x00\x09\x00"sv), false},
      {"entry counts differ", patched(end + 8, "\x01\x00\x02\x00"sv), false},
      {"second disk", patched(end + 4, "\x01\x00"sv), false},
      {"ZIP64 marker", patched(end + 16, "\xFF\xFF\xFF\xFF"sv), false},
      {"bad directory signature", patched(good.find("PK\x01\x02"), "PK\x01\x03"sv), false},
      {"name running past the directory", patched(good.find("PK\x01\x02") + 28, "\xFF\x00"sv),
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TMemoryArchive archive(c.Bytes);
    EXPECT_EQ(archive.Opened, c.Opens);
  }
}

TEST(ZipReader, ExtractsStoredAndDeflatedEntriesAndRefusesBadOnes) {
  const std::string text = Text(20000);
  auto with = [&](auto AChange, bool ADeflate = true) {
    TZipFixtureEntry e = Entry("a.svg", text, ADeflate);
    AChange(e);
    return e;
  };
  struct TCase {
    const char* Label;
    TZipFixtureEntry Entry;
    bool Extracts;
  };
  const std::vector<TCase> cases = {
      {"stored", Entry("a.svg", text), true},
      {"deflated", Entry("a.svg", text, true), true},
      {"empty stored", Entry("a.svg", ""), true},
      {"empty deflated", Entry("a.svg", "", true), true},
      {"encrypted", with([](TZipFixtureEntry& AE) { AE.Flags = 1; }), false},
      {"bad CRC, deflated", with([](TZipFixtureEntry& AE) { AE.Crc = 1; }), false},
      {"bad CRC, stored", with([](TZipFixtureEntry& AE) { AE.Crc = 1; }, false), false},
      {"method 12", with([](TZipFixtureEntry& AE) { AE.Method = 12; }), false},
      {"method 9", with([](TZipFixtureEntry& AE) { AE.Method = 9; }), false},
      {"deflate data declared stored", with([](TZipFixtureEntry& AE) { AE.Method = 0; }), false},
      {"stored sizes differ", with([](TZipFixtureEntry& AE) { AE.UncompressedSize = 5; }, false),
       false},
      {"inflated size differs", with([](TZipFixtureEntry& AE) { AE.UncompressedSize = 5; }), false},
      {"local header past the end",
       with([](TZipFixtureEntry& AE) { AE.LocalHeaderOffset = 0xFFFFFF00; }), false},
      {"local header not at the offset",
       with([](TZipFixtureEntry& AE) { AE.LocalHeaderOffset = 1; }), false},
      {"compressed size past the end",
       with([](TZipFixtureEntry& AE) { AE.CompressedSize = 0x7FFFFFFF; }), false},
      {"ZIP64 sizes", with([](TZipFixtureEntry& AE) { AE.CompressedSize = 0xFFFFFFFF; }), false},
      {"deflate data cut short", with([](TZipFixtureEntry& AE) {
         AE.CutCompressed = 100;
         AE.CompressedSize = 100;
       }),
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TMemoryArchive archive(MakeZip({Entry("first.txt", "first", true), c.Entry}));
    ASSERT_TRUE(archive.Opened);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(Extract(archive.Reader, 0, 1u << 30, data));
    EXPECT_EQ(AsString(data), "first");
    EXPECT_EQ(Extract(archive.Reader, 1, 1u << 30, data), c.Extracts);
    if (c.Extracts) {
      EXPECT_EQ(AsString(data), c.Entry.Data);
    }
  }
}

TEST(ZipReader, ExtractStopsAtTheCeilingWithoutReadingFurther) {
  // 64 MiB of zeros declared in a few KB: only what fits under the ceiling is
  // inflated, and what lies past the cut (here, a wrong CRC) is never checked.
  const std::string zeros(64u << 20, '\0');
  TZipFixtureEntry bomb = Entry("bomb.svg", RawDeflate(zeros));
  bomb.RawDeflated = true;
  bomb.UncompressedSize = static_cast<std::int64_t>(zeros.size());
  bomb.Crc = 1;
  TZipFixtureEntry stored = Entry("stored.svg", Text(5000));
  stored.Crc = 1;
  TMemoryArchive archive(MakeZip({bomb, stored}));
  ASSERT_TRUE(archive.Opened);
  EXPECT_LT(archive.Stream.Size(), 1 << 20);
  std::vector<std::uint8_t> data;
  ASSERT_TRUE(Extract(archive.Reader, 0, 4096, data));
  EXPECT_EQ(data, std::vector<std::uint8_t>(4096, 0));
  EXPECT_LE(data.capacity(), 4096u);
  ASSERT_TRUE(Extract(archive.Reader, 1, 1000, data));
  EXPECT_EQ(AsString(data), Text(1000));
  // Whole, the wrong CRC shows.
  EXPECT_FALSE(Extract(archive.Reader, 1, 5000, data));
}

#ifdef VX_HAVE_LIBZIP
namespace {

// Lists and reads the archive with libzip and with TZipReader; both must agree
// on every entry's name and data.
void CrossCheck(const std::filesystem::path& APath) {
  int error = 0;
  zip_t* za = zip_open(APath.string().c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(za, nullptr) << "libzip error " << error;
  std::unique_ptr<TFileStream> file = TFileStream::Open(testing_support::U16(APath));
  ASSERT_TRUE(file);
  TZipReader reader;
  ASSERT_TRUE(reader.Open(*file));
  const zip_int64_t count = zip_get_num_entries(za, 0);
  ASSERT_EQ(static_cast<std::size_t>(count), reader.Entries().size());
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    const char* name = zip_get_name(za, index, ZIP_FL_ENC_GUESS);
    ASSERT_NE(name, nullptr);
    SCOPED_TRACE(name);
    EXPECT_EQ(reader.Entries()[index].Name, platform::Utf8ToUtf16(name));
    zip_stat_t st;
    ASSERT_EQ(zip_stat_index(za, index, 0, &st), 0);
    std::string expected(st.size, '\0');
    zip_file_t* zf = zip_fopen_index(za, index, 0);
    ASSERT_NE(zf, nullptr);
    EXPECT_EQ(zip_fread(zf, expected.data(), st.size), static_cast<zip_int64_t>(st.size));
    zip_fclose(zf);
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(Extract(reader, index, 1u << 30, data));
    EXPECT_EQ(AsString(data), expected);
  }
  zip_discard(za);
}

}  // namespace

TEST(ZipReader, AgreesWithLibzip) {
  testing_support::TTempDir dir;
  // Archives written by libzip.
  const std::filesystem::path made = dir.Path() / "made.zip";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a.svg", "<svg/>"},
      {"dir/B.svg", Text(100000)},
      {"\xC3\xA4\xC3\xB6\xC3\xBC/\xE2\x82\xAC.svg", Text(3000)},  // "äöü/€.svg"
      {"empty.svg", ""},
  };
  {
    int error = 0;
    zip_t* za = zip_open(made.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(za, nullptr);
    for (std::size_t i = 0; i < files.size(); ++i) {
      zip_source_t* source =
          zip_source_buffer(za, files[i].second.data(), files[i].second.size(), 0);
      ASSERT_NE(source, nullptr);
      const zip_int64_t index = zip_file_add(za, files[i].first.c_str(), source, ZIP_FL_ENC_UTF_8);
      ASSERT_GE(index, 0);
      zip_set_file_compression(za, static_cast<zip_uint64_t>(index),
                               i % 2 == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    zip_set_archive_comment(za, "made by the test", 16);
    ASSERT_EQ(zip_close(za), 0);
  }
  CrossCheck(made);

  // And the test's own fixture archives, code page 437 names included: one holds
  // every byte above ASCII.
  TZipFixtureEntry utf8 = Entry("\xC3\xA9t\xC3\xA9.svg", Text(700), true);
  utf8.Flags = 0x0800;
  std::string upper;
  for (int b = 0x80; b < 0x100; ++b) upper.push_back(static_cast<char>(b));
  const std::filesystem::path own = dir.Write(
      "own.zip",
      MakeZip({Entry("x.svg", "<svg/>"), utf8, Entry("\x82t\x82/\x9B\x84.svg", Text(9000), true),
               Entry(upper + ".svg", "<svg/>")}));
  CrossCheck(own);
}
#endif
