// The one strict integer syntax shared by settings values, length texts and
// numeric character references: optional leading spaces, an optional "+" or "-",
// then decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X";
// nothing may follow the digits, and the value must fit a signed 32-bit integer.
#pragma once

#include <cstdint>
#include <string_view>

// True and the value when S is such a number; false (AValue untouched) otherwise.
bool TryStrToInt(std::string_view AS, std::int32_t& AValue);
