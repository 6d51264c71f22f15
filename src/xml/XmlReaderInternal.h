// Pieces shared by the reader's node parsers (elements, DTD, document) that are not
// part of its public face: the node-class table, the allowed-type sets of the
// content loop, and the reads of markup a filtered load declines.
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

// An element's name, read at the start of its start tag (the text before it is
// let go first).
inline std::string_view ReadElementName(TXmlParser& P) {
  P.Flush();
  // Names are short: most end in the buffer, where they are taken straight.
  const std::string_view B = P.Buffered();
  for (std::size_t I = 0; I < B.size(); ++I) {
    if (xmlbytes::IsNameStop(static_cast<std::uint8_t>(B[I]))) {
      P.Consume(I);
      return TrimWhite(B.substr(0, I));
    }
  }
  return TrimWhite(P.ReadStringUntilBlankOrEndTag());
}

// A quoted literal as a quoted-text node reads it; its raw text, which lives
// until the next read.
std::string_view ReadQuotedText(TXmlParser& P, TXmlDocument& D);

// Declined markup (XmlSkim.cpp): read as the node parsers read it, without
// nodes or messages.
void SkimQuotedText(TXmlParser& P, TXmlDocument& D);
// A comment, CDATA section or processing instruction, after its opener.
void SkimLeaf(TXmlParser& P, TXmlElementType AType);
// An element after its name: the rest of the start tag and the content. True
// when it ended as a child element ends (self-closed, broken start tag, or its
// end tag); false when its content broke off, which breaks off every element
// around it.
bool SkimElement(TXmlParser& P, TXmlDocument& D);
// A declaration or style sheet after its opener; AEncoding (if given) receives
// the value of its encoding attribute, or empty.
void SkimDeclaration(TXmlParser& P, TXmlDocument& D, std::string* AEncoding);
// Any other markup the root level reads after its opener: a document type, a
// declaration of an internal subset, a comment, CDATA or an instruction.
void SkimRootNode(TXmlParser& P, TXmlDocument& D, TXmlElementType AType);

}  // namespace xmlread
