// Behaviour of the platform layer that exists on Linux and other POSIX systems
// only: 8-bit names in the locale's character set, taken as the bytes on disk
// where that set is UTF-8 or ASCII only, as in the "C" locale of a host that
// never calls setlocale.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"
#include "support/TestSupport.h"

using testing_support::TTempDir;

namespace {

// Switches the character set of the process's locale for one test, and back to
// the "C" locale the test programs run in.
class TLatin1Locale {
 public:
  // Tries the installed locales first, then builds one in ADir with localedef.
  explicit TLatin1Locale(const TTempDir& ADir) {
    for (const char* name : {"fr_FR.ISO-8859-1", "de_DE.ISO-8859-1", "en_US.ISO-8859-1"})
      if (std::setlocale(LC_CTYPE, name) != nullptr) return;
    const std::string folder = ADir.Path().string();
    const std::string command =
        "localedef -i fr_FR -f ISO-8859-1 '" + folder + "/fr_FR.ISO-8859-1' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
    ::setenv("LOCPATH", folder.c_str(), 1);
    std::setlocale(LC_CTYPE, "fr_FR.ISO-8859-1");
  }
  ~TLatin1Locale() {
    std::setlocale(LC_CTYPE, "C");
    ::unsetenv("LOCPATH");
  }
  TLatin1Locale(const TLatin1Locale&) = delete;
  TLatin1Locale& operator=(const TLatin1Locale&) = delete;
  bool Active() const {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    return current != nullptr && std::string(current).ends_with(".ISO-8859-1");
  }
};

}  // namespace

// The "C" locale of a host that never calls setlocale, and a UTF-8 locale.
TEST(PlatformPosixAnsi, AsciiAndUtf8LocalesTakeNamesAsTheBytesOnDisk) {
  ASSERT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
  struct TCase {
    std::string_view Bytes;
    std::u16string_view Text;
  } cases[] = {
      {"/home/ann/caf\xC3\xA9.svg", u"/home/ann/caf\u00E9.svg"},
      {"/tmp/\xE5\x9B\xB3\xE9\x9D\xA2.svg", u"/tmp/\u56F3\u9762.svg"},
      {"/tmp/a b.svg", u"/tmp/a b.svg"},
      {"caf\xE9.svg", u"caf\xDCE9.svg"},  // a Latin-1 byte is no UTF-8: kept, escaped
  };
  for (const char* locale : {"C", "C.UTF-8"}) {
    if (std::setlocale(LC_CTYPE, locale) == nullptr) continue;
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(locale) + " " + std::string(c.Bytes));
      EXPECT_EQ(platform::AnsiToUtf16(c.Bytes), c.Text);
    }
  }
  std::setlocale(LC_CTYPE, "C");
}

TEST(PlatformPosixAnsi, OtherLocalesConvertFromTheirCharacterSet) {
  TTempDir dir;
  TLatin1Locale locale(dir);
  if (!locale.Active()) GTEST_SKIP() << "no ISO-8859-1 locale, and localedef could not make one";
  EXPECT_EQ(platform::AnsiToUtf16("/home/ann/caf\xE9 \xA4.svg"), u"/home/ann/caf\u00E9 \u00A4.svg");
  // UTF-8 bytes are Latin-1 characters there.
  EXPECT_EQ(platform::AnsiToUtf16("caf\xC3\xA9"), u"caf\u00C3\u00A9");
}

#endif  // _WIN32
