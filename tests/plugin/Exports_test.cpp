// The library as a host sees it: loaded by path, the detect string and the field
// table through the exports, settings read from the file beside a loaded copy
// and from the folder of the host's own settings file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "extract/SvgFields.h"
#include "plugin/SvgPlugin.h"
#include "support/TestSupport.h"

using testing_support::ReadFile;
using testing_support::TPluginCopy;
using testing_support::TPluginHost;
using testing_support::TTempDir;

TEST(Exports, DetectString) {
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());
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
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());
  struct TCase {
    std::int32_t Index;
    std::int32_t Type;
    const char* Name;
    const char* Units;
  } cases[] = {
      {FieldIndex(&TVexmeta::Version), ft_stringw, "SVG Version", ""},
      {FieldIndex(&TVexmeta::Application), ft_stringw, "Application", ""},
      {FieldIndex(&TVexmeta::Width), ft_stringw, "Width", ""},
      {FieldIndex(&TVexmeta::Height), ft_stringw, "Height", ""},
      {FieldIndex(&TVexmeta::ViewBox), ft_stringw, "ViewBox", ""},
      {FieldIndex(&TVexmeta::EmbeddedImage), ft_boolean, "Have Embedded Image", ""},
      {FieldIndex(&TVexmeta::ID), ft_stringw, "ID", ""},
      {FieldIndex(&TVexmeta::InkscapeVersion), ft_stringw, "Inkscape Version", ""},
      {FieldIndex(&TVexmeta::SodipodiVersion), ft_stringw, "Sodipodi Version", ""},
      {FieldIndex(&TVexmeta::SodipodiDocbase), ft_stringw, "Sodipodi Docbase", ""},
      {FieldIndex(&TVexmeta::SodipodiDocname), ft_stringw, "Sodipodi Docname", ""},
      {FieldIndex(&TVexmeta::MetadataTitle), ft_stringw, "Metadata Title", ""},
      {FieldIndex(&TVexmeta::MetadataDescription), ft_stringw, "Metadata Description", ""},
      {FieldIndex(&TVexmeta::MetadataDate), ft_stringw, "Metadata Date", ""},
      {FieldIndex(&TVexmeta::IntWidth), ft_numeric_32, "Calculated Width", "96|90"},
      {FieldIndex(&TVexmeta::IntHeight), ft_numeric_32, "Calculated Height", "96|90"},
  };
  for (const TCase& c : cases) {
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
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());
  for (std::int32_t index : {-1, std::int32_t{cFieldCount}, 1000, INT32_MIN}) {
    char name[8] = "keep";
    char units[8] = "keep";
    EXPECT_EQ(host.GetSupportedField(index, name, units, sizeof name), ft_nomorefields);
    EXPECT_STREQ(name, "keep");
    EXPECT_STREQ(units, "keep");
  }
}

TEST(Exports, NamesAndUnitsAreCutAtMaxlen) {
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());
  char name[16];
  char units[16];
  EXPECT_EQ(host.GetSupportedField(FieldIndex(&TVexmeta::Version), name, units, 4), ft_stringw);
  EXPECT_STREQ(name, "SVG");
  EXPECT_EQ(host.GetSupportedField(FieldIndex(&TVexmeta::IntWidth), name, units, 3), ft_numeric_32);
  EXPECT_STREQ(name, "Ca");
  EXPECT_STREQ(units, "96");
  // A buffer of one byte gets only the terminator.
  EXPECT_EQ(host.GetSupportedField(FieldIndex(&TVexmeta::IntWidth), name, units, 1), ft_numeric_32);
  EXPECT_STREQ(name, "");
}

// Each load starts afresh and each unload releases everything: under the
// sanitizers a leak or a use of a released state fails the run.
TEST(Exports, UnloadAndLoadAgainTwentyTimes) {
  TTempDir dir;
  auto file = dir.Write("cycle.svg", "<svg id=\"c\" width=\"2in\" height=\"1in\"/>");
  for (int cycle = 0; cycle < 20; ++cycle) {
    SCOPED_TRACE(cycle);
    TPluginHost host;
    ASSERT_TRUE(host.Loaded());
    EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::ID)).Text, u"c");
    EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::IntWidth)).Number, 192);
    host.SendStateInformation(CONTST_READNEWDIR, u"");
    EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::IntHeight), 1).Number, 90);
  }
}

