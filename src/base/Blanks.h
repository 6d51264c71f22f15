// The blanks the system skips and trims, defined once. Two kinds: XML's white
// space (space, tab, line feed, carriage return), which separates markup, and
// the lenient reader's "white", every byte up to a space, control characters
// included, which it trims around names and text. Both are ASCII, so a trim
// never cuts into a UTF-8 sequence.
#pragma once

#include <cstdint>
#include <string_view>

namespace blanks {

// XML white space; AC may be a byte or a UTF-16 code unit.
constexpr bool IsXmlSpace(std::uint32_t AC) {
  return AC == ' ' || AC == '\t' || AC == '\n' || AC == '\r';
}

constexpr bool IsWhite(char AC) {
  return static_cast<unsigned char>(AC) <= ' ';
}

constexpr std::string_view TrimWhiteRight(std::string_view AS) {
  std::size_t e = AS.size();
  while (e > 0 && IsWhite(AS[e - 1])) --e;
  return AS.substr(0, e);
}

constexpr std::string_view TrimWhite(std::string_view AS) {
  std::size_t b = 0;
  while (b < AS.size() && IsWhite(AS[b])) ++b;
  return TrimWhiteRight(AS.substr(b));
}

}  // namespace blanks
