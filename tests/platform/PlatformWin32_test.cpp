// Behaviour of the platform layer that exists on Windows only: file names that
// ignore letter case, the long-path forms of a requested path, and 8-bit names
// in the system's ANSI code page.
#include <gtest/gtest.h>

#ifdef _WIN32

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/TestSupport.h"

using testing_support::TTempDir;
using testing_support::U16;

namespace {

// The Windows form of a folder: backslashes, as a file manager passes paths.
std::u16string WindowsPath(const std::filesystem::path& APath) {
  std::u16string text = U16(APath.lexically_normal());
  for (char16_t& c : text)
    if (c == u'/') c = u'\\';
  return text;
}

std::filesystem::path Native(const std::u16string& APath) {
  return std::filesystem::path(std::wstring(APath.begin(), APath.end()));
}

}  // namespace

TEST(PlatformWin32Names, IgnoreLetterCase) {
  EXPECT_FALSE(platform::FileNamesAreCaseSensitive());
  TTempDir dir;
  dir.Write("Drawing.SVG", "<svg/>");
  std::u16string folder = WindowsPath(dir.Path());
  for (const char16_t* name : {u"\\Drawing.SVG", u"\\drawing.svg", u"\\DRAWING.Svg"}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(name));
    std::u16string path = folder + name;
    EXPECT_TRUE(platform::IsExistingFile(path));
    platform::TFileEntryInfo info;
    ASSERT_TRUE(platform::FindFileEntry(path, info));
    EXPECT_EQ(info.Size, 6);
    EXPECT_NE(platform::TReadOnlyFile::Open(path), nullptr);
  }
}

TEST(PlatformWin32Names, WildcardsMatchNoOtherFile) {
  TTempDir dir;
  dir.Write("a.svg", "<svg/>");
  std::u16string folder = WindowsPath(dir.Path());
  platform::TFileEntryInfo info;
  EXPECT_FALSE(platform::FindFileEntry(folder + u"\\*.svg", info));
  EXPECT_FALSE(platform::FindFileEntry(folder + u"\\?.svg", info));
  EXPECT_FALSE(platform::IsExistingFile(folder + u"\\*.svg"));
}

TEST(PlatformWin32Names, DevicesAreNotFiles) {
  for (const char16_t* name : {u"NUL", u"CON", u"\\\\.\\NUL", u"\\\\.\\C:"}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(name));
    EXPECT_EQ(platform::TReadOnlyFile::Open(name), nullptr);
    std::u16string value;
    EXPECT_FALSE(platform::ReadIniValue(name, u"Vexmeta", u"CacheSize_x64", value));
  }
}

TEST(PlatformWin32LongPath, PrefixesPathsOf256UnitsOrMore) {
  const std::u16string local255 = u"C:\\" + std::u16string(252, u'a');
  const std::u16string local256 = u"C:\\" + std::u16string(253, u'a');
  const std::u16string name = std::u16string(250, u'e');
  const std::u16string unc256 = u"\\\\server\\share\\" + std::u16string(241, u'b');
  const std::u16string unc255 = u"\\\\server\\share\\" + std::u16string(240, u'b');
  const std::u16string prefixed = u"\\\\?\\C:\\" + std::u16string(300, u'c');
  const std::u16string prefixedUnc = u"\\\\?\\UNC\\server\\share\\" + std::u16string(300, u'd');
  ASSERT_EQ(local255.size(), 255u);
  ASSERT_EQ(local256.size(), 256u);
  ASSERT_EQ(unc256.size(), 256u);
  struct TCase {
    const char* Label;
    std::u16string Path, Expected;
  } cases[] = {
      {"local, 255 units", local255, local255},
      {"local, 256 units", local256, u"\\\\?\\" + local256},
      {"network, 255 units", unc255, unc255},
      {"network, 256 units", unc256, u"\\\\?\\UNC\\" + unc256.substr(2)},
      {"already prefixed", prefixed, prefixed},
      {"already prefixed network", prefixedUnc, prefixedUnc},
      {"empty", u"", u""},
      // A prefixed path is taken as it stands, so it is normalised first.
      {"local, written with /", u"C:/" + local256.substr(3), u"\\\\?\\" + local256},
      {"network, written with /", u"//server/share/" + unc256.substr(15),
       u"\\\\?\\UNC\\" + unc256.substr(2)},
      {"mixed separators", u"C:\\x/y\\" + name, u"\\\\?\\C:\\x\\y\\" + name},
      {". and ..", u"C:\\x\\.\\y\\..\\z\\" + name, u"\\\\?\\C:\\x\\z\\" + name},
      {".. above the root", u"C:/../../x/" + name, u"\\\\?\\C:\\x\\" + name},
      {"doubled separators", u"C:\\x//y\\\\" + name, u"\\\\?\\C:\\x\\y\\" + name},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(platform::LongPathForm(c.Path), c.Expected);
  }
}

