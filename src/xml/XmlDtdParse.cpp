// DOCTYPE and internal-subset parsing, for kept and dropped markup alike. The
// declarations are kept as nodes with the text they were written with, for
// inspection only: nothing is validated and no declared entity is ever
// substituted.
#include "base/Blanks.h"
#include "xml/XmlNodes.h"
#include "xml/XmlParser.h"
#include "xml/XmlReader.h"

namespace xmlread {

namespace {

// Consumes blanks and leaves the input on the first other byte.
void SkipBlanks(TXmlParser& AParser) {
  AParser.MoveBackOver(AParser.NextCharSkipBlanks());
}

// The name of a declaration into AInto; passed over when it is dropped.
template <class TNode>
void ReadName(TXmlParser& AParser, TNode* AInto) {
  if (AInto)
    AInto->SetName(blanks::TrimWhite(AParser.ReadStringUntilBlankOrEndTag()));
  else
    AParser.SkipUntilBlankOrEndTag();
}

}  // namespace

void ReadDocType(TXmlParser& AParser, TXmlDocument& ADoc, TXmlDocType* AInto) {
  SkipBlanks(AParser);
  ReadName(AParser, AInto);
  char c = AParser.NextCharSkipBlanks();
  if (c != '>' && c != '[') {
    AParser.MoveBackOver(c);
    if (AParser.CheckString("SYSTEM")) {
      if (AInto) AInto->ExternalID()->SetRawValue("SYSTEM");
      ReadQuotedText(AParser, ADoc, AInto ? AInto->SystemLiteral() : nullptr);
    } else if (AParser.CheckString("PUBLIC")) {
      if (AInto) AInto->ExternalID()->SetRawValue("PUBLIC");
      ReadQuotedText(AParser, ADoc, AInto ? AInto->PubIDLiteral() : nullptr);
      ReadQuotedText(AParser, ADoc, AInto ? AInto->SystemLiteral() : nullptr);
    } else {
      if (AInto)
        XmlDebugOut(*AInto, AInto, wsWarn, "illegal tag (\"%s\") at pos %d",
                    {c, AParser.Position()});
      return;
    }
    c = AParser.NextCharSkipBlanks();
  }
  if (c == '[') {
    ReadContent(AParser, ADoc, AInto, cDocTypeContentTypes);
    c = AParser.NextCharSkipBlanks();
  }
  if (c != '>' && AInto)
    XmlDebugOut(*AInto, AInto, wsWarn, "illegal tag (\"%s\") at pos %d", {c, AParser.Position()});
}

void ReadDtdDeclaration(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElementType AType,
                        TXmlDtdElement* AInto) {
  SkipBlanks(AParser);
  ReadName(AParser, AInto);
  SkipBlanks(AParser);
  ReadDtdDeclarationBody(AParser, ADoc, AType, AInto);
}

void ReadDtdDeclarationBody(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElementType AType,
                            TXmlDtdElement* AInto) {
  if (AType == xeDtdEntity) {
    // The quoted literals of an entity declaration, up to ">".
    const char c = ReadQuotedTextList(AParser, ADoc, AInto);
    if (c != '>' && AInto)
      XmlDebugOut(*AInto, AInto, wsFail, "illegal end tag (\"%s\") at line %d (streampos %d)",
                  {c, AParser.LineNumber(), AParser.Position()});
    return;
  }
  // The other declarations keep their body as one text.
  if (AInto == nullptr) {
    AParser.SkipUntil(">");
    return;
  }
  auto* body = TXmlBuild::CreateNode<TXmlCharData>(ADoc);
  AInto->NodeAdd(body);
  TXmlBuild::NodeNew(ADoc, body);
  body->SetRawValue(AParser.ReadStringUntil(">"));
  TXmlBuild::NodeLoaded(ADoc, body);
}

}  // namespace xmlread
