// Fuzzes turning a record into what each consumer hands its host: the content
// plugin's answers in host buffers of any size (and the host tool's UTF-8 of
// them), the file-manager columns' UTF-8, the KDE extractor's and the property
// handler's UTF-16 (its facts, dates included). The record's texts are any
// code units, lone surrogates too, of any length. Every text that comes out is
// well-formed, in UTF-8 or UTF-16, and is the start of the record's text with
// its lone surrogates shown as U+FFFD, never cut inside a character.
//
// The input: byte 0 the host buffer's size in bytes (0..255; a file manager's
// 8 KiB as well), byte 1 a count of repeats that makes the texts long, bytes
// 2..9 the calculated width and height, byte 10 the flags; the rest is UTF-16
// code units (little-endian), the texts separated by U+FFFF.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "PropertyFacts.h"
#include "base/Utf16.h"
#include "extract/SvgFields.h"
#include "platform/Platform.h"
#include "plugin/FieldAnswers.h"
#include "plugin/contplug.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition) std::abort();
}

// Strict UTF-8 as GLib's g_utf8_validate takes it: no overlong form, no
// surrogate, nothing above U+10FFFF, no sequence cut short.
bool IsWellFormedUtf8(std::string_view AText) {
  const auto* s = reinterpret_cast<const unsigned char*>(AText.data());
  const std::size_t n = AText.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned c = s[i];
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF)
      length = 2;
    else if (c >= 0xE0 && c <= 0xEF)
      length = 3;
    else if (c >= 0xF0 && c <= 0xF4)
      length = 4;
    else
      return false;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
    if (i + length > n) return false;
    if (s[i + 1] < low || s[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k)
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
    i += length;
  }
  return true;
}

// What a consumer shows of AText: its start, well-formed.
void CheckShown(std::u16string_view AShown, std::u16string_view AText) {
  Check(utf16::IsWellFormed(AShown));
  Check(AShown.size() <= AText.size());
  Check(AShown == std::u16string_view(utf16::WellFormed(AText)).substr(0, AShown.size()));
}

void CheckUtf8(std::string_view AUtf8, std::u16string_view AText) {
  Check(IsWellFormedUtf8(AUtf8));
  Check(platform::Utf8ToUtf16(AUtf8) == utf16::WellFormed(AText));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  if (ASize < 11) return 0;
  const std::int32_t maxLen = AData[0];
  const int repeats = 1 + AData[1] % 8;
  TVexmeta record;
  std::memcpy(&record.IntWidth, AData + 2, 4);
  std::memcpy(&record.IntHeight, AData + 6, 4);
  record.EmbeddedImage = (AData[10] & 1) != 0;
  record.FromFallback = AData[10] >> 1;

  // The texts, in field order.
  std::vector<std::u16string> texts(1);
  for (std::size_t i = 11; i + 1 < ASize; i += 2) {
    const char16_t unit = static_cast<char16_t>(AData[i] | (AData[i + 1] << 8));
    if (unit == 0xFFFF)
      texts.emplace_back();
    else
      texts.back() += unit;
  }
  std::size_t next = 0;
  for (const TFieldRow& row : cFieldRows) {
    if (row.Kind != fkText || next >= texts.size()) continue;
    std::u16string& text = record.*row.Text;
    for (int r = 0; r < repeats; ++r) text += texts[next];
    ++next;
  }

  for (const TFieldRow& row : cFieldRows) {
    for (const std::int32_t size : {maxLen, std::int32_t{8192}}) {
      // The plugin: the host's buffer, the unit the host asks for.
      std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\x55');
      const std::int32_t type = AnswerField(row, record, 0, true, buffer.data(), size);
      Check(buffer[static_cast<std::size_t>(size)] == '\x55');  // nothing past the buffer
      if (type != ft_stringw || size < 2) continue;
      std::u16string shown(static_cast<std::size_t>(size) / 2, u'\0');
      std::memcpy(shown.data(), buffer.data(), shown.size() * 2);
      const std::size_t end = shown.find(u'\0');
      Check(end != std::u16string::npos);
      shown.resize(end);
      const std::u16string& text = record.*row.Text;
      CheckShown(shown, text.substr(0, std::min(text.size(), text.find(u'\0'))));
      // The host tool prints the answer as UTF-8.
      CheckUtf8(platform::Utf16ToUtf8(shown), shown);
    }
    // The file-manager columns' UTF-8 and the KDE extractor's text.
    if (row.Kind == fkText) {
      const std::u16string& text = record.*row.Text;
      CheckUtf8(platform::Utf16ToUtf8(text), text);
      CheckShown(utf16::WellFormed(text), text);
    }
  }

  // The property handler's facts.
  for (const TFact& fact : FactsOf(record)) {
    Check(utf16::IsWellFormed(fact.Text));
    if (fact.Row->Form == pfText) CheckShown(fact.Text, record.*cFieldRows[fact.Row->Field].Text);
  }
  return 0;
}
