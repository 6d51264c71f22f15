// The kinds of markup the reader knows, with their display names. Every node class
// answers one of these as its ElementType; the parser input classifies markup with
// them too (an end tag and an error are parser tokens, never nodes).
#pragma once

#include <cstdint>

enum TXmlElementType : std::uint8_t {
  xeElement = 0,
  xeAttribute = 1,
  xeCharData = 2,
  xeComment = 3,
  xeCData = 4,
  xeCondSection = 5,
  xeDeclaration = 6,
  xeStylesheet = 7,
  xeDocType = 8,
  xeDtdElement = 9,
  xeDtdAttList = 10,
  xeDtdEntity = 11,
  xeDtdNotation = 12,
  xeInstruction = 13,
  xeWhiteSpace = 14,
  xeQuotedText = 15,
  xeEndTag = 16,
  xeError = 17
};
static_assert(sizeof(TXmlElementType) == 1);

// "Element", "Attribute", "Text", ... "EndTag", "Error".
const char* ElementTypeName(TXmlElementType AType);
