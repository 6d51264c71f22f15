// The reader's node classes, one per kind of markup, and the arena that holds
// them: what the parsers build and tests look into. The extraction needs none
// of this; it reads trees through TXmlNode (XmlDocument.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "base/BlockArena.h"
#include "xml/XmlDocument.h"
#include "xml/XmlStringTable.h"

// The document's node memory: a block arena where nodes are placed and never
// destroyed one by one. Child arrays freed by growth go to per-size free lists
// so that rebuilding a list costs no lasting memory; large child arrays live on
// their own and go back to the heap when they grow.
class TXmlNodeArena {
 public:
  TXmlNodeArena() = default;
  TXmlNodeArena(const TXmlNodeArena&) = delete;
  TXmlNodeArena& operator=(const TXmlNodeArena&) = delete;

  void* Allocate(std::size_t ASize, std::size_t AAlign) { return FBlocks.Allocate(ASize, AAlign); }
  // Arrays of node pointers with a power-of-two capacity (ALog2 = log2 capacity).
  TXmlNode** AllocateArray(int ALog2);
  void FreeArray(TXmlNode** AArray, int ALog2);
  // Drops every node; the first block stays for the next tree.
  void Release();
  std::size_t BytesReserved() const { return FBlocks.BytesReserved() + FOwnArrayBytes; }

  template <class T, class... Args>
  T* New(Args&&... AArgs) {
    static_assert(alignof(T) <= alignof(std::max_align_t));
    return ::new (Allocate(sizeof(T), alignof(T))) T(std::forward<Args>(AArgs)...);
  }

 private:
  static constexpr int cMaxLog2 = 31;
  static constexpr int cOwnArrayLog2 = 12;  // from 4096 entries an array is its own block
  TBlockArena FBlocks{16 * 1024, 1024 * 1024};
  std::unordered_map<TXmlNode**, std::unique_ptr<std::byte[]>> FOwnArrays;
  std::size_t FOwnArrayBytes = 0;
  void* FFreeArrays[cMaxLog2 + 1] = {};  // singly linked through their first slot
};

class TXmlCharData : public TXmlNode {
 public:
  using TXmlNode::TXmlNode;
  std::string Name() const override;
  std::string Value() const override;
  void SetName(std::string_view AName) override;
  void SetValue(std::string_view AValue) override;
  TXmlElementType ElementType() const override { return xeCharData; }

  virtual std::string RawValue() const;
  virtual void SetRawValue(std::string_view AValue);
  std::string_view RawValueView() const;
  // The stored text begins or ends with a byte below 33.
  virtual bool IsWhiteSpace() const;

 protected:
  std::int32_t FValueID = 0;
};

class TXmlWhiteSpace : public TXmlCharData {
 public:
  using TXmlCharData::TXmlCharData;
  TXmlElementType ElementType() const override { return xeWhiteSpace; }
};

class TXmlQuotedText : public TXmlCharData {
 public:
  using TXmlCharData::TXmlCharData;
  TXmlElementType ElementType() const override { return xeQuotedText; }
  TXmlQuoteCharStyle QuoteStyle() const { return FQuoteStyle; }
  void SetQuoteStyle(TXmlQuoteCharStyle AStyle) { FQuoteStyle = AStyle; }

 private:
  TXmlQuoteCharStyle FQuoteStyle = qsQuote;
};

class TXmlComment : public TXmlCharData {
 public:
  using TXmlCharData::TXmlCharData;
  TXmlElementType ElementType() const override { return xeComment; }
};

class TXmlCData : public TXmlComment {
 public:
  using TXmlComment::TXmlComment;
  std::string Value() const override;
  void SetValue(std::string_view AValue) override;
  TXmlElementType ElementType() const override { return xeCData; }
};

// No markup produces one; it answers as a comment.
class TXmlConditionalSection : public TXmlComment {
 public:
  using TXmlComment::TXmlComment;
};

class TXmlInstruction : public TXmlCharData {
 public:
  using TXmlCharData::TXmlCharData;
  std::string Name() const override { return "PI"; }
  TXmlElementType ElementType() const override { return xeInstruction; }
};

class TXmlAttribute : public TXmlNode {
 public:
  explicit TXmlAttribute(TXmlDocument* AOwner);
  std::string Name() const override;
  std::string Value() const override;
  void SetName(std::string_view AName) override;
  void SetValue(std::string_view AValue) override;
  TXmlElementType ElementType() const override { return xeAttribute; }

  TXmlQuotedText* CoreValue() const { return &FCoreValue; }
  std::string_view NameRef(std::string& AScratch) const override;
  std::string_view NameView() const;

 private:
  std::int32_t FNameID = 0;
  // Held in place: an attribute and its value are one allocation.
  mutable TXmlQuotedText FCoreValue;
};

class TXmlContainerNode : public TXmlNode {
 public:
  explicit TXmlContainerNode(TXmlDocument* AOwner);

  std::int32_t DirectNodeCount() const override { return FDirectNodeCount; }
  std::int32_t ContainerCount() const override;
  TXmlContainerNode* Containers(std::int32_t AIndex) const override;
  std::int32_t ElementCount() const override;
  TXmlElement* Elements(std::int32_t AIndex) const override;
  std::int32_t NodeCount() const override { return FNodes.Count(); }
  std::int32_t AttributeCount() const override;
  TXmlNode* Nodes(std::int32_t AIndex) const override { return FNodes.Items(AIndex); }
  std::int32_t AttributeIndexByName(std::string_view AName) const override;
  TXmlNode* FirstNodeByType(TXmlElementType AType) const override;
  TXmlNode* NextSibling(TXmlNode* ANode) const override;

