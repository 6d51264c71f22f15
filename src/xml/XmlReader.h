// The reader's readings of markup, one per construct, shared by the node
// parsers and the document: each reads its markup into the node it is given
// (kept markup: nodes, events and messages) or, given none, reads exactly the
// same bytes and builds nothing (markup a load's filter declines). Not part of
// the reader's public face.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Blanks.h"
#include "xml/XmlBuild.h"
#include "xml/XmlNodes.h"
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

inline bool IsQuoteChar(char AC) {
  return AC == '"' || AC == '\'';
}

// An element's name, read at the start of its start tag (the text before it is
// let go first).
inline std::string_view ReadElementName(TXmlParser& AParser) {
  AParser.Flush();
  return blanks::TrimWhite(AParser.ReadStringUntilBlankOrEndTag());
}

// The markup of type AType whose opener ReadOpenTag has just read (for an
// element: whose name has been read too, AName): read into ANode, a new node of
// that type, or, when ANode is null, read alike without building anything.
// Returns the node whose end ended the reading: ANode itself, unless an
// element's content broke off (then what the content loop returned). A dropped
// declaration still gives the encoding it names in AEncoding (if given).
TXmlNode* ReadMarkup(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElementType AType,
                     std::string_view AName, TXmlNode* ANode, std::string* AEncoding = nullptr);

// The readings ReadMarkup is made of, each for kept (AInto given) and dropped
// (AInto null) markup alike.

// A quoted literal after optional blanks: an attribute's value, a literal of a
// document type or entity declaration. Kept (AInto given), its raw text goes
// into the node; dropped, into ARawValue when given (a dropped declaration's
// encoding), else it is passed over. (Inline: every attribute, kept or
// dropped, is read through it.)
// AKeep: how many bytes of a kept literal are kept (the rest is read alike).
inline void ReadQuotedText(TXmlParser& AParser, TXmlDocument& ADoc, TXmlQuotedText* AInto,
                           std::size_t AKeep = static_cast<std::size_t>(-1),
                           std::string* ARawValue = nullptr) {
  char q = AParser.NextCharSkipBlanks();
  if (IsQuoteChar(q)) {
    if (AInto) AInto->SetQuoteStyle(q == '"' ? qsQuote : qsApos);
  } else {
    if (AInto)
      XmlDebugOut(*AInto, AInto, wsWarn, "quote char expected at pos %d", {AParser.Position()});
    // Without a quote the literal is empty; a repairing load reads it to the
    // next blank.
    if (!ADoc.FixStructuralErrors()) {
      if (ARawValue) ARawValue->clear();
      return;
    }
    AParser.MoveBackOver(q);
    q = ' ';
  }
  if (AInto == nullptr && ARawValue != nullptr) {
    ARawValue->assign(AParser.ReadQuotedString(q));
  } else if (AInto == nullptr) {
    AParser.SkipUntilChar(q);
  } else if (AKeep == static_cast<std::size_t>(-1)) {
    AInto->SetRawValue(AParser.ReadQuotedString(q));
  } else {
    // The head, then the rest let go: a value of any length costs the head.
    // Mostly the value lies in the buffer whole; else it is read byte by byte.
    const std::string_view held = AParser.Buffered();
    const std::size_t end = held.find(q);
    if (end != std::string_view::npos) {
      AInto->SetRawValue(held.substr(0, std::min(end, AKeep)));
      AParser.Consume(end + 1);
      return;
    }
    std::string head;
    AParser.ReadHeadUntilChar(q, AKeep, head);
    AInto->SetRawValue(head);
  }
}

// How a text run is trimmed of white bytes: element content at its end; the
// root level at both ends, or not at all where white space is preserved.
enum TTextTrim : std::uint8_t { ttEnd, ttBothEnds, ttNone };

// A text run, up to and over the next "<" (or to the end of the input): of
// element content (AParent the element; dropped content: AKept false) or of the
// root level (AParent null). Kept text that is not empty once trimmed makes a
// text node, when the load's filter takes it: returned for the caller to
// place; null otherwise.
TXmlCharData* ReadTextRun(TXmlParser& AParser, TXmlDocument& ADoc, const TXmlNode* AParent,
                          bool AKept, TTextTrim ATrim);

// The head of a comment after its opener (see TXmlNodeFilter), read before the
// comment is offered: a load's filter judges comments by what they say.
inline void ReadCommentHead(TXmlParser& AParser, std::string& AHead) {
  AParser.ReadHeadUntil("-->", cCommentHeadBytes, true, AHead);
}
// Gives a comment read so its text (ANode may be null: declined).
void SetCommentText(TXmlNode* ANode, std::string_view AText);

// The attributes of a start tag, declaration or style sheet, up to the byte that
// ends the list ("!", "/", ">" or "?"), which is returned (0 at the end of the
// input). An element's attributes are offered to the load's filter. Reading
// dropped pseudo-attributes, AEncoding (if given) receives the value of the
// first one named "encoding", or is left empty.
char ReadAttributeList(TXmlParser& AParser, TXmlDocument& ADoc, TXmlContainerNode* AInto,
                       std::string* AEncoding);
// Quoted literals up to "!", "/" or ">" (returned; 0 at the end).
char ReadQuotedTextList(TXmlParser& AParser, TXmlDocument& AD, TXmlContainerNode* AInto);
// The content of an element or the internal subset of a document type, up to
// its end; returns the node closed by the end tag that ended it, or null.
TXmlNode* ReadContent(TXmlParser& AParser, TXmlDocument& AD, TXmlContainerNode* AInto,
                      std::uint32_t AAllowed);
// The skims (XmlSkim.cpp): dropped markup read over the text the parser input
// holds now (AText, from AAt on) exactly as the readings above read it, for
// speed. Each stops where the held text ends, or before markup it leaves to
// the readings; what it passed is then consumed.

// A dropped attribute list, as ReadAttributeList reads it: AEnd receives the
// byte that ends it; returns the index after that byte, or npos.
std::size_t SkimAttributeList(std::string_view AText, std::size_t AAt, char& AEnd);
// A dropped element's start tag after its name: returns the index after it, or
// npos; AComplete as the start tag's reading answers.
std::size_t SkimStartTag(std::string_view AText, std::size_t AAt, bool& AComplete);
// Which element start tags a skim of content passes: none (it stops before
// each), all but those that may have the name the filter takes inside
// (TXmlNodeFilter::TakesInsideOnly), or all.
enum TSkimKind : std::uint8_t { snNone, snAllButNamed, snAll };
struct TSkimNames {
  TSkimKind Kind = snNone;
  std::string_view Name;  // snAllButNamed: the name
};
// The content of a dropped element whose open elements AOpen counts: items
// skimmed up to the first one left to the readings (AAt: its "<") or the end
// of the held text (AAt: there). True when an end tag closed the last open
// element (AAt: after it).
bool SkimContent(std::string_view AText, const TSkimNames& ANames, std::uint64_t& AOpen,
                 std::size_t& AAt);

// A document type after "<!DOCTYPE", and a declaration of its internal subset
// after its keyword.
void ReadDocType(TXmlParser& AParser, TXmlDocument& AD, TXmlDocType* AInto);
void ReadDtdDeclaration(TXmlParser& AParser, TXmlDocument& AD, TXmlElementType AType,
                        TXmlDtdElement* AInto);
// What follows a declaration's name: an entity's literals, another's body text.
void ReadDtdDeclarationBody(TXmlParser& AParser, TXmlDocument& AD, TXmlElementType AType,
                            TXmlDtdElement* AInto);

}  // namespace xmlread
