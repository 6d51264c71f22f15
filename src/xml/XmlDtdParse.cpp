// DOCTYPE and internal-subset parsing, for kept and dropped markup alike. The
// declarations are kept as nodes with the text they were written with, for
// inspection only: nothing is validated and no declared entity is ever
// substituted.
#include "xml/XmlNodes.h"
#include "xml/XmlParser.h"
#include "xml/XmlReader.h"

namespace xmlread {

namespace {

// Consumes blanks and leaves the input on the first other byte.
void SkipBlanks(TXmlParser& P) {
  P.MoveBackOver(P.NextCharSkipBlanks());
}

}  // namespace

void ReadDocType(TXmlParser& P, TXmlDocument& D, TXmlDocType* AInto) {
  SkipBlanks(P);
  const std::string_view Name = TrimWhite(P.ReadStringUntilBlankOrEndTag());
  if (AInto) AInto->SetName(Name);
  char C = P.NextCharSkipBlanks();
  if (C != '>' && C != '[') {
    P.MoveBackOver(C);
    if (P.CheckString("SYSTEM")) {
      if (AInto) AInto->ExternalID()->SetRawValue("SYSTEM");
      ReadQuotedText(P, D, AInto ? AInto->SystemLiteral() : nullptr);
    } else if (P.CheckString("PUBLIC")) {
      if (AInto) AInto->ExternalID()->SetRawValue("PUBLIC");
      ReadQuotedText(P, D, AInto ? AInto->PubIDLiteral() : nullptr);
      ReadQuotedText(P, D, AInto ? AInto->SystemLiteral() : nullptr);
    } else {
      if (AInto)
        XmlDebugOut(*AInto, AInto, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
      return;
    }
    C = P.NextCharSkipBlanks();
  }
  if (C == '[') {
    ReadContent(P, D, AInto, cDocTypeContentTypes);
    C = P.NextCharSkipBlanks();
  }
  if (C != '>' && AInto)
    XmlDebugOut(*AInto, AInto, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
}

void ReadDtdDeclaration(TXmlParser& P, TXmlDocument& D, TXmlElementType AType,
                        TXmlDtdElement* AInto) {
  SkipBlanks(P);
  const std::string_view Name = TrimWhite(P.ReadStringUntilBlankOrEndTag());
  if (AInto) AInto->SetName(Name);
  SkipBlanks(P);
  ReadDtdDeclarationBody(P, D, AType, AInto);
}

void ReadDtdDeclarationBody(TXmlParser& P, TXmlDocument& D, TXmlElementType AType,
                            TXmlDtdElement* AInto) {
  if (AType == xeDtdEntity) {
    // The quoted literals of an entity declaration, up to ">".
    const char C = ReadQuotedTextList(P, D, AInto);
    if (C != '>' && AInto)
      XmlDebugOut(*AInto, AInto, wsFail, "illegal end tag (\"%s\") at line %d (streampos %d)",
                  {C, P.LineNumber(), P.Position()});
    return;
  }
  // The other declarations keep their body as one text.
  if (AInto == nullptr) {
    P.SkipUntil(">");
    return;
  }
  auto* Body = D.CreateNode<TXmlCharData>();
  AInto->NodeAdd(Body);
  D.DoNodeNew(Body);
  Body->SetRawValue(P.ReadStringUntil(">"));
  D.DoNodeLoaded(Body);
}

}  // namespace xmlread

TXmlNode* TXmlDocType::ParseStream(TXmlParser& P) {
  return xmlread::ReadMarkup(P, *Document(), xeDocType, {}, this);
}

TXmlNode* TXmlDtdElement::ParseStream(TXmlParser& P) {
  return xmlread::ReadMarkup(P, *Document(), ElementType(), {}, this);
}

void TXmlDtdElement::ReadDeclarationBody(TXmlParser& P) {
  xmlread::ReadDtdDeclarationBody(P, *Document(), ElementType(), this);
}
