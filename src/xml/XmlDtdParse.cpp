// DOCTYPE and internal-subset parsing. The declarations are kept as nodes with the
// text they were written with, for inspection only: nothing is validated and no
// declared entity is ever substituted.
#include "xml/XmlDocument.h"
#include "xml/XmlParser.h"
#include "xml/XmlReaderInternal.h"

using xmlread::CheckString;
using xmlread::MoveBackOver;
using xmlread::NextCharSkipBlanks;
using xmlread::ReadStringUntilBlankOrEndTag;

namespace {

// Consumes blanks and leaves the input on the first other byte.
void SkipBlanks(TXmlParser& P, TXmlDocument& D, std::string& ABlanks) {
  char C = NextCharSkipBlanks(P, D, ABlanks);
  MoveBackOver(P, D, C);
}

}  // namespace

TXmlNode* TXmlDocType::ParseStream(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  std::string Blanks;
  SkipBlanks(P, Doc, Blanks);
  SetName(TrimWhite(ReadStringUntilBlankOrEndTag(P, Doc)));
  char C = NextCharSkipBlanks(P, Doc, Blanks);
  if (C != '>' && C != '[') {
    MoveBackOver(P, Doc, C);
    if (CheckString(P, Doc, "SYSTEM")) {
      FExternalID->SetRawValue("SYSTEM");
      FSystemLiteral->ParseStream(P);
    } else if (CheckString(P, Doc, "PUBLIC")) {
      FExternalID->SetRawValue("PUBLIC");
      FPubIDLiteral->ParseStream(P);
      FSystemLiteral->ParseStream(P);
    } else {
      XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
      return this;
    }
    C = NextCharSkipBlanks(P, Doc, Blanks);
  }
  if (C == '[') {
    ReadContent(P, xmlread::cDocTypeContentTypes);
    C = NextCharSkipBlanks(P, Doc, Blanks);
  }
  if (C != '>')
    XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
  return this;
}

void TXmlDocType::ReadTextRun(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  std::string Blanks;
  for (;;) {
    char C = NextCharSkipBlanks(P, Doc, Blanks);
    if (Doc.PreserveWhiteSpace() && !Blanks.empty() && Blanks != " ") {
      auto* W = Doc.CreateNode<TXmlWhiteSpace>();
      W->SetRawValue(Blanks);
      NodeAdd(W);
    }
    if (Doc.InputEnded()) return;
    if (C == '<' || C == ']') return;
    XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
    ReadStringUntilBlankOrEndTag(P, Doc);
  }
}

TXmlNode* TXmlDtdElement::ParseStream(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  std::string Blanks;
  SkipBlanks(P, Doc, Blanks);
  SetName(TrimWhite(ReadStringUntilBlankOrEndTag(P, Doc)));
  SkipBlanks(P, Doc, Blanks);
  ReadDeclarationBody(P);
  return this;
}

void TXmlDtdElement::ReadDeclarationBody(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  auto* Body = Doc.CreateNode<TXmlCharData>();
  NodeAdd(Body);
  Doc.DoNodeNew(Body);
  Body->SetRawValue(xmlread::ReadStringUntil(P, Doc, ">"));
  Doc.DoNodeLoaded(Body);
}

void TXmlDtdEntity::ReadDeclarationBody(TXmlParser& P) {
  char C = ReadQuotedTextList(P);
  if (C != '>')
    XmlDebugOut(*this, this, wsFail, "illegal end tag (\"%s\") at line %d (streampos %d)",
                {C, P.LineNumber(), P.Position()});
}
