// DOCTYPE and internal-subset parsing. The declarations are kept as nodes with the
// text they were written with, for inspection only: nothing is validated and no
// declared entity is ever substituted.
#include "xml/XmlDocument.h"
#include "xml/XmlParser.h"
#include "xml/XmlReaderInternal.h"

namespace {

// Consumes blanks and leaves the input on the first other byte.
void SkipBlanks(TXmlParser& P, std::string& ABlanks) {
  char C = P.NextCharSkipBlanks(ABlanks);
  P.MoveBackOver(C);
}

}  // namespace

TXmlNode* TXmlDocType::ParseStream(TXmlParser& P) {
  std::string Blanks;
  SkipBlanks(P, Blanks);
  SetName(TrimWhite(P.ReadStringUntilBlankOrEndTag()));
  char C = P.NextCharSkipBlanks(Blanks);
  if (C != '>' && C != '[') {
    P.MoveBackOver(C);
    if (P.CheckString("SYSTEM")) {
      FExternalID->SetRawValue("SYSTEM");
      FSystemLiteral->ParseStream(P);
    } else if (P.CheckString("PUBLIC")) {
      FExternalID->SetRawValue("PUBLIC");
      FPubIDLiteral->ParseStream(P);
      FSystemLiteral->ParseStream(P);
    } else {
      XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
      return this;
    }
    C = P.NextCharSkipBlanks(Blanks);
  }
  if (C == '[') {
    ReadContent(P, xmlread::cDocTypeContentTypes);
    C = P.NextCharSkipBlanks(Blanks);
  }
  if (C != '>')
    XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
  return this;
}

void TXmlDocType::ReadTextRun(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  std::string Blanks;
  for (;;) {
    char C = P.NextCharSkipBlanks(Blanks);
    if (Doc.PreserveWhiteSpace() && !Blanks.empty() && Blanks != " ") {
      auto* W = Doc.CreateNode<TXmlWhiteSpace>();
      W->SetRawValue(Blanks);
      NodeAdd(W);
    }
    if (P.InputEnded()) return;
    if (C == '<' || C == ']') return;
    XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
    P.ReadStringUntilBlankOrEndTag();
  }
}

TXmlNode* TXmlDtdElement::ParseStream(TXmlParser& P) {
  std::string Blanks;
  SkipBlanks(P, Blanks);
  SetName(TrimWhite(P.ReadStringUntilBlankOrEndTag()));
  SkipBlanks(P, Blanks);
  ReadDeclarationBody(P);
  return this;
}

void TXmlDtdElement::ReadDeclarationBody(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  auto* Body = Doc.CreateNode<TXmlCharData>();
  NodeAdd(Body);
  Doc.DoNodeNew(Body);
  Body->SetRawValue(P.ReadStringUntil(">"));
  Doc.DoNodeLoaded(Body);
}

void TXmlDtdEntity::ReadDeclarationBody(TXmlParser& P) {
  char C = ReadQuotedTextList(P);
  if (C != '>')
    XmlDebugOut(*this, this, wsFail, "illegal end tag (\"%s\") at line %d (streampos %d)",
                {C, P.LineNumber(), P.Position()});
}
