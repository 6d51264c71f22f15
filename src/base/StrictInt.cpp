// Strict integer parsing (see StrictInt.h).
#include "base/StrictInt.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(std::string_view S, std::int32_t& AValue) {
  std::size_t i = 0;
  while (i < S.size() && S[i] == ' ') ++i;
  bool negative = false;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) {
    negative = S[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < S.size() && (S[i] == '$' || S[i] == 'x' || S[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= S.size()) return false;
  // The magnitude may reach 2^31 for a negative value; stop as soon as it passes.
  constexpr std::uint64_t kLimit = 0x80000000ULL;
  std::uint64_t magnitude = 0;
  for (; i < S.size(); ++i) {
    int digit = base == 16 ? HexDigit(S[i]) : (S[i] >= '0' && S[i] <= '9' ? S[i] - '0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (magnitude > kLimit) return false;
  }
  if (!negative && magnitude == kLimit) return false;
  AValue = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<std::int32_t>(magnitude);
  return true;
}
