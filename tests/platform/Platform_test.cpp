// The platform layer's behaviour that both implementations share: integer
// scaling, case-insensitive text, code pages, UTF-8, the settings reader, file
// queries, the module path, child processes, the memory high-water mark, threads
// and the lock. Runs natively and under wine.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/HostPlatform.h"
#include "support/TestSupport.h"

using testing_support::TTempDir;
using testing_support::U16;

namespace {

std::string Hex(std::u16string_view AText) {
  std::string out;
  char unit[8];
  for (char16_t c : AText) {
    std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
    out += unit;
  }
  return out;
}

}  // namespace

// The one rule for where a path's folder part ends.
TEST(PlatformPaths, FolderAndFileNameParts) {
  struct TCase {
    std::u16string_view Path, Folder;
    bool OnWindowsOnly;  // the separator is one only on Windows
  } cases[] = {
      {u"/usr/lib/vexmeta/Vexmeta.wdx64", u"/usr/lib/vexmeta/", false},
      {u"drawing.svg", u"", false},
      {u"/drawing.svg", u"/", false},
      {u"folder/", u"folder/", false},
      {u"C:\\Program Files\\Vexmeta.wdx64", u"C:\\Program Files\\", true},
      {u"C:drawing.svg", u"C:", true},
      {u"a\\b/c", u"a\\b/", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.Path));
#ifdef _WIN32
    const std::u16string_view folder = c.Folder;
#else
    const std::u16string_view folder = c.OnWindowsOnly ? u"" : c.Folder;
#endif
    EXPECT_EQ(platform::FolderPart(c.Path), folder);
    EXPECT_EQ(platform::FileNamePart(c.Path), c.Path.substr(folder.size()));
  }
}

TEST(PlatformText, ComparesIgnoringCase) {
  struct TCase {
    std::u16string_view A, B;
    bool Equal;
  } cases[] = {
      {u"Vexmeta", u"VEXMETA", true},
      {u"C:\\Pictures\\A.svg", u"c:\\pictures\\a.SVG", true},
      {u"\u00C4rger", u"\u00E4RGER", true},      // Ä and ä
      {u"\u03A3\u03B1", u"\u03C3\u0391", true},  // Greek
      {u"\u0416", u"\u0436", true},              // Cyrillic
      {u"", u"", true},
      {u"", u"a", false},
      {u"abc", u"abd", false},
      {u"abc", u"abcd", false},
      {u"svg", u"svg ", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Hex(c.A) + "| " + Hex(c.B));
    EXPECT_EQ(platform::TextEqualsIgnoreCase(c.A, c.B), c.Equal);
    EXPECT_EQ(platform::TextEqualsIgnoreCase(c.B, c.A), c.Equal);
  }
}

TEST(PlatformText, LowerCasesUnitByUnitKeepingTheLength) {
  struct TCase {
    std::u16string Text, Expected;
  } cases[] = {
      {u"C:\\Pictures\\A.SVG", u"c:\\pictures\\a.svg"},
      {u"\u00C4\u00D6\u00DC\u00DF", u"\u00E4\u00F6\u00FC\u00DF"},
      {u"\u0391\u0392\u0416", u"\u03B1\u03B2\u0436"},
      {u"already lower 123", u"already lower 123"},
      {u"", u""},
  };
  for (TCase& c : cases) {
    SCOPED_TRACE(Hex(c.Text));
    std::u16string text = c.Text;
    platform::LowerCaseInPlace(text);
    EXPECT_EQ(Hex(text), Hex(c.Expected));
  }
  // A character outside the Basic Multilingual Plane stays two units.
  std::u16string pair = u"A\U00010400";
  platform::LowerCaseInPlace(pair);
  ASSERT_EQ(pair.size(), 3u);
  EXPECT_EQ(pair[0], u'a');
  EXPECT_EQ(pair[1], u'\xD801');
}

