// The skims: readings of dropped markup over the text the parser input holds
// now, moving exactly as the readings of XmlElementParse.cpp move over it, at
// the speed of a byte search. They read only what is certain from the held
// text alone (a start tag without an image's name, an end tag, a comment, a
// CDATA section, an instruction) and stop before anything else, which the
// readings then read as usual: so an embedded image is never taken from what
// they pass, and every break-off happens where it would.
#include <cstring>

#include "base/Ascii.h"
#include "base/Blanks.h"
#include "xml/XmlParser.h"
#include "xml/XmlReader.h"

namespace xmlread {

namespace {

constexpr std::size_t cNone = std::string_view::npos;

[[gnu::always_inline]] inline std::size_t SkipBlanks(std::string_view AText, std::size_t AAt) {
  while (AAt < AText.size() && xmlbytes::IsBlank(static_cast<std::uint8_t>(AText[AAt]))) ++AAt;
  return AAt;
}

// Past the next AChar at or after AAt; cNone when the text has none. Markup
// mostly stands a byte or two apart, closer than a search pays off.
[[gnu::always_inline]] inline std::size_t PastChar(std::string_view AText, std::size_t AAt,
                                                   char AChar) {
  const char* const p = AText.data();
  const std::size_t n = AText.size();
  if (AAt < n && p[AAt] == AChar) return AAt + 1;
  if (AAt + 1 < n && p[AAt + 1] == AChar) return AAt + 2;
  if (AAt >= n) return cNone;
  const void* hit = std::memchr(p + AAt, AChar, n - AAt);
  return hit == nullptr ? cNone : static_cast<std::size_t>(static_cast<const char*>(hit) - p) + 1;
}

// Past the next ATerminator at or after AAt (the reads compare it with ASCII
// case folded: the terminators have no letters).
std::size_t Past(std::string_view AText, std::size_t AAt, std::string_view ATerminator) {
  if (AAt > AText.size()) return cNone;
  const std::size_t at = xmlbytes::FindTerminator(AText, AAt, ATerminator);
  return at == cNone ? cNone : at + ATerminator.size();
}

// Whether the ASCII-case-folded text at AAt begins with AWord (false when the
// held text ends first: the caller stops then).
bool HasWordAt(std::string_view AText, std::size_t AAt, std::string_view AWord, bool& AShort) {
  AShort = AText.size() - AAt < AWord.size();
  return !AShort && ascii::EqualsIgnoreCase(AText.substr(AAt, AWord.size()), AWord);
}

// Whether an element of this name may be one the filter takes inside.
bool MayBeTaken(std::string_view AName, std::string_view ASought) {
  // Most names are shorter, and trimming only shortens them.
  if (AName.size() < ASought.size()) return false;
  const std::string_view name = blanks::TrimWhite(AName);
  if (ascii::EqualsIgnoreCase(name, ASought)) return true;
  return name.size() > ASought.size() && name[name.size() - ASought.size() - 1] == ':' &&
         ascii::EqualsIgnoreCase(name.substr(name.size() - ASought.size()), ASought);
}

}  // namespace

std::size_t SkimAttributeList(std::string_view AText, std::size_t AAt, char& AEnd) {
  for (;;) {
    AAt = SkipBlanks(AText, AAt);
    if (AAt >= AText.size()) return cNone;
    const char c = AText[AAt++];
    if (c == '!' || c == '/' || c == '>' || c == '?') {
      AEnd = c;
      return AAt;
    }
    // A stray quote is passed over.
    if (IsQuoteChar(c)) continue;
    // The name runs to "=", whatever it holds; the value is a quoted literal,
    // or empty where no quote follows (that byte is passed over).
    AAt = PastChar(AText, AAt - 1, '=');
    if (AAt == cNone) return cNone;
    AAt = SkipBlanks(AText, AAt);
    if (AAt >= AText.size()) return cNone;
    const char q = AText[AAt++];
    if (!IsQuoteChar(q)) continue;
    AAt = PastChar(AText, AAt, q);
    if (AAt == cNone) return cNone;
  }
}

std::size_t SkimStartTag(std::string_view AText, std::size_t AAt, bool& AComplete) {
  char end = 0;
  AAt = SkimAttributeList(AText, AAt, end);
  if (AAt == cNone) return cNone;
  // "/" closes the element with whatever byte follows it.
  if (end == '/') {
    if (AAt >= AText.size()) return cNone;
    ++AAt;
  }
  AComplete = end != '>';
  return AAt;
}

bool SkimContent(std::string_view AText, const TSkimNames& ANames, std::uint64_t& AOpen,
                 std::size_t& AAt) {
  bool isShort = false;
  for (;;) {
    // The text run, then the markup after its "<".
    const std::size_t lt = PastChar(AText, AAt, '<');
    if (lt == cNone) {
      AAt = AText.size();
      return false;
    }
    if (lt >= AText.size()) {
      AAt = lt - 1;
      return false;
    }
    std::size_t next = cNone;
    switch (AText[lt]) {
      case '/':
        next = PastChar(AText, lt + 1, '>');
        if (next != cNone && --AOpen == 0) {
          AAt = next;
          return true;
        }
        break;
      case '!':
        if (HasWordAt(AText, lt + 1, "--", isShort))
          next = Past(AText, lt + 3, "-->");
        else if (HasWordAt(AText, lt + 1, "[cdata[", isShort))
          next = Past(AText, lt + 8, "]]>");
        break;
      case '?':
        // "<?xml" is a declaration or style sheet, which ends element content.
        if (!HasWordAt(AText, lt + 1, "xml", isShort) && !isShort) next = Past(AText, lt + 1, "?>");
        break;
      default: {
        std::size_t end = lt;
        while (end < AText.size() && !xmlbytes::IsNameStop(static_cast<std::uint8_t>(AText[end])))
          ++end;
        if (end >= AText.size() || ANames.Kind == snNone ||
            (ANames.Kind == snAllButNamed && MayBeTaken(AText.substr(lt, end - lt), ANames.Name)))
          break;
        bool complete = false;
        next = SkimStartTag(AText, end, complete);
        if (next != cNone && !complete) ++AOpen;
        break;
      }
    }
    if (next == cNone) {
      // Read as usual from its "<".
      AAt = lt - 1;
      return false;
    }
    AAt = next;
  }
}

}  // namespace xmlread
