// The extraction when the file system fails under it (faults injected through
// the platform layer's file calls): a read that fails at the start, half-way or
// at the end, a file that shrinks or grows while it is read, short reads, and an
// open that fails, on a plain, a gzip and a ZIP-wrapped drawing. A failure is
// reported as such, with an empty record, never as a drawing or as damaged data;
// short reads and growth change nothing.
#include <gtest/gtest.h>

#include <string>

#include "extract/SvgExtractor.h"
#include "support/FaultyFiles.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

namespace {

using testing_support::TFaultyFiles;
using testing_support::TFilePlan;
using testing_support::TTempDir;
using testing_support::U16;

// A drawing of about 130 KiB whose title comes last, so that every byte of it
// is read before the facts are complete.
std::string LongDrawing() {
  std::string s =
      "<?xml version=\"1.0\"?>\n<!-- Created with Vector Editor -->\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" id=\"faults\" width=\"120\" "
      "height=\"80\">\n";
  for (int i = 0; i < 3000; ++i)
    s += "  <rect x=\"" + std::to_string(i) + "\" width=\"10\" height=\"10\"/>\n";
  s += "  <metadata><rdf:RDF><cc:Work><dc:title>Read to the end</dc:title></cc:Work></rdf:RDF>"
       "</metadata>\n</svg>\n";
  return s;
}

TEST(FileFaults, AFailedReadIsReportedWithAnEmptyRecord) {
  TTempDir dir;
  const std::string drawing = LongDrawing();
  const std::string files[][2] = {
      {"plain.svg", drawing},
      {"gzip.svgz", testing_support::Gzip(drawing)},
      {"zip.svgz", testing_support::MakeZip({testing_support::Entry("zip.svg", drawing, true)})},
  };
  TSvgExtractor extractor;
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::u16string path = U16(dir.Write(name, bytes));
    TVexmeta clean;
    ASSERT_EQ(extractor.ReadFile(path, {}, clean), TFileRead::frDrawing);
    ASSERT_EQ(clean.MetadataTitle, u"Read to the end");

    const auto size = static_cast<std::int64_t>(bytes.size());
    struct TCase {
      TFilePlan Plan;
      TFileRead Want;
    } cases[] = {
        {{.Label = "the open fails", .FailOpen = true}, TFileRead::frUnreadable},
        {{.Label = "the first read fails", .FailAt = 0}, TFileRead::frUnreadable},
        {{.Label = "a read fails half-way", .FailAt = size / 2}, TFileRead::frUnreadable},
        {{.Label = "a read fails in the last bytes", .FailAt = size - 3}, TFileRead::frUnreadable},
        {{.Label = "the file shrinks to half", .EndAt = size / 2}, TFileRead::frUnreadable},
        {{.Label = "the file loses its last byte", .EndAt = size - 1}, TFileRead::frUnreadable},
        {{.Label = "the file grows", .GrowBy = 70000}, TFileRead::frDrawing},
        {{.Label = "reads of 7 bytes at most", .MaxRead = 7}, TFileRead::frDrawing},
    };
    for (const TCase& c : cases) {
      SCOPED_TRACE(c.Plan.Label);
      TFaultyFiles faults(U16(name), c.Plan);
      TVexmeta record;
      record.ID = u"left over";
      EXPECT_EQ(extractor.ReadFile(path, {}, record), c.Want);
      EXPECT_EQ(faults.Opens(), 1);
      if (c.Want == TFileRead::frDrawing) {
        EXPECT_TRUE(SameRecord(record, clean));
      } else {
        EXPECT_TRUE(SameRecord(record, TVexmeta()));
        EXPECT_EQ(faults.FailedReads() > 0, c.Plan.FailAt >= 0);
      }
    }
    // The same extractor reads the file whole again once the faults are gone.
    TVexmeta again;
    EXPECT_EQ(extractor.ReadFile(path, {}, again), TFileRead::frDrawing);
    EXPECT_TRUE(SameRecord(again, clean));
  }
}

// Compressed data that is cut is damaged, and known to be; the same data cut by
// an error of the disk says nothing of the drawing.
TEST(FileFaults, AGzipStreamCutByTheDiskIsNoDamagedData) {
  TTempDir dir;
  const std::string gzip = testing_support::Gzip(LongDrawing());
  const auto half = static_cast<std::int64_t>(gzip.size() / 2);
  TSvgExtractor extractor;
  TVexmeta record;
  const std::u16string cut = U16(dir.Write("cut.svgz", gzip.substr(0, gzip.size() / 2)));
  EXPECT_EQ(extractor.ReadFile(cut, {}, record), TFileRead::frNoDrawing);

  const std::u16string whole = U16(dir.Write("whole.svgz", gzip));
  TFaultyFiles faults(u"whole.svgz", {.FailAt = half});
  EXPECT_EQ(extractor.ReadFile(whole, {}, record), TFileRead::frUnreadable);
}

}  // namespace