TEST(PlatformCodePage, ConvertsSingleBytes) {
  struct TCase {
    std::int32_t CodePage;
    std::uint8_t Byte;
    char16_t Unit;
  } cases[] = {
      {1252, 0x41, u'A'},       {1252, 0x80, u'\u20AC'},
      {1252, 0xE9, u'\u00E9'},  {1252, 0x9F, u'\u0178'},
      {437, 0x80, u'\u00C7'},   {437, 0xE1, u'\u00DF'},
      {437, 0xB0, u'\u2591'},   {437, 0x41, u'A'},
      {1251, 0xC0, u'\u0410'},  {28591, 0xA4, u'\u00A4'},
      {28605, 0xA4, u'\u20AC'}, {12345, 0xC0, u'\uFFFD'},  // no such code page
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.CodePage) + " byte " + std::to_string(c.Byte));
    EXPECT_EQ(static_cast<unsigned>(platform::CodePageByteToUtf16(c.CodePage, c.Byte)),
              static_cast<unsigned>(c.Unit));
  }
}

TEST(PlatformCodePage, ConvertsUnitsToOneByteOrTheDefault) {
  struct TCase {
    std::int32_t CodePage;
    char16_t Unit;
    std::uint8_t Byte;
    bool UsedDefault;
  } cases[] = {
      {1252, u'A', 0x41, false},     {1252, u'\u20AC', 0x80, false}, {1252, u'\u00E9', 0xE9, false},
      {1252, u'\u4E00', '?', true},  // a CJK ideograph is not in the code page
      {437, u'\u00C7', 0x80, false}, {437, u'\u20AC', '?', true},    {1251, u'\u0410', 0xC0, false},
      {65001, u'A', 0x41, false},    {65001, u'\u00E9', '?', true},  // two bytes in UTF-8: not one
                                                                     // byte
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.CodePage) + " unit " + std::to_string(c.Unit));
    bool used = !c.UsedDefault;
    EXPECT_EQ(platform::Utf16ToCodePageByte(c.CodePage, c.Unit, '?', &used), c.Byte);
    EXPECT_EQ(used, c.UsedDefault);
  }
  // The caller's default character is the one used, and the flag is optional.
  EXPECT_EQ(platform::Utf16ToCodePageByte(1252, u'\u4E00', '#', nullptr), '#');
}

TEST(PlatformUtf8, ReplacesInvalidSequencesAndKeepsTheRest) {
  struct TCase {
    std::string_view Utf8;
    std::u16string_view Utf16;
  } cases[] = {
      {"plain", u"plain"},
      {"", u""},
      {"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},  // a surrogate pair
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"a\x80"
       "b",
       u"a\uFFFDb"},                  // a stray continuation byte
      {"abc\xE2\x82", u"abc\uFFFD"},  // cut short at the end
      {"\xC3"
       "A",
       u"\uFFFDA"},  // a lead byte without its continuation
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Utf8));
    EXPECT_EQ(Hex(platform::Utf8ToUtf16(c.Utf8)), Hex(c.Utf16));
  }
}

