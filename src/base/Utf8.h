// UTF-8 to UTF-16 for every text the plugin reports, written once so that the
// same bytes give the same text on every platform (the system converters differ
// on ill-formed input). Well-formed input is converted exactly; ill-formed input
// gives one U+FFFD per maximal subpart of an ill-formed sequence, as the Unicode
// recommendation and the WHATWG decoder do.
#pragma once

#include <string>
#include <string_view>

namespace utf8 {

// Ill-formed are: a byte that starts no sequence (80..BF alone, C0, C1, F5..FF),
// a sequence cut short by a byte out of its range or by the end of the text,
// overlong forms (E0 80..9F, F0 80..8F), encoded surrogates (ED A0..BF) and code
// points above U+10FFFF (F4 90..BF). The byte that ends a cut-short sequence
// starts the next one.
std::u16string ToUtf16(std::string_view AText);

}  // namespace utf8
