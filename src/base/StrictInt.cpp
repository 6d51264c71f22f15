// Strict integer parsing (see StrictInt.h).
#include "base/StrictInt.h"

namespace {

int HexDigit(char AC) {
  if (AC >= '0' && AC <= '9') return AC - '0';
  if (AC >= 'a' && AC <= 'f') return AC - 'a' + 10;
  if (AC >= 'A' && AC <= 'F') return AC - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(std::string_view AS, std::int32_t& AValue) {
  std::size_t i = 0;
  while (i < AS.size() && AS[i] == ' ') ++i;
  bool negative = false;
  if (i < AS.size() && (AS[i] == '+' || AS[i] == '-')) {
    negative = AS[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < AS.size() && (AS[i] == '$' || AS[i] == 'x' || AS[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < AS.size() && AS[i] == '0' && (AS[i + 1] == 'x' || AS[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= AS.size()) return false;
  // The magnitude may reach 2^31 for a negative value; stop as soon as it passes.
  constexpr std::uint64_t cLimit = 0x80000000ULL;
  std::uint64_t magnitude = 0;
  for (; i < AS.size(); ++i) {
    int digit = base == 16 ? HexDigit(AS[i]) : (AS[i] >= '0' && AS[i] <= '9' ? AS[i] - '0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (magnitude > cLimit) return false;
  }
  if (!negative && magnitude == cLimit) return false;
  AValue = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<std::int32_t>(magnitude);
  return true;
}