TEST(PlatformUtf8, EncodesUtf16AndReplacesLoneSurrogates) {
  EXPECT_EQ(platform::Utf16ToUtf8(u"caf\u00E9 \U0001F600"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(platform::Utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(platform::Utf16ToUtf8(u"a\xDC00"), "a\xEF\xBF\xBD");
  EXPECT_EQ(platform::Utf16ToUtf8(u""), "");
}

// Every byte string survives the trip through UTF-16 and back, and well-formed
// UTF-8 reads as it does in Utf8ToUtf16. Windows names are UTF-16 already.
#ifndef _WIN32
TEST(PlatformFileNames, BytesThatAreNoUtf8SurviveAsLoneSurrogates) {
  struct TCase {
    std::string_view Bytes;
    std::u16string_view Name;
  } cases[] = {
      {"/tmp/a b.svg", u"/tmp/a b.svg"},
      {"caf\xC3\xA9 \xE5\x9B\xB3", u"caf\u00E9 \u56F3"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"caf\xE9.svg", u"caf\xDCE9.svg"},  // Latin-1
      {"\xC3"
       "A\xFF",
       u"\xDCC3"
       u"A\xDCFF"},                   // a lead byte alone; a byte of no sequence
      {"\xE5\x9B", u"\xDCE5\xDC9B"},  // cut short: each byte on its own
      {"\xC0\xAF \xED\xA0\x80", u"\xDCC0\xDCAF \xDCED\xDCA0\xDC80"},  // overlong, surrogate
      {"\xE5\xE5\x9B\xB3", u"\xDCE5\u56F3"},  // the next byte starts a sequence again
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Bytes));
    const std::u16string name = platform::FileNameToUtf16(c.Bytes);
    EXPECT_EQ(Hex(name), Hex(c.Name));
    EXPECT_EQ(platform::FileNameFromUtf16(name), c.Bytes);
  }
  // Lone surrogates that no byte became are replaced, as in Utf16ToUtf8.
  EXPECT_EQ(platform::FileNameFromUtf16(u"a\xD800z\xDC7F"), "a\xEF\xBF\xBDz\xEF\xBF\xBD");
}
#endif

TEST(PlatformAnsi, KeepsAscii) {
  EXPECT_EQ(platform::AnsiToUtf16("C:\\Pictures\\a b.svg"), u"C:\\Pictures\\a b.svg");
  EXPECT_EQ(platform::AnsiToUtf16(""), u"");
}

class TPlatformIni : public ::testing::Test {
 protected:
  std::u16string Write(std::string_view AText) { return U16(FDir.Write("settings.ini", AText)); }
  TTempDir FDir;
};

TEST_F(TPlatformIni, FindsSectionAndKeyWithoutRegardToCase) {
  const std::string longValue(3000, 'x');
  std::u16string ini = Write(
      "[Other]\n"
      "CacheSize_x64=7\n"
      "[vexMETA]\n"
      "  cachesize_X64  =   42   \n"
      "ParseImageNode=0\r\n"
      "Empty=\n"
      "Long=" +
      longValue +
      "\n"
      "[Later]\n"
      "Only=here\n");
  struct TCase {
    std::u16string_view Section, Key;
    bool Found;
    std::u16string Value;
  } cases[] = {
      {u"Vexmeta", u"CacheSize_x64", true, u"42"},
      {u"VEXMETA", u"CACHESIZE_X64", true, u"42"},
      {u"Other", u"cachesize_x64", true, u"7"},
      {u"Vexmeta", u"ParseImageNode", true, u"0"},  // CR LF line end
      {u"Vexmeta", u"Empty", true, u""},
      {u"Vexmeta", u"Long", true, std::u16string(2047, u'x')},
      {u"Vexmeta", u"Only", false, u""},  // in another section
      {u"Vexmeta", u"MaxKBytesRead", false, u""},
      {u"Missing", u"CacheSize_x64", false, u""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.Section) + "/" + platform::Utf16ToUtf8(c.Key));
    std::u16string value = u"unchanged";
    EXPECT_EQ(platform::ReadIniValue(ini, c.Section, c.Key, value), c.Found);
    EXPECT_EQ(value, c.Found ? c.Value : u"unchanged");
  }
}

// Several keys read at once answer as each read alone, the first line of a key
// winning, also for a key asked twice.
TEST_F(TPlatformIni, ReadsSeveralKeysAsEachAlone) {
  std::u16string ini = Write(
      "[Vexmeta]\n"
      "ParseImageNode=0\n"
      "cachesize_x64 = \"12\"\n"
      "CacheSize_x64=13\n"
      "[Vexmeta]\n"
      "MaxKBytesRead=5\n");
  const auto values = platform::ReadIniValues(
      ini, u"VEXMETA", {u"CacheSize_x64", u"MaxKBytesRead", u"ParseImageNode", u"CacheSize_x64"});
  ASSERT_EQ(values.size(), 4u);
  EXPECT_EQ(values[0], u"12");
  EXPECT_EQ(values[1], std::nullopt);  // only the first section of that name counts
  EXPECT_EQ(values[2], u"0");
  EXPECT_EQ(values[3], u"12");
  EXPECT_EQ(platform::ReadIniValues(U16(FDir.Path() / "none.ini"), u"Vexmeta", {u"Key"}),
            std::vector<std::optional<std::u16string>>{std::nullopt});
}

