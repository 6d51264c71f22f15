// Fuzz target for the document reader: loads the bytes with the default options
// and once more with structural repair and preserved white space, then walks the
// whole tree and reads every name, value and attribute, as the extraction does.
// A third load with a node filter (a rule taken from the first byte, with small
// chunks) must give the whole tree with the declined nodes pruned, the elements
// it looks into flattened into their kept ancestor, and values cut to the head
// it keeps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/Blanks.h"
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

// Declines by kind and name: the rule's bits pick text, comments (all, or by
// their text's first byte), and names whose first byte has a given low bit;
// with bit 7 a declined element is looked into when its name's first byte has
// the other low bit, with bit 6 values keep a head of a few bytes, and with
// bit 4 only elements named "a" (or "...:a", white trimmed, any case) are
// taken inside what is looked into, and every other element there is looked
// into (skimmed).
struct TRuleFilter final : TXmlNodeFilter {
  std::uint8_t Rule = 0;
  bool Inside = false;  // the element offered last was offered inside
  static bool NamedA(std::string_view AName) {
    std::size_t b = 0;
    std::size_t e = AName.size();
    while (b < e && static_cast<unsigned char>(AName[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(AName[e - 1]) <= ' ') --e;
    const std::string_view name = AName.substr(b, e - b);
    const bool a = !name.empty() && (name.back() == 'a' || name.back() == 'A');
    return a && (name.size() == 1 || name[name.size() - 2] == ':');
  }
  bool KeepsInside(std::string_view AName) const {
    return Keeps(xeElement, AName) && ((Rule & 0x10) == 0 || NamedA(AName));
  }
  bool Keeps(TXmlElementType AType, std::string_view AName) const {
    if (AType == xeCharData && (Rule & 1)) return false;
    if (AType == xeComment && (Rule & 2)) return false;
    if (AType == xeComment && (Rule & 0x20) && !AName.empty()) return (AName[0] & 1) != 0;
    if ((AType == xeElement || AType == xeAttribute) && (Rule & 4) && !AName.empty())
      return ((static_cast<unsigned char>(AName[0]) ^ (Rule >> 3)) & 1) != 0;
    return true;
  }
  bool LooksIn(std::string_view AName) const {
    return (Rule & 0x80) != 0 && !Keeps(xeElement, AName);
  }
  std::size_t Head() const {
    return (Rule & 0x40) != 0 ? std::size_t{Rule & 7u} : static_cast<std::size_t>(-1);
  }
  bool LooksInInside(bool AInside, std::string_view AName) const {
    return AInside && (Rule & 0x10) != 0 ? true : LooksIn(AName);
  }
  bool Accept(const TXmlNode*, TXmlElementType AType, std::string_view AName) override {
    Inside = false;
    return Keeps(AType, AName);
  }
  bool LooksInto(const TXmlNode*, std::string_view AName) override {
    return LooksInInside(Inside, AName);
  }
  bool AcceptInside(const TXmlNode*, std::string_view AName) override {
    Inside = true;
    return KeepsInside(AName);
  }
  bool TakesInsideOnly(std::string_view& AName) override {
    AName = "a";
    return (Rule & 0x10) != 0;
  }
  std::size_t KeptValueBytes(const TXmlNode*, std::string_view) override { return Head(); }
  std::size_t KeptTextBytes(const TXmlNode*) override { return Head(); }
};

// The head a filtered load offers and keeps of a comment: its first line
// after the blanks it begins with.
std::string_view CommentHead(std::string_view AText) {
  while (!AText.empty() && blanks::IsXmlSpace(static_cast<unsigned char>(AText.front())))
    AText.remove_prefix(1);
  return AText.substr(0, std::min(AText.find_first_of("\r\n"), cCommentHeadBytes));
}

// What a filtered load keeps of a text run or CDATA section in an element.
std::string_view TextHead(const TXmlNode* ANode, std::string_view ARaw, std::size_t AHead) {
  const std::string_view head = ARaw.substr(0, std::min(ARaw.size(), AHead));
  return ANode->ElementType() == xeCharData ? blanks::TrimWhiteRight(head) : head;
}

std::string_view OfferedName(const TXmlNode* ANode) {
  if (ANode->ElementType() == xeElement) return static_cast<const TXmlElement*>(ANode)->NameView();
  if (ANode->ElementType() == xeAttribute)
    return static_cast<const TXmlAttribute*>(ANode)->NameView();
  if (ANode->ElementType() == xeComment)
    return CommentHead(static_cast<const TXmlCharData*>(ANode)->RawValueView());
  return {};
}

// Whether a filtered load makes the node: a text run whose head is white
// space only makes none.
bool Made(const TXmlNode* ANode, const TRuleFilter& AF) {
  return ANode->ElementType() != xeCharData ||
         !TextHead(ANode, static_cast<const TXmlCharData*>(ANode)->RawValueView(), AF.Head())
              .empty();
}

void Dump(const TXmlNode* ANode, const TRuleFilter& AF, bool AFiltered, std::string& AOut);

// The children of ANode as the filter keeps them: in an element, what it
// declines is pruned, and the element children of what it looks into are
// offered in their place (elements only, at any depth).
void DumpChildren(const TXmlNode* ANode, const TRuleFilter& AF, bool AInside, std::string& AOut) {
  for (std::int32_t i = 0; i < ANode->NodeCount(); ++i) {
    const TXmlNode* child = ANode->Nodes(i);
    const TXmlElementType type = child->ElementType();
    if (AInside && type != xeElement) continue;
    if (AInside ? AF.KeepsInside(OfferedName(child)) : AF.Keeps(type, OfferedName(child))) {
      if (Made(child, AF)) Dump(child, AF, true, AOut);
    } else if (type == xeElement && AF.LooksInInside(AInside, OfferedName(child)))
      DumpChildren(child, AF, true, AOut);
  }
}

// Kind, name and raw value of every node the filter keeps, depth first (with
// AFiltered, as the filter keeps them).
void Dump(const TXmlNode* ANode, const TRuleFilter& AF, bool AFiltered, std::string& AOut) {
  AOut += static_cast<char>('A' + ANode->ElementType());
  AOut += ANode->Name();
  if (auto* c = dynamic_cast<const TXmlCharData*>(ANode)) {
    const std::string_view raw = c->RawValueView();
    const TXmlElementType type = ANode->ElementType();
    const bool inElement =
        ANode->Parent() != nullptr && ANode->Parent()->ElementType() == xeElement;
    if (AFiltered && type == xeComment)
      AOut += CommentHead(raw);
    else if (AFiltered && inElement && (type == xeCharData || type == xeCData))
      AOut += TextHead(ANode, raw, AF.Head());
    else
      AOut += raw;
  }
  if (auto* a = dynamic_cast<const TXmlAttribute*>(ANode)) {
    std::string_view value = a->CoreValue()->RawValueView();
    AOut += AFiltered && ANode->Parent() != nullptr && ANode->Parent()->ElementType() == xeElement
                ? value.substr(0, std::min(value.size(), AF.Head()))
                : value;
  }
  AOut += '(';
  if (AFiltered && ANode->ElementType() == xeElement) {
    DumpChildren(ANode, AF, false, AOut);
  } else {
    for (std::int32_t i = 0; i < ANode->NodeCount(); ++i) Dump(ANode->Nodes(i), AF, false, AOut);
  }
  AOut += ')';
}

// The whole tree as the filter would keep it (AFiltered), or the tree as it is.
std::string DumpRoots(const TXmlDocument& ADoc, const TRuleFilter& AF, bool AFiltered) {
  std::string out;
  for (TXmlNode* n : ADoc.RootNodes())
    if (!AFiltered || AF.Keeps(n->ElementType(), OfferedName(n))) Dump(n, AF, AFiltered, out);
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
    if (DumpRoots(filtered, filter, false) != DumpRoots(whole, filter, true)) std::abort();
  }
  return 0;
}
