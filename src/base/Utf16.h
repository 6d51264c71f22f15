// UTF-16 as the consumers hand it on: a text leaves the engine for a host's
// buffer, a toolkit or a property system only well-formed, so a lone surrogate
// is shown as U+FFFD and a text cut to fit a buffer is never cut between the
// two halves of a pair. Every consumer's conversion goes through these.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace utf16 {

constexpr char16_t cReplacement = 0xFFFD;

// Whether every surrogate of the text is half of a pair.
bool IsWellFormed(std::u16string_view AText);

// How many code units of the text fit in AMaxUnits without cutting a pair: the
// text's size when it fits, else AMaxUnits, or one less when that would end on
// the first half of a pair.
std::size_t FittingUnits(std::u16string_view AText, std::size_t AMaxUnits);

// The text with each lone surrogate replaced by U+FFFD; the same length.
std::u16string WellFormed(std::u16string_view AText);

}  // namespace utf16