TEST_F(TPlatformIni, ReadsOnlyAnExistingRegularFile) {
  std::u16string value;
  EXPECT_FALSE(platform::ReadIniValue(U16(FDir.Path() / "none.ini"), u"Vexmeta", u"Key", value));
  std::filesystem::create_directory(FDir.Path() / "folder.ini");
  EXPECT_FALSE(platform::ReadIniValue(U16(FDir.Path() / "folder.ini"), u"Vexmeta", u"Key", value));
  EXPECT_FALSE(platform::ReadIniValue(u"", u"Vexmeta", u"Key", value));
}

TEST(PlatformFiles, TellsFilesFromFoldersAndMissingNames) {
  TTempDir dir;
  std::filesystem::path file = dir.Write("a.svg", "<svg/>");
  std::filesystem::create_directory(dir.Path() / "folder.svg");
  struct TCase {
    std::filesystem::path Path;
    bool Exists;
  } cases[] = {
      {file, true},
      {dir.Path() / "folder.svg", false},
      {dir.Path(), false},
      {dir.Path() / "missing.svg", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path.string());
    EXPECT_EQ(platform::IsExistingFile(U16(c.Path)), c.Exists);
    platform::TFileEntryInfo info;
    EXPECT_EQ(platform::FindFileEntry(U16(c.Path), info), c.Exists);
    EXPECT_EQ(platform::TReadOnlyFile::Open(U16(c.Path)) != nullptr, c.Exists);
  }
  EXPECT_FALSE(platform::IsExistingFile(u""));
  // A name with a NUL in it is not cut short to an existing file's name.
  std::u16string withNul = U16(file) + u'\0' + u"x";
  EXPECT_FALSE(platform::IsExistingFile(withNul));
  EXPECT_EQ(platform::TReadOnlyFile::Open(withNul), nullptr);
}

TEST(PlatformFiles, DirectorySearchGivesSizeAndLocalTime) {
  TTempDir dir;
  std::filesystem::path file = dir.Write("sized.svg", std::string(70000, 'a'));
  // 2020-02-29 12:34:56.789 UTC, a leap day with milliseconds. The Windows C
  // library sets whole seconds only.
  using namespace std::chrono;
#ifdef _WIN32
  constexpr int cMilliseconds = 0;
#else
  constexpr int cMilliseconds = 789;
#endif
  const sys_time<milliseconds> stamp = sys_days(year(2020) / February / 29) + hours(12) +
                                       minutes(34) + seconds(56) + milliseconds(cMilliseconds);
  std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::from_sys(stamp));

  // The expected local date-time, from the C library's view of the time zone.
#ifdef _WIN32
  // That library would read TZ in a form of its own; make it ask the system, as
  // the platform layer does.
  _putenv_s("TZ", "");
  _tzset();
#endif
  const std::time_t epochSeconds =
      system_clock::to_time_t(time_point_cast<system_clock::duration>(stamp));
  const std::tm local = *std::localtime(&epochSeconds);
  const std::tm utc = *std::gmtime(&epochSeconds);
  const bool zoneIsUtc =
      local.tm_mday == utc.tm_mday && local.tm_hour == utc.tm_hour && local.tm_min == utc.tm_min;
  const sys_days localDay =
      sys_days(year(local.tm_year + 1900) / (local.tm_mon + 1) / local.tm_mday);
  const auto days = (localDay - sys_days(year(1899) / December / 30)).count();
  const double expected =
      static_cast<double>(days) +
      static_cast<double>(((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 +
                          cMilliseconds) /
          86400000.0;

  platform::TFileEntryInfo info;
  ASSERT_TRUE(platform::FindFileEntry(U16(file), info));
  EXPECT_EQ(info.Size, 70000);
  EXPECT_DOUBLE_EQ(info.LastWriteTime, expected);
  if (zoneIsUtc) {
    EXPECT_DOUBLE_EQ(info.LastWriteTime, 43890.0 + (45296000.0 + cMilliseconds) / 86400000.0);
  }

  // A changed time gives a different value; the same time the same value.
  platform::TFileEntryInfo again;
  ASSERT_TRUE(platform::FindFileEntry(U16(file), again));
  EXPECT_EQ(again.LastWriteTime, info.LastWriteTime);
  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + seconds(2));
  ASSERT_TRUE(platform::FindFileEntry(U16(file), again));
  EXPECT_NE(again.LastWriteTime, info.LastWriteTime);
}

