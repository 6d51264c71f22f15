// The node model: the document's arena, node lists, the read operations of every
// node class and the tree walks. Walks go through parent links and each node's
// cached list index, so no query recurses or keeps a stack as deep as the tree.
#include "xml/XmlNodes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/Ascii.h"
#include "base/Blanks.h"
#include "platform/Platform.h"
#include "xml/XmlBuild.h"
#include "xml/XmlReader.h"

namespace {

// The smallest k with (1 << k) >= ACount.
int CeilLog2(std::int32_t ACount) {
  int k = 0;
  while ((std::int64_t{1} << k) < ACount) ++k;
  return k;
}

bool IsElementClass(const TXmlNode* AN) {
  return dynamic_cast<const TXmlElement*>(AN) != nullptr;
}
bool IsContainerClass(const TXmlNode* AN) {
  return dynamic_cast<const TXmlContainerNode*>(AN) != nullptr;
}

const TXmlNodeList* ListOf(const TXmlNode* AContainer) {
  auto* c = dynamic_cast<const TXmlContainerNode*>(AContainer);
  return c ? &c->NodeList() : nullptr;
}

// The node after N in a depth-first, parent-before-children walk that stays below
// ATop (ATop itself is never returned); ARootList holds the parentless nodes.
TXmlNode* WalkNext(const TXmlNode* AN, const TXmlNode* ATop, const TXmlNodeList* ARootList) {
  if (AN->NodeCount() > 0) return AN->Nodes(0);
  for (;;) {
    if (AN == ATop) return nullptr;
    const TXmlNode* parent = AN->Parent();
    // A root-level node takes its sibling from the document's list.
    const TXmlNodeList* list = parent ? ListOf(parent) : ARootList;
    if (list == nullptr) return nullptr;
    std::int32_t i = list->IndexOf(AN);
    if (i < 0) throw EXmlError("index must be >= 0");
    if (i + 1 < list->Count()) return list->Items(i + 1);
    if (parent == nullptr || parent == ATop) return nullptr;
    AN = parent;
  }
}

}  // namespace

namespace {

// The lookup comparison with the ASCII-ness of both sides known in advance.
bool NamesMatch(std::string_view ALeft, bool ALeftAscii, std::string_view ARight,
                bool ARightAscii) {
  if (ALeftAscii && ARightAscii) return ascii::EqualsIgnoreCase(ALeft, ARight);
  return platform::TextEqualsIgnoreCase(Utf8StringToUnicode(ALeft), Utf8StringToUnicode(ARight));
}

}  // namespace

bool XmlNamesMatch(std::string_view ALeft, std::string_view ARight) {
  return NamesMatch(ALeft, ascii::IsAscii(ALeft), ARight, ascii::IsAscii(ARight));
}

// ---------------------------------------------------------------------------
// TXmlNodeArena

// Blocks start at the strictest alignment; within a block every request is padded
// to the pointer size, and placed at its own alignment when that is stricter.
TXmlNode** TXmlNodeArena::AllocateArray(int ALog2) {
  if (ALog2 >= cOwnArrayLog2) {
    const std::size_t size = sizeof(TXmlNode*) << ALog2;
    auto block = std::make_unique_for_overwrite<std::byte[]>(size);
    auto* array = static_cast<TXmlNode**>(static_cast<void*>(block.get()));
    FOwnArrays.emplace(array, std::move(block));
    FOwnArrayBytes += size;
    return array;
  }
  if (void* free = FFreeArrays[ALog2]) {
    std::memcpy(&FFreeArrays[ALog2], free, sizeof(void*));
    return static_cast<TXmlNode**>(free);
  }
  return static_cast<TXmlNode**>(
      Allocate(sizeof(TXmlNode*) * (std::size_t{1} << ALog2), alignof(TXmlNode*)));
}

void TXmlNodeArena::FreeArray(TXmlNode** AArray, int ALog2) {
  if (ALog2 >= cOwnArrayLog2) {
    if (FOwnArrays.erase(AArray) != 0) FOwnArrayBytes -= sizeof(TXmlNode*) << ALog2;
    return;
  }
  std::memcpy(static_cast<void*>(AArray), &FFreeArrays[ALog2], sizeof(void*));
  FFreeArrays[ALog2] = AArray;
}

