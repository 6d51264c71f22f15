// See MulDiv.h.
#include "base/MulDiv.h"

#include <cstdint>

std::int32_t MulDiv(std::int32_t ANumber, std::int32_t AMultiplier, std::int32_t ADivisor) {
  if (ADivisor == 0) return -1;
  std::int64_t product = static_cast<std::int64_t>(ANumber) * AMultiplier;
  bool negative = (product < 0) != (ADivisor < 0);
  std::uint64_t magnitude =
      product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
  std::uint64_t divisor = ADivisor < 0
                              ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(ADivisor))
                              : static_cast<std::uint64_t>(ADivisor);
  std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
  if (!negative && quotient > static_cast<std::uint64_t>(INT32_MAX)) return -1;
  if (negative && quotient > static_cast<std::uint64_t>(INT32_MAX) + 1) return -1;
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(quotient))
                  : static_cast<std::int32_t>(quotient);
}
