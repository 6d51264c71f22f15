// Conversions between a stored raw value and what a caller sees: line-end styles,
// predefined and numeric character references. Each function returns its input
// itself (no copy) when there is nothing to change; otherwise it builds the result
// in ABuffer and returns a view of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum TXmlEolStyle : std::uint8_t { esLF = 0, esCRLF = 1, esCR = 2 };
static_assert(sizeof(TXmlEolStyle) == 1);

// The line-end text of a style: "\n", "\r\n" or "\r".
std::string_view EolText(TXmlEolStyle AStyle);

std::string_view UnescapeText(std::string_view AS, std::string& ABuffer);
std::string_view EscapeText(std::string_view AS, std::string& ABuffer);
std::string_view ApplyEolStyle(std::string_view AS, TXmlEolStyle AStyle, std::string& ABuffer);
std::string_view NormaliseLineEnds(std::string_view AS, std::string& ABuffer);

// The value a getter returns for a raw value: UnescapeText(ApplyEolStyle(R)).
std::string DecodeRawValue(std::string_view ARaw, TXmlEolStyle AStyle);