void TXmlNodeArena::Release() {
  FBlocks.Reset();
  FOwnArrays.clear();
  FOwnArrayBytes = 0;
  std::fill(std::begin(FFreeArrays), std::end(FFreeArrays), nullptr);
}

// ---------------------------------------------------------------------------
// TXmlNodeList

TXmlNode* TXmlNodeList::ByType(TXmlElementType AType) const {
  for (TXmlNode* n : *this)
    if (n->ElementType() == AType) return n;
  return nullptr;
}

TXmlNode* TXmlNodeList::FindNext(TXmlNode* ANode) const {
  if (ANode == nullptr) return nullptr;
  return WalkNext(ANode, nullptr, this);
}

std::int32_t TXmlNodeList::IndexOf(const TXmlNode* ANode) const {
  if (ANode == nullptr) return -1;
  std::int32_t i = ANode->FListIndex;
  if (i >= 0 && i < FCount && FItems[i] == ANode) return i;
  for (std::int32_t j = 0; j < FCount; ++j)
    if (FItems[j] == ANode) return j;
  return -1;
}

void TXmlNodeList::Reserve(std::int32_t ACount) {
  if (FCapLog2 >= 0 && ACount <= (std::int32_t{1} << FCapLog2)) return;
  if (ACount > (std::int32_t{1} << 30)) throw std::length_error("node list too long");
  int newLog2 = CeilLog2(ACount);
  TXmlNode** newItems = FArena->AllocateArray(newLog2);
  if (FCount > 0) std::memcpy(newItems, FItems, sizeof(TXmlNode*) * FCount);
  if (FItems) FArena->FreeArray(FItems, FCapLog2);
  FItems = newItems;
  FCapLog2 = static_cast<std::int8_t>(newLog2);
}

void TXmlNodeList::Renumber(std::int32_t AFrom) {
  for (std::int32_t i = AFrom; i < FCount; ++i) FItems[i]->FListIndex = i;
}

std::int32_t TXmlNodeList::Add(TXmlNode* ANode) {
  Reserve(FCount + 1);
  FItems[FCount] = ANode;
  ANode->FListIndex = FCount;
  return FCount++;
}

void TXmlNodeList::Insert(std::int32_t AIndex, TXmlNode* ANode) {
  InsertRange(AIndex, &ANode, 1);
}

void TXmlNodeList::InsertRange(std::int32_t AIndex, TXmlNode* const* ANodes, std::int32_t ACount) {
  if (ACount <= 0) return;
  AIndex = std::clamp(AIndex, std::int32_t{0}, FCount);
  Reserve(FCount + ACount);
  std::memmove(FItems + AIndex + ACount, FItems + AIndex, sizeof(TXmlNode*) * (FCount - AIndex));
  std::memcpy(FItems + AIndex, ANodes, sizeof(TXmlNode*) * ACount);
  FCount += ACount;
  Renumber(AIndex);
}

TXmlNode* TXmlNodeList::Extract(std::int32_t AIndex) {
  if (AIndex < 0 || AIndex >= FCount) return nullptr;
  TXmlNode* n = FItems[AIndex];
  std::memmove(FItems + AIndex, FItems + AIndex + 1, sizeof(TXmlNode*) * (FCount - AIndex - 1));
  --FCount;
  Renumber(AIndex);
  n->FListIndex = -1;
  return n;
}

void TXmlNodeList::Truncate(std::int32_t ACount) {
  if (ACount < 0 || ACount >= FCount) return;
  for (std::int32_t i = ACount; i < FCount; ++i) FItems[i]->FListIndex = -1;
  FCount = ACount;
}

void TXmlNodeList::Clear() {
  Truncate(0);
  if (FItems) FArena->FreeArray(FItems, FCapLog2);
  Forget();
}

void TXmlNodeList::Pack() {
  if (FItems == nullptr) return;
  if (FCount == 0) {
    Clear();
    return;
  }
  int want = CeilLog2(FCount);
  if (want >= FCapLog2) return;
  TXmlNode** newItems = FArena->AllocateArray(want);
  std::memcpy(newItems, FItems, sizeof(TXmlNode*) * FCount);
  FArena->FreeArray(FItems, FCapLog2);
  FItems = newItems;
  FCapLog2 = static_cast<std::int8_t>(want);
}

// ---------------------------------------------------------------------------
// TXmlNode