TEST(PlatformFiles, ReadsAndSizesAFile) {
  TTempDir dir;
  std::u16string path = U16(dir.Write("data.bin", "0123456789"));
  auto file = platform::TReadOnlyFile::Open(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size(), 10);
  char buffer[16] = {};
  EXPECT_EQ(file->ReadAt(0, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file->ReadAt(8, buffer, sizeof buffer), 2);
  EXPECT_EQ(std::string(buffer, 2), "89");
  EXPECT_EQ(file->ReadAt(10, buffer, sizeof buffer), 0);
  EXPECT_EQ(file->ReadAt(-1, buffer, sizeof buffer), -1);
}

// The file calls a test installs serve the files opened after it, each file the
// calls it was opened with, until the system's are put back.
TEST(PlatformFiles, InstalledFileCallsServeTheFilesOpenedUnderThem) {
  static int opens = 0;
  static int closes = 0;
  static constexpr platform::TFileCalls cCounting{
      [](std::u16string_view APath, std::intptr_t& AHandle, std::int64_t& ASize) {
        ++opens;
        return platform::SystemFileCalls().Open(APath, AHandle, ASize);
      },
      [](std::intptr_t, std::int64_t, void*, std::size_t) -> std::int64_t { return -1; },
      [](std::intptr_t AHandle) {
        ++closes;
        platform::SystemFileCalls().Close(AHandle);
      },
  };
  TTempDir dir;
  std::u16string path = U16(dir.Write("data.bin", "0123456789"));
  auto before = platform::TReadOnlyFile::Open(path);
  const platform::TFileCalls* system = platform::SetFileCalls(&cCounting);
  EXPECT_EQ(system, &platform::SystemFileCalls());
  auto under = platform::TReadOnlyFile::Open(path);
  EXPECT_EQ(platform::SetFileCalls(system), &cCounting);
  ASSERT_NE(before, nullptr);
  ASSERT_NE(under, nullptr);
  char buffer[4];
  EXPECT_EQ(before->ReadAt(0, buffer, sizeof buffer), 4);
  EXPECT_EQ(under->ReadAt(0, buffer, sizeof buffer), -1);
  under.reset();
  before.reset();
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(closes, 1);
}

TEST(PlatformModule, NamesAnExistingFile) {
  std::u16string self = platform::ModulePath();
  ASSERT_FALSE(self.empty());
  EXPECT_TRUE(platform::IsExistingFile(self));
  EXPECT_TRUE(std::filesystem::path(platform::Utf16ToUtf8(self)).is_absolute());
}

TEST(PlatformLibrary, ReportsWhyALibraryDoesNotLoad) {
  TTempDir dir;
  std::string error;
  EXPECT_EQ(platform::TDynamicLibrary::Open(U16(dir.Path() / "missing.wdx64"), &error), nullptr);
  EXPECT_FALSE(error.empty());
  std::u16string notALibrary = U16(dir.Write("fake.wdx64", "not a library"));
  error.clear();
  EXPECT_EQ(platform::TDynamicLibrary::Open(notALibrary, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

// The probe program beside the tests (ProcessProbe.cpp) as the child.
class TPlatformProcess : public ::testing::Test {
 protected:
  static std::u16string Probe() { return U16(std::filesystem::path(VX_PROCESS_PROBE_PATH)); }
  static int Run(const std::vector<std::u16string>& AArguments, std::string& AOutput) {
    std::string error;
    const int code = platform::RunProcess(Probe(), AArguments, AOutput, &error);
    EXPECT_NE(code, -1) << error;
    return code;
  }
};

TEST_F(TPlatformProcess, PassesArgumentsUnchanged) {
  // Blanks, quotes and backslashes are what a Windows command line must escape.
  const std::vector<std::u16string> arguments = {
      u"plain",
      u"two words",
      u"",
      u"a \"quoted\" word",
      u"C:\\Program Files\\",
      u"back\\\\\"slashes",
      u"\\\\server\\share",
      u"tab\there",
      u"caf\u00E9 \u20AC \U0001F600",
  };
  std::vector<std::u16string> withMode = {u"args"};
  withMode.insert(withMode.end(), arguments.begin(), arguments.end());
  std::string output;
  ASSERT_EQ(Run(withMode, output), 0);
  std::string expected;
  for (const std::u16string& argument : arguments) {
    expected += platform::Utf16ToUtf8(argument);
    expected.push_back('\0');
  }
  EXPECT_EQ(output, expected);
}

TEST_F(TPlatformProcess, ReturnsTheExitCodeAndAllTheOutput) {
  std::string output = "left over";
  EXPECT_EQ(Run({u"exit", u"0"}, output), 0);
  EXPECT_EQ(output, "");
  EXPECT_EQ(Run({u"exit", u"3"}, output), 3);
  EXPECT_EQ(Run({u"exit", u"125"}, output), 125);
  // More than a pipe holds, so the child must be read while it runs.
  ASSERT_EQ(Run({u"bytes", u"3000000"}, output), 0);
  EXPECT_EQ(output.size(), 3000000u);
  EXPECT_EQ(output.find_first_not_of('x'), std::string::npos);
}

TEST_F(TPlatformProcess, ReportsAProgramThatCannotRun) {
  TTempDir dir;
  const std::u16string notAProgram = U16(dir.Write("not-a-program.exe", "plain text"));
  const std::u16string cases[] = {U16(dir.Path() / "missing.exe"), notAProgram, u"",
                                  Probe() + u'\0' + u"x"};
  for (const std::u16string& program : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(program));
    std::string output;
    std::string error;
    EXPECT_EQ(platform::RunProcess(program, {u"exit", u"0"}, output, &error), -1);
    EXPECT_FALSE(error.empty());
  }
}

TEST_F(TPlatformProcess, AProgramKnowsItsOwnPath) {
  std::string output;
  ASSERT_EQ(Run({u"self"}, output), 0);
  ASSERT_FALSE(output.empty());
  const std::u16string self = platform::Utf8ToUtf16(output);
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(self),
                                          std::filesystem::path(VX_PROCESS_PROBE_PATH)))
      << output;
}

TEST_F(TPlatformProcess, PeakResidentMemoryCountsTouchedMemory) {
  std::string output;
  ASSERT_EQ(Run({u"touch", u"64"}, output), 0);
  long long before = -1;
  long long after = -1;
  ASSERT_EQ(std::sscanf(output.c_str(), "%lld %lld", &before, &after), 2) << output;
  EXPECT_GT(before, 0);
  EXPECT_GE(after - before, 48ll << 20) << output;
  EXPECT_GT(platform::PeakResidentBytes(), 0);
}

TEST(PlatformThreads, RunsWorkOnASmallStack) {
  std::thread::id worker;
  ASSERT_TRUE(
      platform::RunOnThreadWithStack(64 * 1024, [&] { worker = std::this_thread::get_id(); }));
  EXPECT_NE(worker, std::thread::id());
  EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(PlatformLock, SerialisesThreads) {
  platform::TLock lock;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        lock.Enter();
        counter = counter + 1;
        lock.Leave();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
}

TEST(PlatformLock, TryEnterNeverWaitsForAnotherThread) {
  platform::TLock lock;
  ASSERT_TRUE(lock.TryEnter());
  bool taken = true;
  std::thread other([&] { taken = lock.TryEnter(); });
  other.join();
  EXPECT_FALSE(taken);
  lock.Leave();
  std::thread again([&] {
    taken = lock.TryEnter();
    if (taken) lock.Leave();
  });
  again.join();
  EXPECT_TRUE(taken);
}

TEST(PlatformDisplayWidth, CountsTerminalCells) {
  struct TCase {
    std::u16string_view Text;
    std::size_t Width;
  } cases[] = {
      {u"", 0},          {u"Harbour", 7}, {u"中文标题", 8},  // ideographs
      {u"한글", 4},                                          // Hangul syllables
      {u"あアｱ", 5},      // hiragana, katakana, half-width katakana
      {u"Ａ、", 4},       // full-width letter and punctuation
      {u"café café", 9},  // precomposed, and a combining accent
      {u"😀!", 3},         // an emoji beyond the first plane
      {u"a‍b️", 2},   // a joiner and a variation selector
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Hex(c.Text));
    EXPECT_EQ(platform::DisplayWidth(c.Text), c.Width);
  }
}
