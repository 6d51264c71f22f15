// The library as a host sees it: loaded by path, the detect string and the field
// table through the exports, settings read from the file beside a loaded copy.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "plugin/SvgPlugin.h"
#include "support/TestSupport.h"

using testing_support::PluginHost;
using testing_support::ReadFile;
using testing_support::TempDir;

TEST(Exports, DetectString) {
  PluginHost host;
  ASSERT_TRUE(host.loaded());
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  host.GetDetectString(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "EXT=\"SVG\" | EXT=\"SVGZ\"");

  std::memset(buffer, 'x', sizeof buffer);
  host.GetDetectString(buffer, 10);
  EXPECT_STREQ(buffer, "EXT=\"SVG\"");
  EXPECT_EQ(buffer[10], 'x');
}

TEST(Exports, FieldTable) {
  PluginHost host;
  ASSERT_TRUE(host.loaded());
  struct Case {
    std::int32_t Index;
    std::int32_t Type;
    const char* Name;
    const char* Units;
  } cases[] = {
      {fiSvgVersion, ft_stringw, "SVG Version", ""},
      {fiApplication, ft_stringw, "Application", ""},
      {fiWidth, ft_stringw, "Width", ""},
      {fiHeight, ft_stringw, "Height", ""},
      {fiViewBox, ft_stringw, "ViewBox", ""},
      {fiEmbeddedImage, ft_boolean, "Have Embedded Image", ""},
      {fiID, ft_stringw, "ID", ""},
      {fiInkscapeVersion, ft_stringw, "Inkscape Version", ""},
      {fiSodipodiVersion, ft_stringw, "Sodipodi Version", ""},
      {fiSodipodiDocbase, ft_stringw, "Sodipodi Docbase", ""},
      {fiSodipodiDocname, ft_stringw, "Sodipodi Docname", ""},
      {fiMetadataTitle, ft_stringw, "Metadata Title", ""},
      {fiMetadataDescription, ft_stringw, "Metadata Description", ""},
      {fiMetadataDate, ft_stringw, "Metadata Date", ""},
      {fiCalculatedWidth, ft_numeric_32, "Calculated Width", "96|90"},
      {fiCalculatedHeight, ft_numeric_32, "Calculated Height", "96|90"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Index);
    char name[64];
    char units[64];
    std::memset(units, 'x', sizeof units);
    EXPECT_EQ(host.GetSupportedField(c.Index, name, units, sizeof name), c.Type);
    EXPECT_STREQ(name, c.Name);
    EXPECT_STREQ(units, c.Units);
  }
}

TEST(Exports, FieldIndexOutsideTheTableWritesNothing) {
  PluginHost host;
  ASSERT_TRUE(host.loaded());
  for (std::int32_t index : {-1, std::int32_t{cFieldCount}, 1000, INT32_MIN}) {
    char name[8] = "keep";
    char units[8] = "keep";
    EXPECT_EQ(host.GetSupportedField(index, name, units, sizeof name), ft_nomorefields);
    EXPECT_STREQ(name, "keep");
    EXPECT_STREQ(units, "keep");
  }
}

TEST(Exports, NamesAndUnitsAreCutAtMaxlen) {
  PluginHost host;
  ASSERT_TRUE(host.loaded());
  char name[16];
  char units[16];
  EXPECT_EQ(host.GetSupportedField(fiSvgVersion, name, units, 4), ft_stringw);
  EXPECT_STREQ(name, "SVG");
  EXPECT_EQ(host.GetSupportedField(fiCalculatedWidth, name, units, 3), ft_numeric_32);
  EXPECT_STREQ(name, "Ca");
  EXPECT_STREQ(units, "96");
  // A buffer of one byte gets only the terminator.
  EXPECT_EQ(host.GetSupportedField(fiCalculatedWidth, name, units, 1), ft_numeric_32);
  EXPECT_STREQ(name, "");
}

// Each load starts afresh and each unload releases everything: under the
// sanitizers a leak or a use of a released state fails the run.
TEST(Exports, UnloadAndLoadAgainTwentyTimes) {
  TempDir dir;
  auto file = dir.Write("cycle.svg", "<svg id=\"c\" width=\"2in\" height=\"1in\"/>");
  for (int cycle = 0; cycle < 20; ++cycle) {
    SCOPED_TRACE(cycle);
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    EXPECT_EQ(host.Get(file, fiID).Text, u"c");
    EXPECT_EQ(host.Get(file, fiCalculatedWidth).Number, 192);
    host.SendStateInformation(CONTST_READNEWDIR, u"");
    EXPECT_EQ(host.Get(file, fiCalculatedHeight, 1).Number, 90);
  }
}

#ifndef _WIN32
TEST(Exports, OnlyTheFiveEntryPointsAreExported) {
  TempDir dir;
  std::string out = (dir.path() / "nm.txt").string();
  std::string command = "nm -D --defined-only '" + testing_support::BuiltPluginPath().string() +
                        "' > '" + out + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "nm is not available";
  std::string listing = ReadFile(out);
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < listing.size()) {
    std::size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    std::string line = listing.substr(start, end - start);
    start = end + 1;
    std::size_t space = line.rfind(' ');
    if (!line.empty()) names.push_back(line.substr(space + 1));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ContentGetDetectString", "ContentGetSupportedField",
                                             "ContentGetValue", "ContentGetValueW",
                                             "ContentSendStateInformationW"}));
}
#endif