TXmlNode::TXmlNode(TXmlDocument* AOwner) : TDebugPersistent(AOwner) {
  if (AOwner == nullptr) throw EXmlError("XML owner is not assigned");
}

TXmlDocument* TXmlNode::Document() const {
  return static_cast<TXmlDocument*>(FOwner);
}
void* TXmlNode::Tag() const {
  return TXmlBuild::NodeTag(*Document(), this);
}
void TXmlNode::SetTag(void* ATag) {
  TXmlBuild::SetNodeTag(*Document(), this, ATag);
}
TXmlSymbolTable& TXmlNode::Symbols() const {
  return Document()->SymbolTable();
}
TXmlEolStyle TXmlNode::EolStyle() const {
  return Document()->EolStyle();
}

std::string TXmlNode::Name() const {
  return {};
}
std::string TXmlNode::Value() const {
  return {};
}
std::string_view TXmlNode::NameRef(std::string& AScratch) const {
  AScratch = Name();
  return AScratch;
}
void TXmlNode::SetName(std::string_view /*AName*/) {
  throw EXmlError("cannot set name on this type of element");
}
void TXmlNode::SetValue(std::string_view /*AValue*/) {
  throw EXmlError("cannot set value on this type of element");
}
std::u16string TXmlNode::NameUnicode() const {
  return Utf8StringToUnicode(Name());
}
std::u16string TXmlNode::ValueUnicode() const {
  return Utf8StringToUnicode(Value());
}

std::int32_t TXmlNode::TreeDepth() const {
  std::int32_t depth = 0;
  for (const TXmlNode* p = FParent; p != nullptr; p = p->FParent) ++depth;
  return depth;
}

std::string TXmlNode::FullPath() const {
  std::vector<const TXmlNode*> chain;
  for (const TXmlNode* n = this; n != nullptr; n = n->FParent) chain.push_back(n);
  std::string result;
  std::string scratch;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    result += '/';
    result += (*it)->NameRef(scratch);
  }
  return result;
}

TXmlContainerNode* TXmlNode::Containers(std::int32_t /*Index*/) const {
  return nullptr;
}
TXmlElement* TXmlNode::Elements(std::int32_t /*Index*/) const {
  return nullptr;
}
TXmlNode* TXmlNode::Nodes(std::int32_t /*Index*/) const {
  return nullptr;
}

TXmlAttribute* TXmlNode::Attributes(std::int32_t AIndex) const {
  if (AIndex < 0) return nullptr;
  std::int32_t seen = 0;
  const std::int32_t count = NodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    TXmlNode* n = Nodes(i);
    if (n->ElementType() == xeAttribute && seen++ == AIndex) return static_cast<TXmlAttribute*>(n);
  }
  return nullptr;
}

std::string TXmlNode::AttributeName(std::int32_t AIndex) const {
  TXmlAttribute* a = Attributes(AIndex);
  return a ? a->Name() : std::string();
}

TXmlAttribute* TXmlNode::AttributeByName(std::string_view AName) const {
  const std::int32_t count = NodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    TXmlNode* n = Nodes(i);
    if (n->ElementType() != xeAttribute) continue;
    auto* a = static_cast<TXmlAttribute*>(n);
    if (XmlNamesMatch(a->NameView(), AName)) return a;
  }
  return nullptr;
}

std::string TXmlNode::AttributeValueByName(std::string_view AName) const {
  TXmlAttribute* a = AttributeByName(AName);
  return a ? a->Value() : std::string();
}

bool TXmlNode::HasAttribute(std::string_view AName) const {
  const std::int32_t count = NodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    TXmlNode* n = Nodes(i);
    if (n->ElementType() == xeAttribute && static_cast<TXmlAttribute*>(n)->NameView() == AName)
      return true;
  }
  return false;
}

std::int32_t TXmlNode::AttributeIndexByName(std::string_view /*AName*/) const {
  return -1;
}

TXmlNode* TXmlNode::NodeByName(std::string_view AName) const {
  std::string scratch;
  const std::int32_t count = NodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    TXmlNode* n = Nodes(i);
    if (XmlNamesMatch(n->NameRef(scratch), AName)) return n;
  }
  return nullptr;
}