  std::int32_t NodeAdd(TXmlNode* ANode) override;
  void NodeInsert(std::int32_t AIndex, TXmlNode* ANode) override;
  TXmlNode* NodeExtract(TXmlNode* ANode) override;
  void AttributeAdd(TXmlAttribute* AAttribute) override;
  std::int32_t NodeIndexOf(const TXmlNode* ANode) const override;

  const TXmlNodeList& NodeList() const { return FNodes; }
  std::int32_t ValueIndex() const { return FValueIndex; }
  // The document's style when that is not ncDefault, else the node's own.
  TXmlNodeClosingStyle NodeClosingStyle() const;
  TXmlNodeClosingStyle OwnClosingStyle() const { return FNodeClosingStyle; }
  bool HasSubContainers() const;
  // For the parsers.
  void SetDirectNodeCountToCount();
  void SetValueIndex(std::int32_t AIndex) { FValueIndex = AIndex; }
  void SetClosingStyle(TXmlNodeClosingStyle AStyle) { FNodeClosingStyle = AStyle; }
  void PackNodes() { FNodes.Pack(); }

 protected:
  friend class TXmlDocument;
  // Ordered so that the fields fill the gaps behind the node base and the list
  // (an element takes 64 bytes).
  std::int32_t FDirectNodeCount = 0;
  [[no_unique_address]] TXmlNodeList FNodes;
  TXmlNodeClosingStyle FNodeClosingStyle = ncDefault;
  std::int32_t FValueIndex = -1;
};

class TXmlElement : public TXmlContainerNode {
 public:
  using TXmlContainerNode::TXmlContainerNode;
  std::string Name() const override;
  std::string Value() const override;
  void SetName(std::string_view AName) override;
  TXmlElementType ElementType() const override { return xeElement; }

  std::string_view NameView() const;
  std::string_view NameRef(std::string& AScratch) const override;
  // The repair walk for an end tag naming another element (FixStructuralErrors).
  TXmlNode* RepairEndTagMismatch(std::string_view AEndTagName);

 protected:
  std::int32_t FNameID = 0;
};

// ELEMENT declaration of an internal subset; its value is its declaration body.
class TXmlDtdElement : public TXmlElement {
 public:
  using TXmlElement::TXmlElement;
  std::string Value() const override;
  std::string Content() const override;
  TXmlElementType ElementType() const override { return xeDtdElement; }
  // "<!ELEMENT", "<!ATTLIST", ...: the keyword the writer puts before the name.
  virtual std::string_view Keyword() const { return "ELEMENT"; }
};

class TXmlDtdAttList : public TXmlDtdElement {
 public:
  using TXmlDtdElement::TXmlDtdElement;
  TXmlElementType ElementType() const override { return xeDtdAttList; }
  std::string_view Keyword() const override { return "ATTLIST"; }
};

class TXmlDtdEntity : public TXmlDtdElement {
 public:
  using TXmlDtdElement::TXmlDtdElement;
  TXmlElementType ElementType() const override { return xeDtdEntity; }
  std::string_view Keyword() const override { return "ENTITY"; }
};

class TXmlDtdNotation : public TXmlDtdElement {
 public:
  using TXmlDtdElement::TXmlDtdElement;
  TXmlElementType ElementType() const override { return xeDtdNotation; }
  std::string_view Keyword() const override { return "NOTATION"; }
};

class TXmlDeclaration : public TXmlContainerNode {
 public:
  using TXmlContainerNode::TXmlContainerNode;
  std::string Name() const override { return "xml"; }
  TXmlElementType ElementType() const override { return xeDeclaration; }

  std::string Version() const { return AttributeValueByName("version"); }
  std::string Encoding() const { return AttributeValueByName("encoding"); }
  void SetVersion(std::string_view AValue) { SetAttribute("version", AValue); }
  void SetEncoding(std::string_view AValue) { SetAttribute("encoding", AValue); }

 private:
  void SetAttribute(std::string_view AName, std::string_view AValue);
};

class TXmlStyleSheet : public TXmlDeclaration {
 public:
  using TXmlDeclaration::TXmlDeclaration;
  std::string Name() const override { return "xml-stylesheet"; }
  TXmlElementType ElementType() const override { return xeStylesheet; }
};

class TXmlDocType : public TXmlContainerNode {
 public:
  explicit TXmlDocType(TXmlDocument* AOwner);
  std::string Name() const override;
  void SetName(std::string_view AName) override;
  TXmlElementType ElementType() const override { return xeDocType; }

  std::string_view NameRef(std::string& AScratch) const override;
  TXmlCharData* ExternalID() const { return FExternalID; }
  TXmlQuotedText* SystemLiteral() const { return FSystemLiteral; }
  TXmlQuotedText* PubIDLiteral() const { return FPubIDLiteral; }

 private:
  std::int32_t FNameID = 0;
  TXmlCharData* FExternalID;
  TXmlQuotedText* FSystemLiteral;
  TXmlQuotedText* FPubIDLiteral;
};
