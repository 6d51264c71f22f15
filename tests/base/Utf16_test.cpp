// Well-formed UTF-16 for the consumers: lone surrogates shown as U+FFFD, cuts
// that never split a pair.
#include "base/Utf16.h"

#include <gtest/gtest.h>

TEST(Utf16, LoneSurrogatesBecomeReplacementCharacters) {
  struct TCase {
    std::u16string In;
    std::u16string Out;
  };
  const TCase cases[] = {
      {u"", u""},
      {u"abc", u"abc"},
      {u"a\U0001F600b", u"a\U0001F600b"},
      {u"a\xD83D", u"a\xFFFD"},                      // a first half at the end
      {u"\xDE00z", u"\xFFFDz"},                      // a second half alone
      {u"\xD83D\xD83D\xDE00", u"\xFFFD\U0001F600"},  // two first halves, one pair
      {u"\xDE00\xD83D", u"\xFFFD\xFFFD"},            // the halves the wrong way round
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.In));
    EXPECT_EQ(utf16::WellFormed(c.In), c.Out);
    EXPECT_EQ(utf16::IsWellFormed(c.In), c.In == c.Out);
  }
}

TEST(Utf16, FittingUnitsNeverSplitAPair) {
  const std::u16string text = u"a\U0001F600b";  // a, two halves, b
  EXPECT_EQ(utf16::FittingUnits(text, 0), 0u);
  EXPECT_EQ(utf16::FittingUnits(text, 1), 1u);
  EXPECT_EQ(utf16::FittingUnits(text, 2), 1u);  // would end on the first half
  EXPECT_EQ(utf16::FittingUnits(text, 3), 3u);
  EXPECT_EQ(utf16::FittingUnits(text, 9), 4u);
  // A lone first half is no pair: the cut may end on it (it shows as U+FFFD).
  const std::u16string loneFirstHalf = std::u16string(u"a\xD83D") + u"bc";
  EXPECT_EQ(utf16::FittingUnits(loneFirstHalf, 2), 2u);
}