namespace {

// A full path kept up to date along a walk, with the count of its non-ASCII bytes
// so that the comparison's fast path needs no scan of a long path.
struct TPathText {
  std::string Text;
  std::size_t NonAscii = 0;
  bool IsAscii() const { return NonAscii == 0; }
};

// Visits the descendants of ATop in document order and hands each to AVisit
// with its name and (for "/..." searches) its full path; AVisit returns false to
// stop. Paths are extended and cut back incrementally, never rebuilt.
template <class Visit>
void WalkDescendants(const TXmlNode* ATop, bool ANeedPaths, Visit&& AVisit) {
  TXmlNode* n = ATop->Nodes(0);
  if (n == nullptr) return;
  TPathText path;
  struct TLevel {
    std::size_t Len, NonAscii;
  };
  std::vector<TLevel> levels;  // the path before each open level
  std::string scratch;
  auto nonAsciiIn = [](std::string_view AS) {
    return static_cast<std::size_t>(std::count_if(
        AS.begin(), AS.end(), [](char AC) { return static_cast<unsigned char>(AC) >= 0x80; }));
  };
  if (ANeedPaths) {
    path.Text = ATop->FullPath();
    path.NonAscii = nonAsciiIn(path.Text);
  }
  while (n != nullptr) {
    std::string_view name = n->NameRef(scratch);
    const TLevel base{path.Text.size(), path.NonAscii};
    if (ANeedPaths) {
      path.Text += '/';
      path.Text += name;
      path.NonAscii += nonAsciiIn(name);
    }
    if (!AVisit(n, name, path)) return;
    // Advance: first child, else the next sibling of the nearest ancestor that has one.
    if (n->NodeCount() > 0) {
      if (ANeedPaths) levels.push_back(base);
      n = n->Nodes(0);
      continue;
    }
    if (ANeedPaths) {
      path.Text.resize(base.Len);
      path.NonAscii = base.NonAscii;
    }
    for (;;) {
      TXmlNode* parent = n->Parent();
      if (parent == nullptr) return;
      const TXmlNodeList* list = ListOf(parent);
      std::int32_t i = list ? list->IndexOf(n) : -1;
      if (i >= 0 && i + 1 < list->Count()) {
        n = list->Items(i + 1);
        break;
      }
      if (parent == ATop) return;
      n = parent;
      if (ANeedPaths) {
        path.Text.resize(levels.back().Len);
        path.NonAscii = levels.back().NonAscii;
        levels.pop_back();
      }
    }
  }
}

bool NodeMatches(std::string_view ASearch, std::string_view AName, const TPathText& APath) {
  if (!ASearch.empty() && ASearch.front() == '/')
    return NamesMatch(APath.Text, APath.IsAscii(), ASearch, ascii::IsAscii(ASearch));
  return XmlNamesMatch(AName, ASearch);
}

bool IsPathSearch(std::string_view AS) {
  return !AS.empty() && AS.front() == '/';
}

}  // namespace

TXmlNode* TXmlNode::FindNode(std::string_view ANodeName) const {
  TXmlNode* found = nullptr;
  WalkDescendants(this, IsPathSearch(ANodeName),
                  [&](TXmlNode* AN, std::string_view AName, const TPathText& APath) {
                    if (!NodeMatches(ANodeName, AName, APath)) return true;
                    found = AN;
                    return false;
                  });
  return found;
}

void TXmlNode::FindNodes(std::string_view ANodeName, std::vector<TXmlNode*>& AList) const {
  AList.clear();
  WalkDescendants(this, IsPathSearch(ANodeName),
                  [&](TXmlNode* AN, std::string_view AName, const TPathText& APath) {
                    if (NodeMatches(ANodeName, AName, APath)) AList.push_back(AN);
                    return true;
                  });
}

void TXmlNode::FindNodes(const std::vector<std::string>& ANodeNames,
                         std::vector<TXmlNode*>& AList) const {
  AList.clear();
  bool needPaths = std::any_of(ANodeNames.begin(), ANodeNames.end(),
                               [](const std::string& AS) { return IsPathSearch(AS); });
  WalkDescendants(this, needPaths,
                  [&](TXmlNode* AN, std::string_view AName, const TPathText& APath) {
                    for (const std::string& s : ANodeNames)
                      if (NodeMatches(s, AName, APath)) AList.push_back(AN);
                    return true;
                  });
}

TXmlNode* TXmlNode::FirstNodeByType(TXmlElementType /*AType*/) const {
  return nullptr;
}
TXmlNode* TXmlNode::NextSibling(TXmlNode* /*ANode*/) const {
  return nullptr;
}

