// Value requests when the file system fails under them (faults injected through
// the platform layer's file calls), asked of the plugin unit in this process as
// the exported entry points ask it: a file that fails while it is read gets
// empty answers, nothing of it is remembered, so the next request reads it
// again, and an entry of the file as it was before is not served.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "extract/SvgFields.h"
#include "plugin/SvgPlugin.h"
#include "plugin/contplug.h"
#include "support/FaultyFiles.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

namespace fs = std::filesystem;
using testing_support::TFaultyFiles;
using testing_support::TFilePlan;
using testing_support::TTempDir;
using testing_support::U16;

namespace {

// A drawing of about 60 KiB with facts at both ends.
std::string Drawing(const std::string& ATitle) {
  std::string s =
      "<!-- Created with Vector Editor -->\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" id=\"faults\" width=\"2in\" "
      "height=\"1in\" inkscape:version=\"1.2\">\n";
  for (int i = 0; i < 1500; ++i)
    s += "  <rect x=\"" + std::to_string(i) + "\" width=\"10\" height=\"10\"/>\n";
  s += "  <metadata><rdf:RDF><cc:Work><dc:title>" + ATitle +
       "</dc:title></cc:Work></rdf:RDF></metadata>\n</svg>\n";
  return s;
}

// One answer: the result code and the bytes written into the host's buffer.
struct TAnswer {
  std::int32_t Result = 0;
  std::string Bytes;
  bool operator==(const TAnswer&) const = default;
};

// The plugin unit started for each test and shut down after it, so that every
// test begins with an empty cache.
class TFileFaults : public ::testing::Test {
 protected:
  void SetUp() override { PluginStartup(); }
  void TearDown() override { PluginShutdown(); }

  // Every field's answer (unit 0), asked in turn as a host fills a row.
  static std::vector<TAnswer> Answers(const fs::path& AFile) {
    const std::u16string path = U16(AFile);
    std::vector<TAnswer> answers;
    for (std::int32_t field = 0; field < cFieldCount; ++field) {
      char buffer[1024] = {};
      const std::int32_t result = GetValueW(path.c_str(), field, 0, buffer, sizeof buffer, 0);
      answers.push_back({result, std::string(buffer, sizeof buffer)});
    }
    return answers;
  }
  static std::vector<TAnswer> EmptyAnswers() {
    return std::vector<TAnswer>(cFieldCount, TAnswer{ft_fieldempty, std::string(1024, '\0')});
  }
};

struct TFaultyFile {
  // Lower case: where names ignore case, the plugin opens them so, and the
  // faults are planned for a name's end.
  const char* Name;
  std::string Bytes;
};

std::vector<TFaultyFile> FaultyFiles() {
  const std::string drawing = Drawing("Kept whole");
  return {
      {"plain.svg", drawing},
      {"gzip.svgz", testing_support::Gzip(drawing)},
      {"zip.svgz", testing_support::MakeZip({testing_support::Entry("zip.svg", drawing, true)})},
  };
}

TEST_F(TFileFaults, AFailedReadGivesEmptyAnswersAndIsReadAgain) {
  TTempDir dir;
  for (const TFaultyFile& file : FaultyFiles()) {
    SCOPED_TRACE(file.Name);
    const auto size = static_cast<std::int64_t>(file.Bytes.size());
    // What the plugin answers for the same file in a folder of its own.
    const std::vector<TAnswer> clean =
        Answers(dir.Write(std::string("clean/") + file.Name, file.Bytes));
    ASSERT_EQ(clean[FieldIndex(&TVexmeta::MetadataTitle)].Result, ft_stringw);

    const TFilePlan plans[] = {
        {.Label = "the open fails", .FailOpen = true},
        {.Label = "a read fails half-way", .FailAt = size / 2},
        {.Label = "a read fails in the last bytes", .FailAt = size - 3},
        {.Label = "the file shrinks while it is read", .EndAt = size / 2},
    };
    int round = 0;
    for (const TFilePlan& plan : plans) {
      SCOPED_TRACE(plan.Label);
      // A folder of its own for each round, so that no earlier round has cached
      // the file (a ZIP-wrapped drawing's entry goes by the file's name).
      const fs::path path = dir.Write(std::to_string(++round) + "/" + file.Name, file.Bytes);
      TFaultyFiles faults(U16(path.filename()), plan);
      EXPECT_EQ(Answers(path), EmptyAnswers());
      // Nothing was remembered: each of the sixteen requests read the file.
      EXPECT_EQ(faults.Opens(), cFieldCount);
      // Once the file reads again, the next request reads it, and the others
      // are answered from what it read.
      faults.SetPlan({});
      EXPECT_EQ(Answers(path), clean);
      EXPECT_EQ(faults.Opens(), cFieldCount + 1);
    }
  }
}

TEST_F(TFileFaults, ShortReadsAndGrowthChangeNoAnswer) {
  TTempDir dir;
  for (const TFaultyFile& file : FaultyFiles()) {
    SCOPED_TRACE(file.Name);
    const std::vector<TAnswer> clean =
        Answers(dir.Write(std::string("clean/") + file.Name, file.Bytes));
    const TFilePlan plans[] = {
        {.Label = "reads of 7 bytes at most", .MaxRead = 7},
        {.Label = "the file grows while it is read", .GrowBy = 100000},
    };
    int round = 0;
    for (const TFilePlan& plan : plans) {
      SCOPED_TRACE(plan.Label);
      // A folder of its own for each round, so that no earlier round has cached
      // the file (a ZIP-wrapped drawing's entry goes by the file's name).
      const fs::path path = dir.Write(std::to_string(++round) + "/" + file.Name, file.Bytes);
      TFaultyFiles faults(U16(path.filename()), plan);
      EXPECT_EQ(Answers(path), clean);
      EXPECT_EQ(faults.Opens(), 1);
    }
  }
}

// A file changed on disk is read again; when that read fails, the entry of the
// file as it was is gone with it, not served in its place.
TEST_F(TFileFaults, AnEntryOfTheFileAsItWasIsNotServedWhenItsRereadFails) {
  TTempDir dir;
  const fs::path path = dir.Write("changed.svg", Drawing("Before"));
  TFaultyFiles faults(u"changed.svg", {});
  const std::int32_t title = FieldIndex(&TVexmeta::MetadataTitle);
  EXPECT_EQ(Answers(path)[title].Result, ft_stringw);

  dir.Write("changed.svg", Drawing("After the change"));
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(10));
  faults.SetPlan({.FailAt = 20000});
  EXPECT_EQ(Answers(path), EmptyAnswers());

  faults.SetPlan({});
  const std::vector<TAnswer> after = Answers(path);
  ASSERT_EQ(after[title].Result, ft_stringw);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < after[title].Bytes.size(); i += 2) {
    char16_t unit;
    std::memcpy(&unit, after[title].Bytes.data() + i, sizeof unit);
    if (unit == 0) break;
    text.push_back(unit);
  }
  EXPECT_EQ(text, u"After the change");
}

}  // namespace
