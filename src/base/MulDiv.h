// Scaling by a fraction in integers: a × b / c with a 64-bit intermediate
// product, rounded to the nearest integer with halves away from zero, as the
// percentages of calculated sizes are scaled.
#pragma once

#include <cstdint>

// -1 when ADivisor is 0 or the result does not fit in a signed 32-bit integer.
std::int32_t MulDiv(std::int32_t ANumber, std::int32_t AMultiplier, std::int32_t ADivisor);