bool TXmlNode::IsEmpty() const {
  return NodeCount() == 0 && Value().empty();
}
bool TXmlNode::IsClear() const {
  return IsEmpty() && Name().empty();
}

std::int32_t TXmlNode::NodeAdd(TXmlNode* /*ANode*/) {
  throw EXmlError("cannot add node to this type of element");
}
void TXmlNode::NodeInsert(std::int32_t /*Index*/, TXmlNode* /*ANode*/) {
  throw EXmlError("cannot add node to this type of element");
}
TXmlNode* TXmlNode::NodeExtract(TXmlNode* /*ANode*/) {
  throw EXmlError("cannot manipulate nodes in this type of element");
}
void TXmlNode::AttributeAdd(TXmlAttribute* /*AAttribute*/) {
  throw EXmlError("cannot add attribute");
}
std::int32_t TXmlNode::NodeIndexOf(const TXmlNode* /*ANode*/) const {
  return -1;
}
// ---------------------------------------------------------------------------
// Character data

std::string TXmlCharData::Name() const {
  return ::ElementTypeName(ElementType());
}

void TXmlCharData::SetName(std::string_view AName) {
  if (!AName.empty())
    XmlDebugOut(*this, this, wsHint, "cannot set name on this type of element", {});
}

std::string_view TXmlCharData::RawValueView() const {
  return Symbols().GetStringView(FValueID);
}
std::string TXmlCharData::RawValue() const {
  return std::string(RawValueView());
}
void TXmlCharData::SetRawValue(std::string_view AValue) {
  FValueID = Symbols().AddString(AValue);
}

std::string TXmlCharData::Value() const {
  return DecodeRawValue(RawValueView(), EolStyle());
}

void TXmlCharData::SetValue(std::string_view AValue) {
  std::string b1, b2;
  SetRawValue(EscapeText(NormaliseLineEnds(AValue, b1), b2));
}

bool TXmlCharData::IsWhiteSpace() const {
  std::string_view r = RawValueView();
  return !r.empty() && (blanks::IsWhite(r.front()) || blanks::IsWhite(r.back()));
}

std::string TXmlCData::Value() const {
  return RawValue();
}
void TXmlCData::SetValue(std::string_view AValue) {
  SetRawValue(AValue);
}

// ---------------------------------------------------------------------------
// Attribute

TXmlAttribute::TXmlAttribute(TXmlDocument* AOwner) : TXmlNode(AOwner), FCoreValue(AOwner) {
  FCoreValue.FParent = this;
}

std::string_view TXmlAttribute::NameView() const {
  return Symbols().GetStringView(FNameID);
}
std::string TXmlAttribute::Name() const {
  return std::string(NameView());
}
std::string_view TXmlAttribute::NameRef(std::string& /*AScratch*/) const {
  return NameView();
}
void TXmlAttribute::SetName(std::string_view AName) {
  FNameID = Symbols().AddString(AName);
}
std::string TXmlAttribute::Value() const {
  return FCoreValue.Value();
}
void TXmlAttribute::SetValue(std::string_view AValue) {
  FCoreValue.SetValue(AValue);
}

// ---------------------------------------------------------------------------
// Containers

TXmlContainerNode::TXmlContainerNode(TXmlDocument* AOwner)
    : TXmlNode(AOwner), FNodes(&TXmlBuild::Arena(*AOwner)) {}

std::int32_t TXmlContainerNode::ContainerCount() const {
  std::int32_t count = 0;
  for (std::int32_t i = FDirectNodeCount; i < FNodes.Count(); ++i)
    if (IsContainerClass(FNodes.Items(i))) ++count;
  return count;
}

TXmlContainerNode* TXmlContainerNode::Containers(std::int32_t AIndex) const {
  if (AIndex < 0) return nullptr;
  std::int32_t seen = 0;
  for (std::int32_t i = std::max<std::int32_t>(FDirectNodeCount, 0); i < FNodes.Count(); ++i) {
    TXmlNode* n = FNodes.Items(i);
    if (IsContainerClass(n) && seen++ == AIndex) return static_cast<TXmlContainerNode*>(n);
  }
  return nullptr;
}

