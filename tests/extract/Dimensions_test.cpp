// Pixel sizes from width, height and viewBox texts: unit conversion and rounding,
// the fallback to the viewBox, percentages, and lengths beyond the 32-bit range.
#include "extract/Dimensions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "extract/SvgRecord.h"
#include "platform/Platform.h"

namespace {

constexpr std::int32_t cMax = std::numeric_limits<std::int32_t>::max();

std::string Show(std::u16string_view AText) {
  return platform::Utf16ToUtf8(AText);
}

TEST(ParseLength, UnitsNumbersAndRounding) {
  struct TCase {
    std::u16string_view Text;
    std::int32_t Pixels;
    TLengthUnit Unit;
  } cases[] = {
      {u"100", 100, luPx},
      {u"100px", 100, luPx},
      {u"72pt", 96, luPt},
      {u"1.5pt", 2, luPt},  // 2 px: the number keeps its fraction, the pixels are rounded
      {u"10cm", 378, luCm},
      {u"2.54cm", 96, luCm},
      {u"12.7mm", 48, luMm},
      {u"1in", 96, luIn},
      {u"0.6in", 58, luIn},
      {u"0.5in", 48, luIn},
      {u"0.4in", 38, luIn},
      {u"0.40000001in", 38, luIn},
      {u"0.25", 0, luPx},  // positive, but 0 whole pixels: no usable length
      {u"0.3%", 0, luPercent},
      {u"6pc", 96, luPc},
      {u"50%", 50, luPercent},
      {u"-5%", -5, luPercent},
      {u"-7pt", -7, luPt},  // not positive: returned unconverted
      {u"2.5", 2, luPx},
      {u"3.5", 4, luPx},
      {u"-1.5", 0, luPx},
      {u"$10", 16, luPx},
      {u"0x20px", 32, luPx},
      {u"  12", 12, luPx},
      {u"12 ", 12, luPx},           // white space around the length is ignored
      {u"\t\r\n12mm\n", 45, luMm},  // 45.35
      {u"100 px", 0, luPx},         // ... but not between the number and its unit
      {u" 100.0 px", 100, luPx},    // the decimal parse allows blanks around the number
      {u"+1.5in", 144, luIn},
      {u"1.e1in", 960, luIn},
      {u"15E-1in", 144, luIn},  // an exponent without "." takes the decimal parse
      {u"1e3", 1000, luPx},
      {u"5E1", 50, luPx},
      {u"1.5e-1in", 14, luIn},
      {u"1e2%", 100, luPercent},
      {u"0x1E", 30, luPx},  // hexadecimal, whose digits may be "e"
      {u"$1e", 30, luPx},
      {u"1e", 0, luPx},
      {u"e3", 0, luPx},
      {u"1.5E+0in", 144, luIn},
      {u"1.5e", 0, luPx},
      {u"1.5.5", 0, luPx},
      {u".", 0, luPx},
      {u"inf.0", 0, luPx},
      {u"10em", 0, luPx},
      {u"px10", 0, luPx},  // a suffix in front of the number is no suffix
      {u"%", 0, luPx},
      {u"10px5pt", 10, luPx},  // everything from the first suffix on is dropped
      {u"5ptx", 7, luPt},
      {u"\uFF11\uFF10", 0, luPx},  // full-width digits are no digits
      {u"", 0, luPx},
      // Beyond the 32-bit range the result saturates instead of overflowing.
      {u"2147483647in", cMax, luIn},
      {u"1.0e300in", cMax, luIn},
      {u"1.0e300", cMax, luPx},
      {u"1e300in", cMax, luIn},
      {u"1.0e999", 0, luPx},
      {u"2147483648", 0, luPx},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Show(c.Text));
    TParsedLength got = ParseLength(c.Text, 96);
    EXPECT_EQ(got.Pixels, c.Pixels);
    EXPECT_EQ(got.Unit, c.Unit);
  }
}

