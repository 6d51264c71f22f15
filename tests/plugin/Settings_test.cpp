// The settings file: value syntax, clamps, section and key matching.
#include "plugin/Settings.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

using testing_support::TempDir;
using testing_support::U16;

TEST(SettingsSyntax, AcceptsOnlyWholeIntegers) {
  struct Case {
    const char16_t* Text;
    bool Ok;
    std::int32_t Value;
  } cases[] = {
      {u"12", true, 12},
      {u"  12", true, 12},
      {u"+7", true, 7},
      {u"-5", true, -5},
      {u"$10", true, 16},
      {u"x1F", true, 31},
      {u"X1f", true, 31},
      {u"0x10", true, 16},
      {u"0X10", true, 16},
      {u"-$10", true, -16},
      {u"2147483647", true, 2147483647},
      {u"-2147483648", true, INT32_MIN},
      {u"2147483648", false, 0},
      {u"0x80000000", false, 0},
      {u"", false, 0},
      {u"12abc", false, 0},
      {u"12 ", false, 0},
      {u"true", false, 0},
      {u"1.5", false, 0},
      {u"0x", false, 0},
      {u"$", false, 0},
      {u"--1", false, 0},
      {u"\u0661", false, 0},  // a non-ASCII digit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.Text));
    std::int32_t value = 0;
    EXPECT_EQ(ParseSettingValue(c.Text, value), c.Ok);
    if (c.Ok) {
      EXPECT_EQ(value, c.Value);
    }
  }
}

TEST(SettingsPath, ReplacesTheExtension) {
  EXPECT_EQ(SettingsPathFor(u"/opt/plugins/Vexmeta.wdx64"), u"/opt/plugins/Vexmeta.ini");
  EXPECT_EQ(SettingsPathFor(u"C:\\wdx\\Vexmeta.wdx64"), u"C:\\wdx\\Vexmeta.ini");
  EXPECT_EQ(SettingsPathFor(u"/a.b/Vexmeta"), u"/a.b/Vexmeta.ini");
}

TEST(Settings, DefaultsWithoutAFile) {
  TSettings settings;
  ReadSettings(u"/nonexistent/Vexmeta.ini", settings);
  EXPECT_EQ(settings.CacheSize_x64, 1000);
  EXPECT_TRUE(settings.ParseImageNode);
  EXPECT_EQ(settings.MaxKBytesRead, 0);
}

TEST(Settings, ValuesAndClamps) {
  struct Case {
    const char* Cache;
    const char* Image;
    const char* Kbytes;
    std::int32_t WantCache;
    bool WantImage;
    std::int64_t WantBytes;
  } cases[] = {
      {"0", "0", "64", 1, false, 65536},        {"-5", "2", "-1", 1, true, 0},
      {"100000", "false", "0", 32767, true, 0}, {"0x10", "1", "1", 16, true, 1024},
      {"many", "yes", "lots", 1000, true, 0},   {"32767", "$0", "$10", 32767, false, 16384},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Cache);
    std::string ini = std::string("[Other]\nCacheSize_x64=5\n[vexmeta]\r\n  cachesize_x64 = ") +
                      c.Cache + "\r\nParseImageNode=" + c.Image + "\nMAXKBYTESREAD=" + c.Kbytes +
                      "\n";
    auto path = dir.Write("Vexmeta.ini", ini);
    TSettings settings;
    ReadSettings(U16(path), settings);
    EXPECT_EQ(settings.CacheSize_x64, c.WantCache);
    EXPECT_EQ(settings.ParseImageNode, c.WantImage);
    EXPECT_EQ(settings.MaxKBytesRead, c.WantBytes);
  }
}

TEST(Settings, KeysOfOtherSectionsAreIgnored) {
  TempDir dir;
  auto path = dir.Write("Vexmeta.ini", "[Elsewhere]\nCacheSize_x64=7\nParseImageNode=0\n");
  TSettings settings;
  ReadSettings(U16(path), settings);
  EXPECT_EQ(settings.CacheSize_x64, 1000);
  EXPECT_TRUE(settings.ParseImageNode);
}
