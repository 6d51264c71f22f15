// ASCII letter case, the only case rule the reader's own comparisons use: A-Z
// and a-z fold into each other, every other byte (each byte of a multi-byte
// character included) stands for itself. Locale-aware comparison is the
// platform's job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ascii {

constexpr char ToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

constexpr std::uint8_t ToLower(std::uint8_t c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + ('a' - 'A')) : c;
}

constexpr char16_t ToLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  return true;
}

// Byte order after folding; bytes compare as signed chars, as std::string does not.
constexpr bool LessIgnoreCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char x = ToLower(a[i]);
    const char y = ToLower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

constexpr bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace ascii
