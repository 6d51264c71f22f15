// The node model: the document's arena, node lists, the read operations of every
// node class and the tree walks. Walks go through parent links and each node's
// cached list index, so no query recurses or keeps a stack as deep as the tree.
#include "xml/XmlNodes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/Ascii.h"
#include "platform/Platform.h"
#include "xml/XmlReader.h"

namespace {

// The smallest k with (1 << k) >= ACount.
int CeilLog2(std::int32_t ACount) {
  int K = 0;
  while ((std::int64_t{1} << K) < ACount) ++K;
  return K;
}

bool IsElementClass(const TXmlNode* N) {
  return dynamic_cast<const TXmlElement*>(N) != nullptr;
}
bool IsContainerClass(const TXmlNode* N) {
  return dynamic_cast<const TXmlContainerNode*>(N) != nullptr;
}

const TXmlNodeList* ListOf(const TXmlNode* AContainer) {
  auto* C = dynamic_cast<const TXmlContainerNode*>(AContainer);
  return C ? &C->NodeList() : nullptr;
}

// The node after N in a depth-first, parent-before-children walk that stays below
// ATop (ATop itself is never returned); ARootList holds the parentless nodes.
TXmlNode* WalkNext(const TXmlNode* N, const TXmlNode* ATop, const TXmlNodeList* ARootList) {
  if (N->NodeCount() > 0) return N->Nodes(0);
  for (;;) {
    if (N == ATop) return nullptr;
    const TXmlNode* Parent = N->Parent();
    // A root-level node takes its sibling from the document's list.
    const TXmlNodeList* List = Parent ? ListOf(Parent) : ARootList;
    if (List == nullptr) return nullptr;
    std::int32_t I = List->IndexOf(N);
    if (I < 0) throw EXmlError("index must be >= 0");
    if (I + 1 < List->Count()) return List->Items(I + 1);
    if (Parent == nullptr || Parent == ATop) return nullptr;
    N = Parent;
  }
}

}  // namespace

namespace {

// The lookup comparison with the ASCII-ness of both sides known in advance.
bool NamesMatch(std::string_view A, bool AAscii, std::string_view B, bool BAscii) {
  if (AAscii && BAscii) return ascii::EqualsIgnoreCase(A, B);
  return platform::TextEqualsIgnoreCase(Utf8StringToUnicode(A), Utf8StringToUnicode(B));
}

}  // namespace

bool XmlNamesMatch(std::string_view A, std::string_view B) {
  return NamesMatch(A, ascii::IsAscii(A), B, ascii::IsAscii(B));
}

// ---------------------------------------------------------------------------
// TXmlNodeArena

