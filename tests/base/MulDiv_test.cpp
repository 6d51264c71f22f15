// Integer scaling: halves away from zero, 64-bit products, and what does not fit.
#include "base/MulDiv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(MulDiv, RoundsHalfAwayFromZeroAndReportsOverflow) {
  struct TCase {
    std::int32_t A, B, C, Expected;
  } cases[] = {
      {10, 50, 100, 5},
      {3, 1, 2, 2},    // 1.5 rounds up
      {-3, 1, 2, -2},  // -1.5 rounds away from zero
      {5, 3, -2, -8},  // -7.5
      {-5, 3, -2, 8},  // two negatives give a positive
      {-1, 1, 2, -1},  // -0.5
      {1, 1, 3, 0},    // 0.33
      {2, 1, 3, 1},    // 0.67
      {0, 5, -2, 0},
      {50000, 50000, 10, 250000000},  // the product needs 64 bits
      {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
      {INT32_MAX, 2, 2, INT32_MAX},
      {1, 1, 0, -1},          // division by zero
      {INT32_MAX, 2, 1, -1},  // too large
      {1 << 30, 2, 1, -1},    // exactly 2^31
      {-(1 << 30), 3, 1, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.A) + " * " + std::to_string(c.B) + " / " + std::to_string(c.C));
    EXPECT_EQ(MulDiv(c.A, c.B, c.C), c.Expected);
  }
}

}  // namespace