std::int32_t TXmlContainerNode::ElementCount() const {
  std::int32_t count = 0;
  for (std::int32_t i = std::max<std::int32_t>(FDirectNodeCount, 0); i < FNodes.Count(); ++i)
    if (IsElementClass(FNodes.Items(i))) ++count;
  return count;
}

TXmlElement* TXmlContainerNode::Elements(std::int32_t AIndex) const {
  if (AIndex < 0) return nullptr;
  std::int32_t seen = 0;
  for (std::int32_t i = std::max<std::int32_t>(FDirectNodeCount, 0); i < FNodes.Count(); ++i) {
    TXmlNode* n = FNodes.Items(i);
    if (IsElementClass(n) && seen++ == AIndex) return static_cast<TXmlElement*>(n);
  }
  return nullptr;
}

std::int32_t TXmlContainerNode::AttributeCount() const {
  std::int32_t count = 0;
  for (TXmlNode* n : FNodes)
    if (n->ElementType() == xeAttribute) ++count;
  return count;
}

std::int32_t TXmlContainerNode::AttributeIndexByName(std::string_view AName) const {
  std::string scratch;
  const std::int32_t direct = std::min(FDirectNodeCount, FNodes.Count());
  for (std::int32_t i = 0; i < direct; ++i)
    if (XmlNamesMatch(FNodes.Items(i)->NameRef(scratch), AName)) return i;
  return -1;
}

TXmlNode* TXmlContainerNode::FirstNodeByType(TXmlElementType AType) const {
  return FNodes.ByType(AType);
}

TXmlNode* TXmlContainerNode::NextSibling(TXmlNode* ANode) const {
  if (ANode == nullptr) return nullptr;
  const TXmlNodeList* list = ANode->Parent() ? ListOf(ANode->Parent()) : nullptr;
  if (list == nullptr) return nullptr;
  std::int32_t i = list->IndexOf(ANode);
  return i < 0 ? nullptr : list->Items(i + 1);
}

std::int32_t TXmlContainerNode::NodeAdd(TXmlNode* ANode) {
  if (ANode == nullptr) return -1;
  ANode->FParent = this;
  return FNodes.Add(ANode);
}

void TXmlContainerNode::NodeInsert(std::int32_t AIndex, TXmlNode* ANode) {
  if (ANode == nullptr) return;
  ANode->FParent = this;
  FNodes.Insert(AIndex, ANode);
}

TXmlNode* TXmlContainerNode::NodeExtract(TXmlNode* ANode) {
  std::int32_t i = FNodes.IndexOf(ANode);
  if (i < 0) return nullptr;
  FNodes.Extract(i);
  if (i < FDirectNodeCount) --FDirectNodeCount;
  if (FValueIndex == i)
    FValueIndex = -1;
  else if (FValueIndex > i)
    --FValueIndex;
  ANode->FParent = nullptr;
  return ANode;
}

void TXmlContainerNode::AttributeAdd(TXmlAttribute* AAttribute) {
  if (AAttribute == nullptr || AAttribute->Document() != Document()) {
    XmlDebugOut(*this, this, wsFail, "XML owner is not assigned", {});
    return;
  }
  std::int32_t at = std::clamp(FDirectNodeCount, std::int32_t{0}, FNodes.Count());
  AAttribute->FParent = this;
  FNodes.Insert(at, AAttribute);
  if (FValueIndex >= at) ++FValueIndex;
  FDirectNodeCount = at + 1;
}

std::int32_t TXmlContainerNode::NodeIndexOf(const TXmlNode* ANode) const {
  return FNodes.IndexOf(ANode);
}

TXmlNodeClosingStyle TXmlContainerNode::NodeClosingStyle() const {
  TXmlNodeClosingStyle docStyle = Document()->NodeClosingStyle();
  return docStyle != ncDefault ? docStyle : FNodeClosingStyle;
}

bool TXmlContainerNode::HasSubContainers() const {
  return ContainerCount() > 0;
}

// ---------------------------------------------------------------------------
// Elements and declarations

std::string_view TXmlElement::NameView() const {
  return Symbols().GetStringView(FNameID);
}
std::string TXmlElement::Name() const {
  return std::string(NameView());
}
std::string_view TXmlElement::NameRef(std::string& /*AScratch*/) const {
  return NameView();
}
void TXmlElement::SetName(std::string_view AName) {
  FNameID = Symbols().AddString(AName);
}

