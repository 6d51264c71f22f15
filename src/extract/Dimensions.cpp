// Length texts to whole pixels (see Dimensions.h). All arithmetic is IEEE double in
// the order the conversions are written, and every conversion to an integer rounds
// half to even, whatever the floating-point rounding mode of the host process.
#include "extract/Dimensions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "base/Blanks.h"
#include "base/MulDiv.h"
#include "base/StrictInt.h"
#include "extract/SvgFields.h"

namespace {

constexpr std::int32_t cInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t cInt32Min = std::numeric_limits<std::int32_t>::min();

// Nearest integer, halves to the even neighbour; saturates at the 32-bit range so
// an absurd length never converts an out-of-range double. NaN gives 0.
std::int32_t RoundToInt32(double AValue) {
  if (std::isnan(AValue)) return 0;
  if (AValue >= static_cast<double>(cInt32Max)) return cInt32Max;
  if (AValue <= static_cast<double>(cInt32Min)) return cInt32Min;
  double whole = std::floor(AValue);
  // Exact: both are within 2^31 of each other and whole is an integer.
  double fraction = AValue - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<std::int32_t>(whole);
}

// The number parsers are byte based; a code unit beyond ASCII can never be part of
// a number, so it becomes a byte that both parsers refuse.
std::string NarrowForNumber(std::u16string_view AText) {
  std::string result(AText.size(), '\x7f');
  for (std::size_t i = 0; i < AText.size(); ++i)
    if (AText[i] < 0x80) result[i] = static_cast<char>(AText[i]);
  return result;
}

bool IsDigit(char AC) {
  return AC >= '0' && AC <= '9';
}

// Decimal number with "." as separator regardless of the locale: optional blanks
// around it, optional sign, digits with at most one ".", optional exponent after
// E or e. False for anything else, and for a value outside the double range.
bool TryParseDecimal(std::string_view AS, double& AValue) {
  std::size_t first = 0;
  std::size_t last = AS.size();
  while (first < last && AS[first] == ' ') ++first;
  while (last > first && AS[last - 1] == ' ') --last;
  std::string_view body = AS.substr(first, last - first);
  std::size_t i = 0;
  if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < body.size() && IsDigit(body[i])) ++i, ++digits;
  if (i < body.size() && body[i] == '.') {
    ++i;
    while (i < body.size() && IsDigit(body[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < body.size() && IsDigit(body[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (i != body.size()) return false;
  // from_chars takes no "+" but is otherwise the same syntax, and is locale free.
  if (body.front() == '+') body.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (error != std::errc() || end != body.data() + body.size()) return false;
  AValue = value;
  return true;
}

// The viewBox's numbers: white space at both ends is ignored; between two
// numbers stands a run of white space, or one comma with optional white space
// around it, so a comma right after another gives an empty part. Returns how
// many parts there are; the first four are in AParts.
std::size_t SplitViewBox(std::u16string_view AText, std::u16string_view (&AParts)[4]) {
  while (!AText.empty() && blanks::IsXmlSpace(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && blanks::IsXmlSpace(AText.back())) AText.remove_suffix(1);
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < AText.size()) {
    const std::size_t start = i;
    while (i < AText.size() && !blanks::IsXmlSpace(AText[i]) && AText[i] != u',') ++i;
    if (count < 4) AParts[count] = AText.substr(start, i - start);
    ++count;
    while (i < AText.size() && blanks::IsXmlSpace(AText[i])) ++i;
    if (i < AText.size() && AText[i] == u',') {
      ++i;
      while (i < AText.size() && blanks::IsXmlSpace(AText[i])) ++i;
    }
  }
  return count;
}

}  // namespace

TParsedLength ParseLength(std::u16string_view AText, std::int32_t ADpi) {
  struct TSuffix {
    std::u16string_view Text;
    TLengthUnit Unit;
  };
  static constexpr TSuffix cSuffixes[] = {{u"px", luPx},    {u"pt", luPt}, {u"cm", luCm},
                                          {u"mm", luMm},    {u"in", luIn}, {u"pc", luPc},
                                          {u"%", luPercent}};
  TParsedLength result;
  // White space around the length is no part of it ("100 px" stays unusable).
  while (!AText.empty() && blanks::IsXmlSpace(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && blanks::IsXmlSpace(AText.back())) AText.remove_suffix(1);
  std::u16string_view numberText = AText;
  for (const TSuffix& suffix : cSuffixes) {
    // Only the first occurrence counts, and it must follow at least one character.
    std::size_t at = AText.find(suffix.Text);
    if (at != std::u16string_view::npos && at >= 1) {
      numberText = AText.substr(0, at);
      result.Unit = suffix.Unit;
      break;
    }
  }

  // The number keeps its fraction: only the pixel value is rounded. A number
  // written without "." takes the integer syntax (hexadecimal included), and
  // when that refuses it, the decimal one if it has an exponent ("1e3"; "0x1E"
  // is hexadecimal).
  std::string number = NarrowForNumber(numberText);
  double v = 0;
  std::int32_t n = 0;
  const bool point = number.find('.') != std::string::npos;
  if (!point && TryStrToInt(number, n)) {
    if (n <= 0) {
      result.Pixels = n;  // returned unconverted
      return result;
    }
    v = n;
  } else if (point || number.find_first_of("eE") != std::string::npos) {
    if (!TryParseDecimal(number, v) || !(v > 0)) return result;
  } else {
    return result;
  }

  // Multiplied by the resolution before the division, so that a size that is
  // exactly half a pixel (1454pt at 90 dpi is 1817.5) stays exact and rounds
  // to even, as a renderer computes it.
  const double dpi = ADpi;
  switch (result.Unit) {
    case luPx:
    case luPercent:
      break;
    case luPt:
      v = v * dpi / 72.0;
      break;
    case luCm:
      v = v * dpi / 2.54;
      break;
    case luMm:
      v = v * dpi / 25.4;
      break;
    case luIn:
      v = v * dpi;
      break;
    case luPc:
      v = v * dpi / 6.0;
      break;
  }
  result.Pixels = RoundToInt32(v);
  return result;
}

void CalcDimensions(TVexmeta& ARecord, std::int32_t ADpi) {
  std::int32_t pw = 0;
  std::int32_t ph = 0;
  if (!ARecord.Width.empty() && !ARecord.Height.empty()) {
    TParsedLength width = ParseLength(ARecord.Width, ADpi);
    ARecord.IntWidth = width.Pixels;
    if (width.Unit == luPercent) {
      pw = width.Pixels;
      ARecord.IntWidth = 0;
    }
    TParsedLength height = ParseLength(ARecord.Height, ADpi);
    ARecord.IntHeight = height.Pixels;
    if (height.Unit == luPercent) {
      ph = height.Pixels;
      ARecord.IntHeight = 0;
    }
  }
  const bool needWidth = ARecord.IntWidth <= 0;
  const bool needHeight = ARecord.IntHeight <= 0;
  if (!needWidth && !needHeight) return;

  std::u16string_view parts[4];
  if (SplitViewBox(ARecord.ViewBox, parts) < 4) return;
  if (needWidth) {
    ARecord.IntWidth = ParseLength(parts[2], ADpi).Pixels;
    if (pw > 0 && pw != 100) ARecord.IntWidth = MulDiv(ARecord.IntWidth, pw, 100);
  }
  if (needHeight) {
    ARecord.IntHeight = ParseLength(parts[3], ADpi).Pixels;
    if (ph > 0 && ph != 100) ARecord.IntHeight = MulDiv(ARecord.IntHeight, ph, 100);
  }
}

std::int32_t FieldPixels(const TFieldRow& AField, const TVexmeta& ARecord,
                         std::int32_t AUnitIndex) {
  if (AUnitIndex <= 0) return ARecord.*AField.Pixels;
  if (AUnitIndex >= UnitCount(AField)) return 0;
  TVexmeta sizes;
  sizes.Width = ARecord.Width;
  sizes.Height = ARecord.Height;
  sizes.ViewBox = ARecord.ViewBox;
  CalcDimensions(sizes, AField.Dpi[static_cast<std::size_t>(AUnitIndex)]);
  return sizes.*AField.Pixels;
}
