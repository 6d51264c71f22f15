// ASCII letter case, the only case rule the reader's own comparisons use: A-Z
// and a-z fold into each other, every other byte (each byte of a multi-byte
// character included) stands for itself. Locale-aware comparison is the
// platform's job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ascii {

constexpr char ToLower(char AC) {
  return (AC >= 'A' && AC <= 'Z') ? static_cast<char>(AC + ('a' - 'A')) : AC;
}

constexpr std::uint8_t ToLower(std::uint8_t AC) {
  return (AC >= 'A' && AC <= 'Z') ? static_cast<std::uint8_t>(AC + ('a' - 'A')) : AC;
}

constexpr char16_t ToLower(char16_t AC) {
  return (AC >= u'A' && AC <= u'Z') ? static_cast<char16_t>(AC + (u'a' - u'A')) : AC;
}

constexpr bool EqualsIgnoreCase(std::string_view AA, std::string_view AB) {
  if (AA.size() != AB.size()) return false;
  for (std::size_t i = 0; i < AA.size(); ++i)
    if (ToLower(AA[i]) != ToLower(AB[i])) return false;
  return true;
}

// Byte order after folding; bytes compare as signed chars, as std::string does not.
constexpr bool LessIgnoreCase(std::string_view AA, std::string_view AB) {
  const std::size_t n = AA.size() < AB.size() ? AA.size() : AB.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char x = ToLower(AA[i]);
    const char y = ToLower(AB[i]);
    if (x != y) return x < y;
  }
  return AA.size() < AB.size();
}

constexpr bool IsAscii(std::string_view AS) {
  for (char c : AS)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace ascii
