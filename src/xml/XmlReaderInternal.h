// Pieces shared by the reader's node parsers (elements, DTD, document) that are not
// part of its public face: the node-class table, the allowed-type sets of the
// content loop and the guarded step back over a byte just read.
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

// "The input has ended" for the node parsers means that a read needed a byte and
// found none: a read that stops on the very last byte of the input has not ended
// it yet, whatever the parser input's own end flag already says. The reads below
// keep that state in the document (InputEnded); the positions before and after
// each read tell whether it ran off the end.
inline char NextChar(TXmlParser& P, TXmlDocument& D) {
  const std::int64_t Before = P.Position();
  char C = P.NextChar();
  if (P.Position() == Before) D.SetInputEnded(true);
  return C;
}

inline char NextCharSkipBlanks(TXmlParser& P, TXmlDocument& D, std::string& ABlanks) {
  const std::int64_t Before = P.Position();
  char C = P.NextCharSkipBlanks(ABlanks);
  if (P.Position() - Before == static_cast<std::int64_t>(ABlanks.size())) D.SetInputEnded(true);
  return C;
}

inline std::string_view ReadStringUntilChar(TXmlParser& P, TXmlDocument& D, char AChar) {
  const std::int64_t Before = P.Position();
  std::string_view S = P.ReadStringUntilChar(AChar);
  if (P.Position() - Before == static_cast<std::int64_t>(S.size())) D.SetInputEnded(true);
  return S;
}

inline std::string_view ReadStringUntil(TXmlParser& P, TXmlDocument& D,
                                        std::string_view ATerminator) {
  const std::int64_t Before = P.Position();
  std::string_view S = P.ReadStringUntil(ATerminator);
  if (P.Position() - Before != static_cast<std::int64_t>(S.size() + ATerminator.size()))
    D.SetInputEnded(true);
  return S;
}

// The stop byte is left unread, so only a run off the end reaches the end.
inline std::string_view ReadStringUntilBlankOrEndTag(TXmlParser& P, TXmlDocument& D) {
  std::string_view S = P.ReadStringUntilBlankOrEndTag();
  if (P.EndOfStream()) D.SetInputEnded(true);
  return S;
}

inline bool CheckString(TXmlParser& P, TXmlDocument& D, std::string_view S) {
  bool Result = P.CheckString(S);
  if (!Result && P.EndOfStream()) D.SetInputEnded(true);
  return Result;
}

// Steps back over the byte C that was just read. A read at the end of the input
// returns 0 without advancing, so stepping back there would re-read the byte
// before it; the step is skipped in that case.
inline void MoveBackOver(TXmlParser& P, TXmlDocument& D, char C) {
  if (C == 0 && D.InputEnded()) return;
  P.MoveBack();
}

inline bool IsQuoteChar(char C) {
  return C == '"' || C == '\'';
}

}  // namespace xmlread