std::string TXmlElement::Value() const {
  std::string result;
  for (TXmlNode* n : FNodes) {
    TXmlElementType t = n->ElementType();
    if (t != xeCharData && t != xeCData && t != xeWhiteSpace) continue;
    // Mostly there is one run: it is the value, not copied into another.
    if (result.empty())
      result = n->Value();
    else
      result += n->Value();
  }
  return result;
}

std::string TXmlDtdElement::Value() const {
  std::string result;
  std::string buffer;
  const TXmlEolStyle style = EolStyle();
  for (TXmlNode* n : FNodes) {
    auto* c = dynamic_cast<TXmlCharData*>(n);
    if (c == nullptr) continue;
    if (n->ElementType() == xeQuotedText) {
      char q = static_cast<TXmlQuotedText*>(n)->QuoteStyle() == qsApos ? '\'' : '"';
      result += q;
      result += ApplyEolStyle(c->RawValueView(), style, buffer);
      result += q;
    } else {
      result += ApplyEolStyle(c->RawValueView(), style, buffer);
    }
  }
  return result;
}

std::string TXmlDtdElement::Content() const {
  return Value();
}

void TXmlDeclaration::SetAttribute(std::string_view AName, std::string_view AValue) {
  TXmlAttribute* a = AttributeByName(AName);
  if (a == nullptr) {
    a = TXmlBuild::CreateNode<TXmlAttribute>(*Document());
    a->SetName(AName);
    AttributeAdd(a);
  }
  a->SetValue(AValue);
}

TXmlDocType::TXmlDocType(TXmlDocument* AOwner)
    : TXmlContainerNode(AOwner),
      FExternalID(TXmlBuild::CreateNode<TXmlCharData>(*AOwner)),
      FSystemLiteral(TXmlBuild::CreateNode<TXmlQuotedText>(*AOwner)),
      FPubIDLiteral(TXmlBuild::CreateNode<TXmlQuotedText>(*AOwner)) {
  FExternalID->FParent = this;
  FSystemLiteral->FParent = this;
  FPubIDLiteral->FParent = this;
}

std::string TXmlDocType::Name() const {
  return std::string(Symbols().GetStringView(FNameID));
}
std::string_view TXmlDocType::NameRef(std::string& /*AScratch*/) const {
  return Symbols().GetStringView(FNameID);
}
void TXmlDocType::SetName(std::string_view AName) {
  FNameID = Symbols().AddString(AName);
}

namespace xmlread {

TXmlNode* NewNodeOfType(TXmlDocument& ADoc, TXmlElementType AType) {
  switch (AType) {
    case xeElement:
      return TXmlBuild::CreateNode<TXmlElement>(ADoc);
    case xeAttribute:
      return TXmlBuild::CreateNode<TXmlAttribute>(ADoc);
    case xeCharData:
      return TXmlBuild::CreateNode<TXmlCharData>(ADoc);
    case xeComment:
      return TXmlBuild::CreateNode<TXmlComment>(ADoc);
    case xeCData:
      return TXmlBuild::CreateNode<TXmlCData>(ADoc);
    case xeCondSection:
      return TXmlBuild::CreateNode<TXmlConditionalSection>(ADoc);
    case xeDeclaration:
      return TXmlBuild::CreateNode<TXmlDeclaration>(ADoc);
    case xeStylesheet:
      return TXmlBuild::CreateNode<TXmlStyleSheet>(ADoc);
    case xeDocType:
      return TXmlBuild::CreateNode<TXmlDocType>(ADoc);
    case xeDtdElement:
      return TXmlBuild::CreateNode<TXmlDtdElement>(ADoc);
    case xeDtdAttList:
      return TXmlBuild::CreateNode<TXmlDtdAttList>(ADoc);
    case xeDtdEntity:
      return TXmlBuild::CreateNode<TXmlDtdEntity>(ADoc);
    case xeDtdNotation:
      return TXmlBuild::CreateNode<TXmlDtdNotation>(ADoc);
    case xeInstruction:
      return TXmlBuild::CreateNode<TXmlInstruction>(ADoc);
    case xeWhiteSpace:
      return TXmlBuild::CreateNode<TXmlWhiteSpace>(ADoc);
    case xeQuotedText:
      return TXmlBuild::CreateNode<TXmlQuotedText>(ADoc);
    default:
      return nullptr;
  }
}

}  // namespace xmlread
