// The blanks skipped and trimmed everywhere: XML white space, and the reader's
// white bytes (0 to 32), trimmed into views of the input.
#include "base/Blanks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Blanks, XmlSpaceIsTheFourSeparators) {
  for (std::uint32_t c = 0; c < 0x10000; ++c)
    EXPECT_EQ(blanks::IsXmlSpace(c), c == ' ' || c == '\t' || c == '\n' || c == '\r') << c;
}

TEST(Blanks, TrimmingReturnsViewsOfTheInput) {
  struct TCase {
    std::string In;
    std::string Both;
    std::string Right;
  };
  const TCase cases[] = {
      {"\t a b\n", "a b", "\t a b"},
      {"   ", "", ""},
      {"", "", ""},
      {"\x01x\x20", "x", "\x01x"},
      {"\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0",
       "\xC2\xA0x\xC2\xA0"},  // bytes >= 128 are never white
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.In);
    const std::string_view both = blanks::TrimWhite(c.In);
    EXPECT_EQ(both, c.Both);
    EXPECT_EQ(blanks::TrimWhiteRight(c.In), c.Right);
    if (!both.empty()) {
      EXPECT_GE(both.data(), c.In.data());
      EXPECT_LE(both.data() + both.size(), c.In.data() + c.In.size());
    }
  }
}

}  // namespace
