// The document-loading test helpers: message capture text and tree shapes.
#include "XmlTestLoad.h"

#include <gtest/gtest.h>

#include "xml/XmlEncoding.h"

namespace xml_test {

namespace {

char LevelLetter(TXmlWarnStyle L) {
  switch (L) {
    case wsInfo:
      return 'I';
    case wsHint:
      return 'H';
    case wsWarn:
      return 'W';
    default:
      return 'F';
  }
}

void AppendRaw(std::string& Out, std::string_view Raw) {
  for (char C : Raw) {
    if (C == '\n')
      Out += "\\n";
    else if (C == 0)
      Out += "\\0";
    else
      Out += C;
  }
}

void AppendChildren(std::string& Out, const TXmlNode* N) {
  if (N->NodeCount() == 0) return;
  Out += '(';
  for (std::int32_t I = 0; I < N->NodeCount(); ++I) {
    if (I > 0) Out += ',';
    Out += Shape(N->Nodes(I));
  }
  Out += ')';
}

}  // namespace

std::string XmlLoad::MessageText(TXmlWarnStyle AMinLevel) const {
  std::string Out;
  for (const LoadedMessage& M : Messages) {
    if (M.Level < AMinLevel) continue;
    if (!Out.empty()) Out += " | ";
    Out += LevelLetter(M.Level);
    Out += ':';
    AppendRaw(Out, M.Text);
  }
  return Out;
}

std::string XmlLoad::NodeMessages() const {
  std::string Out;
  for (const LoadedMessage& M : Messages) {
    if (M.Text == "unknown encoding" || M.Text.rfind("BOM with encoding", 0) == 0) continue;
    if (!Out.empty()) Out += " | ";
    Out += LevelLetter(M.Level);
    Out += ':';
    AppendRaw(Out, M.Text);
  }
  return Out;
}

std::string XmlLoad::Tree() const {
  std::string Out;
  for (std::int32_t I = 0; I < Doc->RootNodes().Count(); ++I) {
    if (I > 0) Out += ',';
    Out += Shape(Doc->RootNodes().Items(I));
  }
  return Out;
}

std::string Shape(const TXmlNode* N) {
  std::string Out;
  auto Raw = [&](char Kind, const TXmlNode* X) {
    Out += Kind;
    char Q = '"';
    if (X->ElementType() == xeQuotedText &&
        static_cast<const TXmlQuotedText*>(X)->QuoteStyle() == qsApos)
      Q = '\'';
    Out += Q;
    AppendRaw(Out, static_cast<const TXmlCharData*>(X)->RawValue());
    Out += Q;
  };
  switch (N->ElementType()) {
    case xeElement:
      Out += N->Name();
      AppendChildren(Out, N);
      break;
    case xeAttribute: {
      Out += '@';
      Out += N->Name();
      Out += '=';
      AppendRaw(Out, static_cast<const TXmlAttribute*>(N)->CoreValue()->RawValue());
      break;
    }
    case xeCharData:
      Raw('T', N);
      break;
    case xeWhiteSpace:
      Raw('W', N);
      break;
    case xeComment:
      Raw('C', N);
      break;
    case xeCData:
      Raw('D', N);
      break;
    case xeInstruction:
      Raw('P', N);
      break;
    case xeQuotedText:
      Raw('Q', N);
      break;
    case xeDeclaration:
    case xeStylesheet:
      Out += '?';
      Out += N->Name();
      AppendChildren(Out, N);
      break;
    case xeDocType: {
      auto* D = static_cast<const TXmlDocType*>(N);
      Out += "!DOCTYPE ";
      Out += N->Name();
      if (!D->ExternalID()->RawValue().empty()) {
        Out += ' ';
        Out += D->ExternalID()->RawValue();
        Out += ' ';
        Raw('Q', D->PubIDLiteral());
        Out += ' ';
        Raw('Q', D->SystemLiteral());
      }
      AppendChildren(Out, N);
      break;
    }
    case xeDtdElement:
    case xeDtdAttList:
    case xeDtdEntity:
    case xeDtdNotation:
      Out += '!';
      Out += static_cast<const TXmlDtdElement*>(N)->Keyword();
      Out += ' ';
      Out += N->Name();
      AppendChildren(Out, N);
      break;
    default:
      Out += "?unknown";
      break;
  }
  return Out;
}

std::string ToUtf16LeWithBom(std::string_view AUtf8) {
  std::u16string U = Utf8StringToUnicode(AUtf8);
  std::string Out = "\xFF\xFE";
  for (char16_t C : U) {
    Out += static_cast<char>(C & 0xFF);
    Out += static_cast<char>(C >> 8);
  }
  return Out;
}

void ExpectLoads(const std::vector<LoadCase>& ACases) {
  for (const LoadCase& C : ACases) {
    SCOPED_TRACE(C.Input);
    XmlLoad L(C.Input, C.Options);
    EXPECT_EQ(L.Tree(), C.Tree);
    EXPECT_EQ(L.NodeMessages(), C.Messages);
  }
}

}  // namespace xml_test
