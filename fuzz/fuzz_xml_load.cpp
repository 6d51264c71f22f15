// Fuzz target for the document reader: loads the bytes with the default options
// and once more with structural repair and preserved white space, then walks the
// whole tree and reads every name, value and attribute, as the extraction does.
// A third load with a node filter (a rule taken from the first byte, with small
// chunks) must give the whole tree with the declined nodes pruned.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/Streams.h"
#include "xml/XmlNodes.h"

namespace {

std::size_t Walk(TXmlDocument& ADoc) {
  std::size_t total = ADoc.CommentString().size() + (ADoc.IsEmpty() ? 1 : 0);
  for (TXmlNode* n = ADoc.FindFirst(); n != nullptr; n = ADoc.FindNext(n)) {
    total += n->Name().size() + n->Value().size() + n->FullPath().size();
    for (std::int32_t i = 0; i < n->AttributeCount(); ++i) {
      TXmlAttribute* a = n->Attributes(i);
      total += a->Value().size() + n->AttributeValueByName(a->Name()).size();
    }
    if (auto* d = dynamic_cast<TXmlDocType*>(n))
      total += d->SystemLiteral()->Value().size() + d->PubIDLiteral()->Value().size();
  }
  if (TXmlElement* root = ADoc.Root()) {
    total += root->AttributeValueByName("width").size();
    if (TXmlNode* m = root->FindNode("metadata")) total += m->FullPath().size();
    if (TXmlNode* g = root->FindNode("/svg/g")) total += g->TreeDepth();
  }
  return total;
}

// Declines by kind and name: the rule's bits pick text, comments, and names
// whose first byte has a given low bit.
struct TRuleFilter final : TXmlNodeFilter {
  std::uint8_t Rule = 0;
  bool Keeps(TXmlElementType AType, std::string_view AName) const {
    if (AType == xeCharData && (Rule & 1)) return false;
    if (AType == xeComment && (Rule & 2)) return false;
    if ((AType == xeElement || AType == xeAttribute) && (Rule & 4) && !AName.empty())
      return ((static_cast<unsigned char>(AName[0]) ^ (Rule >> 3)) & 1) != 0;
    return true;
  }
  bool Accept(const TXmlNode*, TXmlElementType AType, std::string_view AName) override {
    return Keeps(AType, AName);
  }
};

std::string_view OfferedName(const TXmlNode* ANode) {
  if (ANode->ElementType() == xeElement) return static_cast<const TXmlElement*>(ANode)->NameView();
  if (ANode->ElementType() == xeAttribute)
    return static_cast<const TXmlAttribute*>(ANode)->NameView();
  return {};
}

// Kind, name and raw value of every node the filter keeps, depth first; the
// children of elements are pruned as the filter would have declined them.
void Dump(const TXmlNode* ANode, const TRuleFilter& AF, std::string& AOut) {
  AOut += static_cast<char>('A' + ANode->ElementType());
  AOut += ANode->Name();
  if (auto* c = dynamic_cast<const TXmlCharData*>(ANode)) AOut += c->RawValueView();
  if (auto* a = dynamic_cast<const TXmlAttribute*>(ANode)) AOut += a->CoreValue()->RawValueView();
  AOut += '(';
  const bool prune = ANode->ElementType() == xeElement;
  for (std::int32_t i = 0; i < ANode->NodeCount(); ++i) {
    const TXmlNode* child = ANode->Nodes(i);
    if (!prune || AF.Keeps(child->ElementType(), OfferedName(child))) Dump(child, AF, AOut);
  }
  AOut += ')';
}

std::string DumpRoots(const TXmlDocument& ADoc, const TRuleFilter& AF) {
  std::string out;
  for (TXmlNode* n : ADoc.RootNodes())
    if (AF.Keeps(n->ElementType(), OfferedName(n))) Dump(n, AF, out);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);
  volatile std::size_t sink = 0;
  {
    TXmlDocument doc;
    auto s = TMemoryStream::View(bytes);
    doc.LoadFromStream(*s);
    sink = sink + Walk(doc);
  }
  {
    TXmlDocument doc;
    doc.SetFixStructuralErrors(true);
    doc.SetXmlFormat(xfPreserve);
    doc.SetEolStyle(esLF);
    auto s = TMemoryStream::View(bytes);
    doc.LoadFromStream(*s);
    sink = sink + Walk(doc);
  }
  if (ASize > 0) {
    TRuleFilter filter;
    filter.Rule = AData[0];
    TXmlDocument whole;
    whole.ReadFromString(bytes);
    TXmlDocument filtered;
    filtered.SetNodeFilter(&filter);
    // Even chunks from 6 bytes: an odd chunk drops the last byte of UTF-16 text,
    // and the first five bytes decide the encoding.
    filtered.SetParserChunkSize(6 + 2 * (AData[0] % 8));
    filtered.ReadFromString(bytes);
    TRuleFilter all;  // keeps everything: the filtered tree is dumped as it is
    if (DumpRoots(filtered, all) != DumpRoots(whole, filter)) std::abort();
  }
  return 0;
}
