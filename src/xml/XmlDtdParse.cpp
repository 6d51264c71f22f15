// DOCTYPE and internal-subset parsing. The declarations are kept as nodes with the
// text they were written with, for inspection only: nothing is validated and no
// declared entity is ever substituted.
#include "xml/NativeXml.h"
#include "xml/XmlReaderInternal.h"
#include "xml/sdXmlParser.h"

using sdxml::CheckString;
using sdxml::MoveBackOver;
using sdxml::NextCharSkipBlanks;
using sdxml::ReadStringUntilBlankOrEndTag;

namespace {

// Consumes blanks and leaves the input on the first other byte.
void SkipBlanks(TsdXmlParser& P, TNativeXml& D, std::string& ABlanks) {
  char C = NextCharSkipBlanks(P, D, ABlanks);
  MoveBackOver(P, D, C);
}

}  // namespace

TXmlNode* TsdDocType::ParseStream(TsdXmlParser& P) {
  TNativeXml& Doc = *Document();
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
      sdDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
      return this;
    }
    C = NextCharSkipBlanks(P, Doc, Blanks);
  }
  if (C == '[') {
    ReadContent(P, sdxml::cDocTypeContentTypes);
    C = NextCharSkipBlanks(P, Doc, Blanks);
  }
  if (C != '>')
    sdDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
  return this;
}

void TsdDocType::ReadTextRun(TsdXmlParser& P) {
  TNativeXml& Doc = *Document();
  std::string Blanks;
  for (;;) {
    char C = NextCharSkipBlanks(P, Doc, Blanks);
    if (Doc.PreserveWhiteSpace() && !Blanks.empty() && Blanks != " ") {
      auto* W = Doc.CreateNode<TsdWhiteSpace>();
      W->SetRawValue(Blanks);
      NodeAdd(W);
    }
    if (Doc.InputEnded()) return;
    if (C == '<' || C == ']') return;
    sdDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
    ReadStringUntilBlankOrEndTag(P, Doc);
  }
}

TXmlNode* TsdDtdElement::ParseStream(TsdXmlParser& P) {
  TNativeXml& Doc = *Document();
  std::string Blanks;
  SkipBlanks(P, Doc, Blanks);
  SetName(TrimWhite(ReadStringUntilBlankOrEndTag(P, Doc)));
  SkipBlanks(P, Doc, Blanks);
  ReadDeclarationBody(P);
  return this;
}

void TsdDtdElement::ReadDeclarationBody(TsdXmlParser& P) {
  TNativeXml& Doc = *Document();
  auto* Body = Doc.CreateNode<TsdCharData>();
  NodeAdd(Body);
  Doc.DoNodeNew(Body);
  Body->SetRawValue(sdxml::ReadStringUntil(P, Doc, ">"));
  Doc.DoNodeLoaded(Body);
}

void TsdDtdEntity::ReadDeclarationBody(TsdXmlParser& P) {
  char C = ReadQuotedTextList(P);
  if (C != '>')
    sdDebugOut(*this, this, wsFail, "illegal end tag (\"%s\") at line %d (streampos %d)",
               {C, P.LineNumber(), P.Position()});
}
