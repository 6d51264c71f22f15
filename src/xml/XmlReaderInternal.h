// Pieces shared by the reader's node parsers (elements, DTD, document) that are not
// part of its public face: the node-class table and the allowed-type sets of the
// content loop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "xml/XmlDocument.h"
#include "xml/XmlParser.h"

namespace xmlread {

constexpr std::uint32_t TypeBit(TXmlElementType AType) {
  return 1u << AType;
}

// What element content accepts (the parser input reports only some of these).
constexpr std::uint32_t cElementContentTypes =
    TypeBit(xeElement) | TypeBit(xeAttribute) | TypeBit(xeCharData) | TypeBit(xeComment) |
    TypeBit(xeCData) | TypeBit(xeInstruction) | TypeBit(xeWhiteSpace) | TypeBit(xeQuotedText) |
    TypeBit(xeEndTag);
// What a DOCTYPE internal subset accepts.
constexpr std::uint32_t cDocTypeContentTypes =
    TypeBit(xeCharData) | TypeBit(xeComment) | TypeBit(xeDtdElement) | TypeBit(xeDtdAttList) |
    TypeBit(xeDtdEntity) | TypeBit(xeDtdNotation) | TypeBit(xeInstruction);

// The node-class table: a new node of the class made for AType, or null for the
// parser-only types (end tag, error).
TXmlNode* NewNodeOfType(TXmlDocument& ADoc, TXmlElementType AType);

inline bool IsQuoteChar(char C) {
  return C == '"' || C == '\'';
}

}  // namespace xmlread