namespace {

// The structure a host passes once after loading, naming its settings file.
ContentDefaultParamStruct HostParams(const std::filesystem::path& AIniName) {
  ContentDefaultParamStruct params{};
  params.size = sizeof params;
  params.PluginInterfaceVersionLow = 10;
  params.PluginInterfaceVersionHi = 2;
  const std::string name = AIniName.string();
  std::memcpy(params.DefaultIniName, name.c_str(),
              std::min(name.size() + 1, sizeof params.DefaultIniName));
  return params;
}

void PinTime(const std::filesystem::path& APath) {
  std::filesystem::last_write_time(
      APath, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
}

}  // namespace

// Vexmeta.ini in the folder of the host's settings file overrides the one beside
// the library key by key, and is applied as at load, the cache limit included;
// each call starts again from the file beside the library.
TEST(Exports, HostSettingsFolderOverridesTheFileBesideTheLibrary) {
  TPluginCopy copy("[Vexmeta]\nParseImageNode=0\nMaxKBytesRead=1\n");
  TTempDir user;
  user.Write("Vexmeta.ini", "[Vexmeta]\nParseImageNode=1\nMaxKBytesRead=plenty\nCacheSize_x64=1\n");
  TTempDir nobody;
  TTempDir drawings;
  // An embedded image near the start, a title past the first kilobyte.
  auto rich = drawings.Write(
      "rich.svg", "<svg id=\"r\"><image xlink:href=\"data:image/png;base64,AA==\"/>" +
                      std::string(2000, ' ') +
                      "<metadata><rdf:RDF><cc:Work><dc:title>late</dc:title></cc:Work></rdf:RDF>"
                      "</metadata></svg>");
  std::filesystem::path files[3];
  for (int i = 0; i < 3; ++i) {
    files[i] =
        drawings.Write(std::string(1, static_cast<char>('a' + i)) + ".svg", "<svg id=\"old\"/>");
    PinTime(files[i]);
  }
  TPluginHost host(copy.Library);
  ASSERT_TRUE(host.Loaded());
  EXPECT_EQ(host.Get(rich, FieldIndex(&TVexmeta::EmbeddedImage)).Result, ft_fieldempty);

  ContentDefaultParamStruct params = HostParams(user.Path() / "host.ini");
  host.SetDefaultParams(&params);
  const auto image = host.Get(rich, FieldIndex(&TVexmeta::EmbeddedImage));
  EXPECT_EQ(image.Result, ft_boolean);
  EXPECT_EQ(image.Number, 1);
  EXPECT_EQ(host.Get(rich, FieldIndex(&TVexmeta::MetadataTitle)).Result,
            ft_fieldempty);  // still cut at 1 KiB
  // Two files at a time: the third request evicts the first.
  for (const auto& file : files) EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::ID)).Text, u"old");
  const auto time = std::filesystem::last_write_time(files[0]);
  std::ofstream(files[0], std::ios::binary | std::ios::trunc) << "<svg id=\"new\"/>";
  std::filesystem::last_write_time(files[0], time);
  EXPECT_EQ(host.Get(files[0], FieldIndex(&TVexmeta::ID)).Text, u"new");

  // A host folder without the file, or no structure: the file beside the library alone.
  for (bool none : {false, true}) {
    SCOPED_TRACE(none);
    ContentDefaultParamStruct elsewhere = HostParams(nobody.Path() / "host.ini");
    host.SetDefaultParams(none ? nullptr : &elsewhere);
    EXPECT_EQ(host.Get(rich, FieldIndex(&TVexmeta::EmbeddedImage)).Result, ft_fieldempty);
    host.SetDefaultParams(&params);
    EXPECT_EQ(host.Get(rich, FieldIndex(&TVexmeta::EmbeddedImage)).Result, ft_boolean);
  }
}

#ifndef _WIN32
TEST(Exports, OnlyTheSixEntryPointsAreExported) {
  TTempDir dir;
  std::string out = (dir.Path() / "nm.txt").string();
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
  EXPECT_EQ(names,
            (std::vector<std::string>{"ContentGetDetectString", "ContentGetSupportedField",
                                      "ContentGetValue", "ContentGetValueW",
                                      "ContentSendStateInformationW", "ContentSetDefaultParams"}));
}

// A host loads and unloads the module on threads of its own: per-thread
// storage in it would be allocated on each of them and outlive the module.
TEST(Exports, TheModuleKeepsNoPerThreadStorage) {
  TTempDir dir;
  std::string out = (dir.Path() / "segments.txt").string();
  std::string command = "readelf -lW '" + testing_support::BuiltPluginPath().string() + "' > '" +
                        out + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "readelf is not available";
  std::string segments = ReadFile(out);
  ASSERT_NE(segments.find("LOAD"), std::string::npos);
  EXPECT_EQ(segments.find(" TLS "), std::string::npos) << segments;
}
#endif
