// The document-loading test helpers: message capture text and tree shapes.
#include "XmlTestLoad.h"

#include <gtest/gtest.h>

#include "xml/XmlEncoding.h"

namespace xml_test {

namespace {

char LevelLetter(TXmlWarnStyle AL) {
  switch (AL) {
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

void AppendRaw(std::string& AOut, std::string_view ARaw) {
  for (char c : ARaw) {
    if (c == '\n')
      AOut += "\\n";
    else if (c == 0)
      AOut += "\\0";
    else
      AOut += c;
  }
}

void AppendChildren(std::string& AOut, const TXmlNode* ANode) {
  if (ANode->NodeCount() == 0) return;
  AOut += '(';
  for (std::int32_t i = 0; i < ANode->NodeCount(); ++i) {
    if (i > 0) AOut += ',';
    AOut += Shape(ANode->Nodes(i));
  }
  AOut += ')';
}

}  // namespace

std::string TXmlLoad::MessageText(TXmlWarnStyle AMinLevel) const {
  std::string out;
  for (const TLoadedMessage& m : Messages) {
    if (m.Level < AMinLevel) continue;
    if (!out.empty()) out += " | ";
    out += LevelLetter(m.Level);
    out += ':';
    AppendRaw(out, m.Text);
  }
  return out;
}

std::string TXmlLoad::NodeMessages() const {
  std::string out;
  for (const TLoadedMessage& m : Messages) {
    if (m.Text == "unknown encoding" || m.Text.rfind("BOM with encoding", 0) == 0) continue;
    if (!out.empty()) out += " | ";
    out += LevelLetter(m.Level);
    out += ':';
    AppendRaw(out, m.Text);
  }
  return out;
}

std::string TXmlLoad::Tree() const {
  std::string out;
  for (std::int32_t i = 0; i < Doc->RootNodes().Count(); ++i) {
    if (i > 0) out += ',';
    out += Shape(Doc->RootNodes().Items(i));
  }
  return out;
}

std::string Shape(const TXmlNode* ANode) {
  std::string out;
  auto raw = [&](char AKind, const TXmlNode* AX) {
    out += AKind;
    char q = '"';
    if (AX->ElementType() == xeQuotedText &&
        static_cast<const TXmlQuotedText*>(AX)->QuoteStyle() == qsApos)
      q = '\'';
    out += q;
    AppendRaw(out, static_cast<const TXmlCharData*>(AX)->RawValue());
    out += q;
  };
  switch (ANode->ElementType()) {
    case xeElement:
      out += ANode->Name();
      AppendChildren(out, ANode);
      break;
    case xeAttribute: {
      out += '@';
      out += ANode->Name();
      out += '=';
      AppendRaw(out, static_cast<const TXmlAttribute*>(ANode)->CoreValue()->RawValue());
      break;
    }
    case xeCharData:
      raw('T', ANode);
      break;
    case xeWhiteSpace:
      raw('W', ANode);
      break;
    case xeComment:
      raw('C', ANode);
      break;
    case xeCData:
      raw('D', ANode);
      break;
    case xeInstruction:
      raw('P', ANode);
      break;
    case xeQuotedText:
      raw('Q', ANode);
      break;
    case xeDeclaration:
    case xeStylesheet:
      out += '?';
      out += ANode->Name();
      AppendChildren(out, ANode);
      break;
    case xeDocType: {
      auto* d = static_cast<const TXmlDocType*>(ANode);
      out += "!DOCTYPE ";
      out += ANode->Name();
      if (!d->ExternalID()->RawValue().empty()) {
        out += ' ';
        out += d->ExternalID()->RawValue();
        out += ' ';
        raw('Q', d->PubIDLiteral());
        out += ' ';
        raw('Q', d->SystemLiteral());
      }
      AppendChildren(out, ANode);
      break;
    }
    case xeDtdElement:
    case xeDtdAttList:
    case xeDtdEntity:
    case xeDtdNotation:
      out += '!';
      out += static_cast<const TXmlDtdElement*>(ANode)->Keyword();
      out += ' ';
      out += ANode->Name();
      AppendChildren(out, ANode);
      break;
    default:
      out += "?unknown";
      break;
  }
  return out;
}

std::string ToUtf16LeWithBom(std::string_view AUtf8) {
  std::u16string u = Utf8StringToUnicode(AUtf8);
  std::string out = "\xFF\xFE";
  for (char16_t c : u) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

void ExpectLoads(const std::vector<TLoadCase>& ACases) {
  for (const TLoadCase& c : ACases) {
    SCOPED_TRACE(c.Input);
    TXmlLoad l(c.Input, c.Options);
    EXPECT_EQ(l.Tree(), c.Tree);
    EXPECT_EQ(l.NodeMessages(), c.Messages);
  }
}

}  // namespace xml_test