// Blocks start at the strictest alignment; within a block every request is padded
// to the pointer size, and placed at its own alignment when that is stricter.
TXmlNode** TXmlNodeArena::AllocateArray(int ALog2) {
  if (ALog2 >= cOwnArrayLog2) {
    const std::size_t Size = sizeof(TXmlNode*) << ALog2;
    auto Block = std::make_unique_for_overwrite<std::byte[]>(Size);
    auto* Array = static_cast<TXmlNode**>(static_cast<void*>(Block.get()));
    FOwnArrays.emplace(Array, std::move(Block));
    FOwnArrayBytes += Size;
    return Array;
  }
  if (void* Free = FFreeArrays[ALog2]) {
    std::memcpy(&FFreeArrays[ALog2], Free, sizeof(void*));
    return static_cast<TXmlNode**>(Free);
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
  for (TXmlNode* N : *this)
    if (N->ElementType() == AType) return N;
  return nullptr;
}

TXmlNode* TXmlNodeList::FindNext(TXmlNode* ANode) const {
  if (ANode == nullptr) return nullptr;
  return WalkNext(ANode, nullptr, this);
}

std::int32_t TXmlNodeList::IndexOf(const TXmlNode* ANode) const {
  if (ANode == nullptr) return -1;
  std::int32_t I = ANode->FListIndex;
  if (I >= 0 && I < FCount && FItems[I] == ANode) return I;
  for (std::int32_t J = 0; J < FCount; ++J)
    if (FItems[J] == ANode) return J;
  return -1;
}

void TXmlNodeList::Reserve(std::int32_t ACount) {
  if (FCapLog2 >= 0 && ACount <= (std::int32_t{1} << FCapLog2)) return;
  if (ACount > (std::int32_t{1} << 30)) throw std::length_error("node list too long");
  int NewLog2 = CeilLog2(ACount);
  TXmlNode** NewItems = FArena->AllocateArray(NewLog2);
  if (FCount > 0) std::memcpy(NewItems, FItems, sizeof(TXmlNode*) * FCount);
  if (FItems) FArena->FreeArray(FItems, FCapLog2);
  FItems = NewItems;
  FCapLog2 = static_cast<std::int8_t>(NewLog2);
}

void TXmlNodeList::Renumber(std::int32_t AFrom) {
  for (std::int32_t I = AFrom; I < FCount; ++I) FItems[I]->FListIndex = I;
}

std::int32_t TXmlNodeList::Add(TXmlNode* ANode) {
  Reserve(FCount + 1);
  FItems[FCount] = ANode;
  ANode->FListIndex = FCount;
  return FCount++;
}

void TXmlNodeList::Insert(std::int32_t Index, TXmlNode* ANode) {
  InsertRange(Index, &ANode, 1);
}

void TXmlNodeList::InsertRange(std::int32_t Index, TXmlNode* const* ANodes, std::int32_t ACount) {
  if (ACount <= 0) return;
  Index = std::clamp(Index, std::int32_t{0}, FCount);
  Reserve(FCount + ACount);
  std::memmove(FItems + Index + ACount, FItems + Index, sizeof(TXmlNode*) * (FCount - Index));
  std::memcpy(FItems + Index, ANodes, sizeof(TXmlNode*) * ACount);
  FCount += ACount;
  Renumber(Index);
}

TXmlNode* TXmlNodeList::Extract(std::int32_t Index) {
  if (Index < 0 || Index >= FCount) return nullptr;
  TXmlNode* N = FItems[Index];
  std::memmove(FItems + Index, FItems + Index + 1, sizeof(TXmlNode*) * (FCount - Index - 1));
  --FCount;
  Renumber(Index);
  N->FListIndex = -1;
  return N;
}

void TXmlNodeList::Truncate(std::int32_t ACount) {
  if (ACount < 0 || ACount >= FCount) return;
  for (std::int32_t I = ACount; I < FCount; ++I) FItems[I]->FListIndex = -1;
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
  int Want = CeilLog2(FCount);
  if (Want >= FCapLog2) return;
  TXmlNode** NewItems = FArena->AllocateArray(Want);
  std::memcpy(NewItems, FItems, sizeof(TXmlNode*) * FCount);
  FArena->FreeArray(FItems, FCapLog2);
  FItems = NewItems;
  FCapLog2 = static_cast<std::int8_t>(Want);
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
  return Document()->NodeTag(this);
}
void TXmlNode::SetTag(void* ATag) {
  Document()->SetNodeTag(this, ATag);
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
  std::int32_t Depth = 0;
  for (const TXmlNode* P = FParent; P != nullptr; P = P->FParent) ++Depth;
  return Depth;
}

std::string TXmlNode::FullPath() const {
  std::vector<const TXmlNode*> Chain;
  for (const TXmlNode* N = this; N != nullptr; N = N->FParent) Chain.push_back(N);
  std::string Result;
  std::string Scratch;
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It) {
    Result += '/';
    Result += (*It)->NameRef(Scratch);
  }
  return Result;
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

TXmlAttribute* TXmlNode::Attributes(std::int32_t Index) const {
  if (Index < 0) return nullptr;
  std::int32_t Seen = 0;
  const std::int32_t Count = NodeCount();
  for (std::int32_t I = 0; I < Count; ++I) {
    TXmlNode* N = Nodes(I);
    if (N->ElementType() == xeAttribute && Seen++ == Index) return static_cast<TXmlAttribute*>(N);
  }
  return nullptr;
}

std::string TXmlNode::AttributeName(std::int32_t Index) const {
  TXmlAttribute* A = Attributes(Index);
  return A ? A->Name() : std::string();
}

TXmlAttribute* TXmlNode::AttributeByName(std::string_view AName) const {
  const std::int32_t Count = NodeCount();
  for (std::int32_t I = 0; I < Count; ++I) {
    TXmlNode* N = Nodes(I);
    if (N->ElementType() != xeAttribute) continue;
    auto* A = static_cast<TXmlAttribute*>(N);
    if (XmlNamesMatch(A->NameView(), AName)) return A;
  }
  return nullptr;
}

std::string TXmlNode::AttributeValueByName(std::string_view AName) const {
  TXmlAttribute* A = AttributeByName(AName);
  return A ? A->Value() : std::string();
}

bool TXmlNode::HasAttribute(std::string_view AName) const {
  const std::int32_t Count = NodeCount();
  for (std::int32_t I = 0; I < Count; ++I) {
    TXmlNode* N = Nodes(I);
    if (N->ElementType() == xeAttribute && static_cast<TXmlAttribute*>(N)->NameView() == AName)
      return true;
  }
  return false;
}

std::int32_t TXmlNode::AttributeIndexByName(std::string_view /*AName*/) const {
  return -1;
}

TXmlNode* TXmlNode::NodeByName(std::string_view AName) const {
  std::string Scratch;
  const std::int32_t Count = NodeCount();
  for (std::int32_t I = 0; I < Count; ++I) {
    TXmlNode* N = Nodes(I);
    if (XmlNamesMatch(N->NameRef(Scratch), AName)) return N;
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
  TXmlNode* N = ATop->Nodes(0);
  if (N == nullptr) return;
  TPathText Path;
  struct Level {
    std::size_t Len, NonAscii;
  };
  std::vector<Level> Levels;  // the path before each open level
  std::string Scratch;
  auto NonAsciiIn = [](std::string_view S) {
    return static_cast<std::size_t>(std::count_if(
        S.begin(), S.end(), [](char C) { return static_cast<unsigned char>(C) >= 0x80; }));
  };
  if (ANeedPaths) {
    Path.Text = ATop->FullPath();
    Path.NonAscii = NonAsciiIn(Path.Text);
  }
  while (N != nullptr) {
    std::string_view Name = N->NameRef(Scratch);
    const Level Base{Path.Text.size(), Path.NonAscii};
    if (ANeedPaths) {
      Path.Text += '/';
      Path.Text += Name;
      Path.NonAscii += NonAsciiIn(Name);
    }
    if (!AVisit(N, Name, Path)) return;
    // Advance: first child, else the next sibling of the nearest ancestor that has one.
    if (N->NodeCount() > 0) {
      if (ANeedPaths) Levels.push_back(Base);
      N = N->Nodes(0);
      continue;
    }
    if (ANeedPaths) {
      Path.Text.resize(Base.Len);
      Path.NonAscii = Base.NonAscii;
    }
    for (;;) {
      TXmlNode* Parent = N->Parent();
      if (Parent == nullptr) return;
      const TXmlNodeList* List = ListOf(Parent);
      std::int32_t I = List ? List->IndexOf(N) : -1;
      if (I >= 0 && I + 1 < List->Count()) {
        N = List->Items(I + 1);
        break;
      }
      if (Parent == ATop) return;
      N = Parent;
      if (ANeedPaths) {
        Path.Text.resize(Levels.back().Len);
        Path.NonAscii = Levels.back().NonAscii;
        Levels.pop_back();
      }
    }
  }
}

bool NodeMatches(std::string_view ASearch, std::string_view AName, const TPathText& APath) {
  if (!ASearch.empty() && ASearch.front() == '/')
    return NamesMatch(APath.Text, APath.IsAscii(), ASearch, ascii::IsAscii(ASearch));
  return XmlNamesMatch(AName, ASearch);
}

bool IsPathSearch(std::string_view S) {
  return !S.empty() && S.front() == '/';
}

}  // namespace

TXmlNode* TXmlNode::FindNode(std::string_view NodeName) const {
  TXmlNode* Found = nullptr;
  WalkDescendants(this, IsPathSearch(NodeName),
                  [&](TXmlNode* N, std::string_view Name, const TPathText& Path) {
                    if (!NodeMatches(NodeName, Name, Path)) return true;
                    Found = N;
                    return false;
                  });
  return Found;
}

void TXmlNode::FindNodes(std::string_view NodeName, std::vector<TXmlNode*>& AList) const {
  AList.clear();
  WalkDescendants(this, IsPathSearch(NodeName),
                  [&](TXmlNode* N, std::string_view Name, const TPathText& Path) {
                    if (NodeMatches(NodeName, Name, Path)) AList.push_back(N);
                    return true;
                  });
}

void TXmlNode::FindNodes(const std::vector<std::string>& NodeNames,
                         std::vector<TXmlNode*>& AList) const {
  AList.clear();
  bool NeedPaths = std::any_of(NodeNames.begin(), NodeNames.end(),
                               [](const std::string& S) { return IsPathSearch(S); });
  WalkDescendants(this, NeedPaths, [&](TXmlNode* N, std::string_view Name, const TPathText& Path) {
    for (const std::string& S : NodeNames)
      if (NodeMatches(S, Name, Path)) AList.push_back(N);
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
TXmlNode* TXmlNode::ParseStream(TXmlParser& /*P*/) {
  return this;
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
  std::string B1, B2;
  SetRawValue(EscapeText(NormaliseLineEnds(AValue, B1), B2));
}

bool TXmlCharData::IsWhiteSpace() const {
  std::string_view R = RawValueView();
  return !R.empty() &&
         (static_cast<unsigned char>(R.front()) < 33 || static_cast<unsigned char>(R.back()) < 33);
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
    : TXmlNode(AOwner), FNodes(&AOwner->Arena()) {}

std::int32_t TXmlContainerNode::ContainerCount() const {
  std::int32_t Count = 0;
  for (std::int32_t I = FDirectNodeCount; I < FNodes.Count(); ++I)
    if (IsContainerClass(FNodes.Items(I))) ++Count;
  return Count;
}

TXmlContainerNode* TXmlContainerNode::Containers(std::int32_t Index) const {
  if (Index < 0) return nullptr;
  std::int32_t Seen = 0;
  for (std::int32_t I = std::max<std::int32_t>(FDirectNodeCount, 0); I < FNodes.Count(); ++I) {
    TXmlNode* N = FNodes.Items(I);
    if (IsContainerClass(N) && Seen++ == Index) return static_cast<TXmlContainerNode*>(N);
  }
  return nullptr;
}

std::int32_t TXmlContainerNode::ElementCount() const {
  std::int32_t Count = 0;
  for (std::int32_t I = std::max<std::int32_t>(FDirectNodeCount, 0); I < FNodes.Count(); ++I)
    if (IsElementClass(FNodes.Items(I))) ++Count;
  return Count;
}

TXmlElement* TXmlContainerNode::Elements(std::int32_t Index) const {
  if (Index < 0) return nullptr;
  std::int32_t Seen = 0;
  for (std::int32_t I = std::max<std::int32_t>(FDirectNodeCount, 0); I < FNodes.Count(); ++I) {
    TXmlNode* N = FNodes.Items(I);
    if (IsElementClass(N) && Seen++ == Index) return static_cast<TXmlElement*>(N);
  }
  return nullptr;
}

std::int32_t TXmlContainerNode::AttributeCount() const {
  std::int32_t Count = 0;
  for (TXmlNode* N : FNodes)
    if (N->ElementType() == xeAttribute) ++Count;
  return Count;
}

std::int32_t TXmlContainerNode::AttributeIndexByName(std::string_view AName) const {
  std::string Scratch;
  const std::int32_t Direct = std::min(FDirectNodeCount, FNodes.Count());
  for (std::int32_t I = 0; I < Direct; ++I)
    if (XmlNamesMatch(FNodes.Items(I)->NameRef(Scratch), AName)) return I;
  return -1;
}

TXmlNode* TXmlContainerNode::FirstNodeByType(TXmlElementType AType) const {
  return FNodes.ByType(AType);
}

TXmlNode* TXmlContainerNode::NextSibling(TXmlNode* ANode) const {
  if (ANode == nullptr) return nullptr;
  const TXmlNodeList* List = ANode->Parent() ? ListOf(ANode->Parent()) : nullptr;
  if (List == nullptr) return nullptr;
  std::int32_t I = List->IndexOf(ANode);
  return I < 0 ? nullptr : List->Items(I + 1);
}

std::int32_t TXmlContainerNode::NodeAdd(TXmlNode* ANode) {
  if (ANode == nullptr) return -1;
  ANode->FParent = this;
  return FNodes.Add(ANode);
}

void TXmlContainerNode::NodeInsert(std::int32_t Index, TXmlNode* ANode) {
  if (ANode == nullptr) return;
  ANode->FParent = this;
  FNodes.Insert(Index, ANode);
}

TXmlNode* TXmlContainerNode::NodeExtract(TXmlNode* ANode) {
  std::int32_t I = FNodes.IndexOf(ANode);
  if (I < 0) return nullptr;
  FNodes.Extract(I);
  if (I < FDirectNodeCount) --FDirectNodeCount;
  if (FValueIndex == I)
    FValueIndex = -1;
  else if (FValueIndex > I)
    --FValueIndex;
  ANode->FParent = nullptr;
  return ANode;
}

void TXmlContainerNode::AttributeAdd(TXmlAttribute* AAttribute) {
  if (AAttribute == nullptr || AAttribute->Document() != Document()) {
    XmlDebugOut(*this, this, wsFail, "XML owner is not assigned", {});
    return;
  }
  std::int32_t At = std::clamp(FDirectNodeCount, std::int32_t{0}, FNodes.Count());
  AAttribute->FParent = this;
  FNodes.Insert(At, AAttribute);
  if (FValueIndex >= At) ++FValueIndex;
  FDirectNodeCount = At + 1;
}

std::int32_t TXmlContainerNode::NodeIndexOf(const TXmlNode* ANode) const {
  return FNodes.IndexOf(ANode);
}

TXmlNodeClosingStyle TXmlContainerNode::NodeClosingStyle() const {
  TXmlNodeClosingStyle DocStyle = Document()->NodeClosingStyle();
  return DocStyle != ncDefault ? DocStyle : FNodeClosingStyle;
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
  std::string Result;
  for (TXmlNode* N : FNodes) {
    TXmlElementType T = N->ElementType();
    if (T == xeCharData || T == xeCData || T == xeWhiteSpace) Result += N->Value();
  }
  return Result;
}

std::string TXmlDtdElement::Value() const {
  std::string Result;
  std::string Buffer;
  const TXmlEolStyle Style = EolStyle();
  for (TXmlNode* N : FNodes) {
    auto* C = dynamic_cast<TXmlCharData*>(N);
    if (C == nullptr) continue;
    if (N->ElementType() == xeQuotedText) {
      char Q = static_cast<TXmlQuotedText*>(N)->QuoteStyle() == qsApos ? '\'' : '"';
      Result += Q;
      Result += ApplyEolStyle(C->RawValueView(), Style, Buffer);
      Result += Q;
    } else {
      Result += ApplyEolStyle(C->RawValueView(), Style, Buffer);
    }
  }
  return Result;
}

std::string TXmlDtdElement::Content() const {
  return Value();
}

void TXmlDeclaration::SetAttribute(std::string_view AName, std::string_view AValue) {
  TXmlAttribute* A = AttributeByName(AName);
  if (A == nullptr) {
    A = Document()->CreateNode<TXmlAttribute>();
    A->SetName(AName);
    AttributeAdd(A);
  }
  A->SetValue(AValue);
}

TXmlDocType::TXmlDocType(TXmlDocument* AOwner)
    : TXmlContainerNode(AOwner),
      FExternalID(AOwner->CreateNode<TXmlCharData>()),
      FSystemLiteral(AOwner->CreateNode<TXmlQuotedText>()),
      FPubIDLiteral(AOwner->CreateNode<TXmlQuotedText>()) {
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
      return ADoc.CreateNode<TXmlElement>();
    case xeAttribute:
      return ADoc.CreateNode<TXmlAttribute>();
    case xeCharData:
      return ADoc.CreateNode<TXmlCharData>();
    case xeComment:
      return ADoc.CreateNode<TXmlComment>();
    case xeCData:
      return ADoc.CreateNode<TXmlCData>();
    case xeCondSection:
      return ADoc.CreateNode<TXmlConditionalSection>();
    case xeDeclaration:
      return ADoc.CreateNode<TXmlDeclaration>();
    case xeStylesheet:
      return ADoc.CreateNode<TXmlStyleSheet>();
    case xeDocType:
      return ADoc.CreateNode<TXmlDocType>();
    case xeDtdElement:
      return ADoc.CreateNode<TXmlDtdElement>();
    case xeDtdAttList:
      return ADoc.CreateNode<TXmlDtdAttList>();
    case xeDtdEntity:
      return ADoc.CreateNode<TXmlDtdEntity>();
    case xeDtdNotation:
      return ADoc.CreateNode<TXmlDtdNotation>();
    case xeInstruction:
      return ADoc.CreateNode<TXmlInstruction>();
    case xeWhiteSpace:
      return ADoc.CreateNode<TXmlWhiteSpace>();
    case xeQuotedText:
      return ADoc.CreateNode<TXmlQuotedText>();
    default:
      return nullptr;
  }
}

}  // namespace xmlread