TEST(CalcDimensions, FromWidthHeightAndViewBoxAt96And90) {
  struct TCase {
    std::u16string_view Width, Height, ViewBox;
    std::int32_t Width96, Height96, Width90, Height90;
  } cases[] = {
      {u"100", u"50", u"", 100, 50, 100, 50},
      {u"100px", u"50px", u"0 0 800 600", 100, 50, 100, 50},
      {u"72pt", u"10pt", u"", 96, 13, 90, 12},  // 12.5 at 90 rounds to the even 12
      {u"1.5pt", u"6pt", u"", 2, 8, 2, 8},      // 7.5 at 90 rounds to the even 8
      {u"10cm", u"2.54cm", u"", 378, 96, 354, 90},
      {u"25.4mm", u"12.7mm", u"", 96, 48, 90, 45},
      {u"1in", u"1.5in", u"", 96, 144, 90, 135},
      {u"0.6in", u"0.4in", u"0 0 800 600", 58, 38, 54, 36},
      {u"0.5in", u"6pc", u"0 0 800 600", 48, 96, 45, 90},
      {u"0.25", u"0.25in", u"0 0 800 600", 800, 24, 800, 22},  // 0.25 px is no size
      {u"1pc", u"2.5", u"", 16, 2, 15, 2},
      {u"3.5", u"100 px", u"0 0 800 600", 4, 600, 4, 600},
      {u"100.0 px", u"10em", u"0 0 800 600", 100, 600, 100, 600},
      // Percentages scale the viewBox size.
      {u"50%", u"25%", u"0 0 800 600", 400, 150, 400, 150},
      {u"100%", u"100%", u"0 0 800 600", 800, 600, 800, 600},
      {u"101%", u"101%", u"0 0 50 50", 51, 51, 51, 51},  // 50.5: halves away from zero
      {u"50%", u"50%", u"0 0 2in 1in", 96, 48, 90, 45},
      {u"50%", u"50%", u"", 0, 0, 0, 0},
      // With one text missing neither is parsed.
      {u"100", u"", u"0 0 800 600", 800, 600, 800, 600},
      {u"", u"100", u"0 0 800 600", 800, 600, 800, 600},
      // The viewBox's numbers stand apart by white space, or by one comma with
      // white space around it; a comma right after another leaves an empty part.
      {u"", u"", u"0,0,800,600", 800, 600, 800, 600},
      {u"", u"", u"0, 0, 800, 600", 800, 600, 800, 600},
      {u"", u"", u"0 ,0 , 800 ,600", 800, 600, 800, 600},
      {u"", u"", u" 0 0 800 600 ", 800, 600, 800, 600},
      {u"", u"", u"0\t0\n800\r\n600", 800, 600, 800, 600},
      {u"", u"", u"0  0   800 600", 800, 600, 800, 600},
      {u"", u"", u"0 0,,600", 0, 600, 0, 600},  // parts 0, 0, "", 600
      {u"", u"", u"0 0 800", 0, 0, 0, 0},
      {u"", u"", u"0 0 800 ", 0, 0, 0, 0},
      {u"", u"", u"0 0 800,", 0, 0, 0, 0},
      {u"", u"", u"-10 -10 20.5 30.5 99", 20, 30, 20, 30},
      {u"-5", u"-5", u"0 0 800", -5, -5, -5, -5},
      {u"-5", u"10", u"0 0 800 600", 800, 10, 800, 10},
      {u"-5", u"10", u"", -5, 10, -5, 10},
      {u"1.0e300in", u"1.0e300pc", u"", cMax, cMax, cMax, cMax},
      // Numbers as SVG writes them: exponents, white space around the length,
      // and exact halves to even at 90 dpi too (1454pt is 1817.5 there).
      {u"1454pt", u"1e3", u"", 1939, 1000, 1818, 1000},
      {u"1e2", u"5E1", u"0 0 800 600", 100, 50, 100, 50},
      {u" 100", u"50 ", u"0 0 800 600", 100, 50, 100, 50},
      {u"", u"", u"0 0 1560 1e3", 1560, 1000, 1560, 1000},
      {u"", u"", u"0 0 1.5e2 2E+1", 150, 20, 150, 20},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Show(c.Width) + " / " + Show(c.Height) + " / " + Show(c.ViewBox));
    TVexmeta record;
    record.Width = c.Width;
    record.Height = c.Height;
    record.ViewBox = c.ViewBox;
    TVexmeta at90 = record;
    CalcDimensions(record, 96);
    CalcDimensions(at90, 90);
    EXPECT_EQ(record.IntWidth, c.Width96);
    EXPECT_EQ(record.IntHeight, c.Height96);
    EXPECT_EQ(at90.IntWidth, c.Width90);
    EXPECT_EQ(at90.IntHeight, c.Height90);
    EXPECT_EQ(record.Width, c.Width);  // nothing but the two integers changes
    EXPECT_EQ(record.ViewBox, c.ViewBox);
  }
}

TEST(CalcDimensions, KeepsIntegersWhenAnyTextIsMissing) {
  // A value request recomputes on a copy that already holds the sizes at 96.
  TVexmeta record;
  record.Width = u"100";
  record.IntWidth = 7;
  record.IntHeight = 9;
  CalcDimensions(record, 90);
  EXPECT_EQ(record.IntWidth, 7);
  EXPECT_EQ(record.IntHeight, 9);
}

}  // namespace
