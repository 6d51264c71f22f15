// Metadata dates read as ISO 8601 dates and date-times: the forms that give a
// point in time, and the near misses that give none.
#include "extract/IsoDate.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// Seconds since the Unix epoch, for readable expectations.
std::optional<std::int64_t> UnixSeconds(std::u16string_view AText) {
  const std::optional<std::uint64_t> time = FileTimeOfIsoDate(AText);
  if (!time) return std::nullopt;
  return (static_cast<std::int64_t>(*time) - static_cast<std::int64_t>(cUnixEpochFileTime)) /
         10'000'000;
}

TEST(IsoDate, ReadsDatesAndDateTimes) {
  struct TCase {
    std::u16string Text;
    std::int64_t Seconds;
  } cases[] = {
      {u"2024-05-17", 1715904000},
      {u"  2024-05-17\t", 1715904000},
      {u"2024-05-17T08:30", 1715934600},
      {u"2024-05-17 08:30:15", 1715934615},
      {u"2024-05-17t08:30:15.75Z", 1715934615},
      {u"2024-05-17T10:30:15+02:00", 1715934615},
      {u"2024-05-17T10:30:15+0200", 1715934615},
      {u"2024-05-17T06:30:15-02", 1715934615},
      {u"2024-02-29", 1709164800},
      {u"1970-01-01T00:00:00Z", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Text.begin(), c.Text.end()));
    EXPECT_EQ(UnixSeconds(c.Text), c.Seconds);
  }
  // The fraction is kept to 100 ns.
  EXPECT_EQ(FileTimeOfIsoDate(u"1970-01-01T00:00:00.1234567Z"), cUnixEpochFileTime + 1234567);
}

TEST(IsoDate, RejectsWhatIsNoDate) {
  for (const std::u16string text :
       {u"", u"2024", u"2024-5-17", u"2024-05-17T", u"2024-05-17T8:30", u"2023-02-29",
        u"2024-13-01", u"2024-04-31", u"2024-05-17T24:00", u"2024-05-17T08:60",
        u"2024-05-17T08:30:15.", u"2024-05-17T08:30+24:00", u"2024-05-17T08:30Zx", u"2024-05-17x",
        u"May 17, 2024", u"1600-12-31", u"\uFF12024-05-17"}) {
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    EXPECT_EQ(FileTimeOfIsoDate(text), std::nullopt);
  }
}

}  // namespace
