// Reading ISO 8601 dates (see IsoDate.h): fixed digit counts, the proleptic
// Gregorian calendar, every part range-checked before the sum is made.
#include "extract/IsoDate.h"

#include <string>

namespace {

bool IsDigit(char16_t AChar) {
  return AChar >= u'0' && AChar <= u'9';
}

// Reads exactly ACount digits at APos; false when there are fewer.
bool ReadDigits(std::u16string_view AText, std::size_t& APos, std::size_t ACount,
                std::int32_t& AValue) {
  if (APos + ACount > AText.size()) return false;
  AValue = 0;
  for (std::size_t i = 0; i < ACount; ++i) {
    const char16_t c = AText[APos + i];
    if (!IsDigit(c)) return false;
    AValue = AValue * 10 + (c - u'0');
  }
  APos += ACount;
  return true;
}

bool IsLeapYear(std::int32_t AYear) {
  return (AYear % 4 == 0 && AYear % 100 != 0) || AYear % 400 == 0;
}

std::int32_t DaysInMonth(std::int32_t AYear, std::int32_t AMonth) {
  static constexpr std::int32_t cDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return AMonth == 2 && IsLeapYear(AYear) ? 29 : cDays[AMonth - 1];
}

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysSince1601(std::int32_t AYear, std::int32_t AMonth, std::int32_t ADay) {
  const std::int64_t years = AYear - 1601;
  std::int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
  for (std::int32_t m = 1; m < AMonth; ++m) days += DaysInMonth(AYear, m);
  return days + ADay - 1;
}

}  // namespace

std::optional<std::uint64_t> FileTimeOfIsoDate(std::u16string_view AText) {
  while (!AText.empty() && (AText.front() == u' ' || AText.front() == u'\t'))
    AText.remove_prefix(1);
  while (!AText.empty() && (AText.back() == u' ' || AText.back() == u'\t')) AText.remove_suffix(1);

  std::size_t pos = 0;
  std::int32_t year = 0, month = 0, day = 0;
  if (!ReadDigits(AText, pos, 4, year) || pos >= AText.size() || AText[pos++] != u'-' ||
      !ReadDigits(AText, pos, 2, month) || pos >= AText.size() || AText[pos++] != u'-' ||
      !ReadDigits(AText, pos, 2, day))
    return std::nullopt;
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;

  std::int32_t hour = 0, minute = 0, second = 0;
  std::int64_t fraction = 0;  // in 100 ns units
  std::int32_t offsetMinutes = 0;
  if (pos < AText.size()) {
    if (AText[pos] != u'T' && AText[pos] != u't' && AText[pos] != u' ') return std::nullopt;
    ++pos;
    if (!ReadDigits(AText, pos, 2, hour) || pos >= AText.size() || AText[pos++] != u':' ||
        !ReadDigits(AText, pos, 2, minute))
      return std::nullopt;
    if (pos < AText.size() && AText[pos] == u':') {
      ++pos;
      if (!ReadDigits(AText, pos, 2, second)) return std::nullopt;
      if (pos < AText.size() && (AText[pos] == u'.' || AText[pos] == u',')) {
        ++pos;
        std::int64_t scale = 1'000'000;  // the first digit counts tenths of a second
        const std::size_t first = pos;
        for (; pos < AText.size() && IsDigit(AText[pos]); ++pos) {
          fraction += (AText[pos] - u'0') * scale;
          scale /= 10;
        }
        if (pos == first) return std::nullopt;
      }
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    if (pos < AText.size()) {
      const char16_t sign = AText[pos++];
      if (sign == u'Z' || sign == u'z') {
        if (pos != AText.size()) return std::nullopt;
      } else if (sign == u'+' || sign == u'-') {
        std::int32_t zoneHours = 0, zoneMinutes = 0;
        if (!ReadDigits(AText, pos, 2, zoneHours)) return std::nullopt;
        if (pos < AText.size() && AText[pos] == u':') {
          ++pos;
          if (!ReadDigits(AText, pos, 2, zoneMinutes)) return std::nullopt;
        } else if (pos < AText.size() && !ReadDigits(AText, pos, 2, zoneMinutes)) {
          return std::nullopt;
        }
        if (pos != AText.size() || zoneHours > 23 || zoneMinutes > 59) return std::nullopt;
        offsetMinutes = (zoneHours * 60 + zoneMinutes) * (sign == u'-' ? -1 : 1);
      } else {
        return std::nullopt;
      }
    }
  }

  // Local time minus the zone's offset is UTC.
  const std::int64_t seconds = DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                               second - std::int64_t{offsetMinutes} * 60;
  if (seconds < 0) return std::nullopt;
  return static_cast<std::uint64_t>(seconds) * 10'000'000 + static_cast<std::uint64_t>(fraction);
}