TEST(PlatformWin32LongPath, ReachesFilesBeyondTheShortLimit) {
  TTempDir dir;
  // Folders of 50 characters, deep enough that the file's path passes 300 units.
  std::u16string path = u"\\\\?\\" + WindowsPath(dir.Path());
  std::vector<std::u16string> folders;
  for (int i = 0; i < 6; ++i) {
    path += u"\\" + std::u16string(50, static_cast<char16_t>(u'a' + i));
    std::filesystem::create_directory(Native(path));
    folders.push_back(path);
  }
  const std::u16string file = path + u"\\Long Drawing.svg";
  {
    std::FILE* out = _wfopen(Native(file).c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    std::fputs("<svg/>", out);
    std::fclose(out);
  }
  const std::u16string plain = file.substr(4);  // as the host passes it
  ASSERT_GE(plain.size(), 300u);
  const std::u16string requested = platform::LongPathForm(plain);
  EXPECT_EQ(requested, file);
  EXPECT_TRUE(platform::IsExistingFile(requested));
  platform::TFileEntryInfo info;
  ASSERT_TRUE(platform::FindFileEntry(requested, info));
  EXPECT_EQ(info.Size, 6);
  auto opened = platform::TReadOnlyFile::Open(requested);
  ASSERT_NE(opened, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(opened->ReadAt(0, buffer, sizeof buffer), 6);
  // Lower-cased, the prefixed form still names the file.
  std::u16string lower = requested;
  platform::LowerCaseInPlace(lower);
  EXPECT_TRUE(platform::FindFileEntry(lower, info));
  // Written with "/", or with "." and "..", the long form names the same file.
  std::u16string slashed = plain;
  std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
  const std::size_t last = plain.rfind(u'\\');
  const std::u16string dotted =
      plain.substr(0, last) + u"\\.\\missing\\..\\" + plain.substr(last + 1);
  for (const std::u16string& other : {slashed, dotted}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(other));
    EXPECT_EQ(platform::LongPathForm(other), file);
    EXPECT_TRUE(platform::FindFileEntry(platform::LongPathForm(other), info));
  }
  // The temporary folder's own clean-up does not use the long form.
  opened.reset();
  std::error_code ignored;
  std::filesystem::remove(Native(file), ignored);
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
    std::filesystem::remove(Native(*folder), ignored);
}

// The ANSI code page is the one the C library reports for the user's locale
// ("English_United States.1252").
TEST(PlatformWin32Ansi, ConvertsTheSystemCodePage) {
  const char* locale = std::setlocale(LC_CTYPE, "");
  ASSERT_NE(locale, nullptr);
  std::string name = locale;
  std::setlocale(LC_CTYPE, "C");
  std::size_t dot = name.rfind('.');
  ASSERT_NE(dot, std::string::npos) << name;
  const int codePage = std::atoi(name.c_str() + dot + 1);
  if (codePage < 1250 || codePage > 1258)
    GTEST_SKIP() << "not a single-byte Windows code page: " << name;
  for (int b = 0x20; b < 0x100; ++b) {
    SCOPED_TRACE(b);
    const std::string byte(1, static_cast<char>(b));
    const std::u16string text = platform::AnsiToUtf16(byte);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0], platform::CodePageByteToUtf16(codePage, static_cast<std::uint8_t>(b)));
  }
  if (codePage == 1252) {
    EXPECT_EQ(platform::AnsiToUtf16("C:\\Bilder\\caf\xE9 \x80.svg"),
              u"C:\\Bilder\\caf\u00E9 \u20AC.svg");
  }
}

#endif  // _WIN32
