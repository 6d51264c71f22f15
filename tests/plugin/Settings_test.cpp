// The settings files: value syntax, clamps, section and key matching, the
// per-user file after the one beside the library, and the host's name of its
// settings file read within the size it gives.
#include "plugin/Settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/SvgPlugin.h"
#include "plugin/contplug.h"
#include "support/TestSupport.h"

using testing_support::TTempDir;
using testing_support::U16;

TEST(SettingsSyntax, AcceptsOnlyWholeIntegers) {
  struct TCase {
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
  for (const TCase& c : cases) {
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
  EXPECT_EQ(settings.ReadLimitBytes, 0);
}

TEST(Settings, ValuesAndClamps) {
  struct TCase {
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
  TTempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Cache);
    std::string ini = std::string("[Other]\nCacheSize_x64=5\n[vexmeta]\r\n  cachesize_x64 = ") +
                      c.Cache + "\r\nParseImageNode=" + c.Image + "\nMAXKBYTESREAD=" + c.Kbytes +
                      "\n";
    auto path = dir.Write("Vexmeta.ini", ini);
    TSettings settings;
    ReadSettings(U16(path), settings);
    EXPECT_EQ(settings.CacheSize_x64, c.WantCache);
    EXPECT_EQ(settings.ParseImageNode, c.WantImage);
    EXPECT_EQ(settings.ReadLimitBytes, c.WantBytes);
  }
}

TEST(Settings, KeysOfOtherSectionsAreIgnored) {
  TTempDir dir;
  auto path = dir.Write("Vexmeta.ini", "[Elsewhere]\nCacheSize_x64=7\nParseImageNode=0\n");
  TSettings settings;
  ReadSettings(U16(path), settings);
  EXPECT_EQ(settings.CacheSize_x64, 1000);
  EXPECT_TRUE(settings.ParseImageNode);
}

// A later file changes only the keys it holds with valid values.
TEST(Settings, ALaterFileOverridesKeyByKey) {
  TTempDir dir;
  auto first = dir.Write("lib/Vexmeta.ini",
                         "[Vexmeta]\nCacheSize_x64=7\nParseImageNode=0\nMaxKBytesRead=2\n");
  struct TCase {
    const char* Later;
    std::int32_t WantCache;
    bool WantImage;
    std::int64_t WantBytes;
  } cases[] = {
      {nullptr, 7, false, 2048},  // no such file
      {"[Vexmeta]\nParseImageNode=1\n", 7, true, 2048},
      {"[Vexmeta]\nCacheSize_x64=lots\nMaxKBytesRead=many\n", 7, false, 2048},
      {"[Vexmeta]\nMaxKBytesRead=0\nCacheSize_x64=0\n", 1, false, 0},
      {"[Other]\nParseImageNode=1\n", 7, false, 2048},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Later != nullptr ? c.Later : "(none)");
    TSettings settings;
    ReadSettings(U16(first), settings);
    ReadSettings(c.Later != nullptr ? U16(dir.Write("user/Vexmeta.ini", c.Later))
                                    : U16(dir.Path() / "none/Vexmeta.ini"),
                 settings);
    EXPECT_EQ(settings.CacheSize_x64, c.WantCache);
    EXPECT_EQ(settings.ParseImageNode, c.WantImage);
    EXPECT_EQ(settings.ReadLimitBytes, c.WantBytes);
  }
}

TEST(SettingsPath, PerUserFileIsInTheFolderOfTheHostsFile) {
  struct TCase {
    const char16_t* Library;
    const char16_t* HostIni;
    const char16_t* Want;
  } cases[] = {
      {u"/usr/lib/wdx/vexmeta/Vexmeta.wdx64", u"/home/ann/.config/fm/wdx.ini",
       u"/home/ann/.config/fm/Vexmeta.ini"},
      {u"/opt/Renamed.wdx64", u"/home/ann/wdx.ini", u"/home/ann/Renamed.ini"},
      {u"/opt/Vexmeta.wdx64", u"wdx.ini", u"Vexmeta.ini"},
      {u"/opt/Vexmeta.wdx64", u"", u""},
#ifdef _WIN32
      {u"C:\\wdx\\Vexmeta.wdx64", u"C:\\Users\\ann\\wincmd.ini", u"C:\\Users\\ann\\Vexmeta.ini"},
#else
      {u"/opt/Vexmeta.wdx64", u"/home/a\\b/wdx.ini", u"/home/a\\b/Vexmeta.ini"},
#endif
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.HostIni));
    EXPECT_EQ(HostSettingsPathFor(c.Library, c.HostIni), c.Want);
  }
}

// The name is read only within the size the host gives, which may be shorter
// or longer than our structure; a name without its zero byte there is not used.
TEST(HostParams, NameIsReadWithinTheGivenSize) {
  struct TCase {
    std::int32_t Size;       // what the structure says
    std::size_t Allocated;   // what the host really made
    std::size_t NameLength;  // 'a's, then a zero byte when it fits in Allocated
    std::size_t Want;        // the length of the name taken
  } cases[] = {
      {272, 272, 20, 20},        // the usual
      {272, 272, 259, 259},      // the longest that fits
      {272, 272, 260, 0},        // no zero byte within the size
      {40, 40, 30, 0},           // a short structure: the name does not end within it
      {40, 40, 27, 27},          // ... and one that does
      {12, 12, 0, 0},            // no room for a name at all
      {4, 12, 0, 0},             // a size smaller than the fixed fields
      {-1, 272, 20, 0},          // a negative size
      {4108, 4108, 1000, 1000},  // a host whose paths are longer than ours
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.Size << " name " << c.NameLength);
    // Exactly the bytes the host made, so a read past them is caught under the
    // sanitizers.
    std::vector<char> bytes(c.Allocated, 'a');
    std::memcpy(bytes.data(), &c.Size, sizeof c.Size);
    if (12 + c.NameLength < c.Allocated) bytes[12 + c.NameLength] = '\0';
    const auto* params = reinterpret_cast<const ContentDefaultParamStruct*>(bytes.data());
    EXPECT_EQ(HostIniName(params), std::u16string(c.Want, u'a'));
  }
  EXPECT_EQ(HostIniName(nullptr), u"");
}
