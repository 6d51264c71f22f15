// The XML reader's public face: TXmlDocument, the document that loads a tree
// and owns it with its string table and the options that loading and value
// decoding read; TXmlNode, what every node answers; the ordered node lists; and
// the node filter of a load. The node classes (one per kind of markup), what
// the parsers build through (XmlBuild.h) and the readings of markup
// (XmlReader.h) are the reader's internals.
// Nodes keep string-table IDs, never text; every node and every child array lives
// in the document's arena, so a whole tree is freed at once without recursion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "xml/XmlDebug.h"
#include "xml/XmlElementType.h"
#include "xml/XmlEncoding.h"
#include "xml/XmlEscapes.h"

class TStream;
class TXmlParser;
class TXmlDocument;
class TXmlNode;
class TXmlContainerNode;
class TXmlElement;
class TXmlAttribute;
class TXmlQuotedText;
class TXmlCharData;
class TXmlDeclaration;
class TXmlDocType;
class TXmlStyleSheet;
class TXmlNodeArena;
class TXmlSymbolTable;

enum TXmlFormatType : std::uint8_t { xfCompact = 0, xfReadable = 1, xfPreserve = 2 };
enum TXmlNodeClosingStyle : std::uint8_t { ncDefault = 0, ncFull = 1, ncClose = 2 };
enum TXmlQuoteCharStyle : std::uint8_t { qsQuote = 0, qsApos = 1 };
static_assert(sizeof(TXmlFormatType) == 1 && sizeof(TXmlNodeClosingStyle) == 1);

// Raised only for misuse of the tree operations (never for bad markup).
class EXmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using TXmlNodeEvent = std::function<void(TXmlDocument* ASender, TXmlNode* ANode)>;

// Decides, before a load makes a node, whether it makes it. Markup the filter
// declines is still read exactly as it would be (the markup after it parses the
// same, and breaks off where it would), but it yields no node, no event and no
// message, and nothing inside a declined element is offered. A caller that
// looks only at some nodes keeps memory and time for what it looks at.
//
// Offered are the nodes of the root level (AParent null), the attributes, text
// runs and child nodes of accepted elements (AParent the element), each before
// it is made: AName is the name of an element or attribute, the head of a
// comment (cCommentHeadBytes at most of its first line after the blanks it
// begins with, as written: a comment is judged by it, and an accepted comment
// holds it, the rest read and let go), empty for other kinds. A text run may
// be offered only once it is known to make a node (not blanks only).
// Nodes inside an accepted document type or declaration are not offered. A
// declaration the filter declines still tells its encoding.
class TXmlNodeFilter {
 public:
  virtual ~TXmlNodeFilter() = default;
  virtual bool Accept(const TXmlNode* AParent, TXmlElementType AType, std::string_view AName) = 0;
  // An element declined in the content of AParent (an accepted element, or
  // content looked into for it): true looks into its content for AParent,
  // offering its child elements (only those) to AcceptInside, and those
  // accepted become AParent's children. Its attributes, text and other markup
  // are passed over; nested elements looked into cost a count, not memory.
  virtual bool LooksInto(const TXmlNode* /*AParent*/, std::string_view /*AName*/) { return false; }
  // An element inside content looked into for AParent: true makes it a child
  // of AParent (its attributes and content are then offered as usual).
  virtual bool AcceptInside(const TXmlNode* /*AParent*/, std::string_view /*AName*/) {
    return false;
  }
  // Which elements AcceptInside may take for now, so that content looked into
  // is passed over at the speed of a byte search up to the next of them, the
  // rest never offered: false (the default), any; true, none but those named
  // AName (a name that, white trimmed, is AName or ends in ":" AName, ASCII
  // letter case folded), or none at all when AName is empty. A filter that
  // answers true looks into every element inside that it does not take (the
  // skim passes them as looked into).
  virtual bool TakesInsideOnly(std::string_view& /*AName*/) { return false; }
  // How many bytes of the value (as written) of the attribute just accepted
  // are kept; the rest is read and let go.
  virtual std::size_t KeptValueBytes(const TXmlNode* /*AParent*/, std::string_view /*AName*/) {
    return static_cast<std::size_t>(-1);
  }
  // How many bytes (as written) of a text run or CDATA section accepted in the
  // element AParent are kept, the rest read and let go; a run is trimmed as
  // usual after the cut, and makes no node when nothing is left.
  virtual std::size_t KeptTextBytes(const TXmlNode* /*AParent*/) {
    return static_cast<std::size_t>(-1);
  }
};
// The most of a comment's first line a filtered load reads into memory.
constexpr std::size_t cCommentHeadBytes = 64 * 1024;
using TXmlProgressEvent = std::function<void(TXmlDocument* ASender, std::int64_t APosition)>;

// An ordered list of nodes. It owns its entries in the sense of the design (a list
// and its nodes go away together), but the memory belongs to the document's arena.
class TXmlNodeList {
 public:
  explicit TXmlNodeList(TXmlNodeArena* AArena) : FArena(AArena) {}
  TXmlNodeList(const TXmlNodeList&) = delete;
  TXmlNodeList& operator=(const TXmlNodeList&) = delete;

  std::int32_t Count() const { return FCount; }
  // Null when Index < 0 or Index >= Count.
  TXmlNode* Items(std::int32_t AIndex) const {
    return (AIndex >= 0 && AIndex < FCount) ? FItems[AIndex] : nullptr;
  }
  TXmlNode* ByType(TXmlElementType AType) const;
  TXmlNode* FindFirst() const { return Items(0); }
  // Depth-first, parent before children, over the tree hanging from this list.
  TXmlNode* FindNext(TXmlNode* ANode) const;
  // -1 when ANode is not an entry.
  std::int32_t IndexOf(const TXmlNode* ANode) const;

  // Storage operations; they keep each node's cached list index up to date but do
  // not touch parents (the container operations do).
  std::int32_t Add(TXmlNode* ANode);
  void Insert(std::int32_t AIndex, TXmlNode* ANode);
  // Removes the entry and returns it (null for a bad index).
  TXmlNode* Extract(std::int32_t AIndex);
  void Clear();
  // Gives back the spare capacity.
  void Pack();
  // Drops the entries from ACount on (they stay alive in the arena).
  void Truncate(std::int32_t ACount);
  void InsertRange(std::int32_t AIndex, TXmlNode* const* ANodes, std::int32_t ACount);

  TXmlNode* const* begin() const { return FItems; }
  TXmlNode* const* end() const { return FItems + FCount; }

 private:
  friend class TXmlDocument;
  void Reserve(std::int32_t ACount);
  void Renumber(std::int32_t AFrom);
  void Forget() {  // the arena was released under the list
    FItems = nullptr;
    FCount = 0;
    FCapLog2 = -1;
  }

  TXmlNodeArena* FArena;
  TXmlNode** FItems = nullptr;
  std::int32_t FCount = 0;
  std::int8_t FCapLog2 = -1;  // capacity is 1 << FCapLog2; -1: no array
};

// ---------------------------------------------------------------------------
// Nodes

class TXmlNode : public TDebugPersistent {
 public:
  // AOwner must be a document ("XML owner is not assigned" otherwise).
  explicit TXmlNode(TXmlDocument* AOwner);
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  virtual std::string Name() const;   // UTF-8
  virtual std::string Value() const;  // UTF-8, decoded
  virtual void SetName(std::string_view AName);
  virtual void SetValue(std::string_view AValue);
  virtual std::string Content() const { return {}; }
  virtual TXmlElementType ElementType() const { return xeError; }
  std::u16string NameUnicode() const;
  std::u16string ValueUnicode() const;
  const char* ElementTypeName() const { return ::ElementTypeName(ElementType()); }

  TXmlNode* Parent() const { return FParent; }
  TXmlDocument* Document() const;
  // A caller's pointer for the node; null until set.
  void* Tag() const;
  void SetTag(void* ATag);
  std::int32_t TreeDepth() const;
  std::string FullPath() const;

  virtual std::int32_t DirectNodeCount() const { return 0; }
  virtual std::int32_t ContainerCount() const { return 0; }
  virtual TXmlContainerNode* Containers(std::int32_t AIndex) const;
  virtual std::int32_t ElementCount() const { return 0; }
  virtual TXmlElement* Elements(std::int32_t AIndex) const;
  virtual std::int32_t NodeCount() const { return 0; }
  virtual std::int32_t AttributeCount() const { return 0; }
  virtual TXmlNode* Nodes(std::int32_t AIndex) const;  // null outside 0..NodeCount-1

  TXmlAttribute* Attributes(std::int32_t AIndex) const;
  std::string AttributeName(std::int32_t AIndex) const;
  TXmlAttribute* AttributeByName(std::string_view AName) const;
  std::string AttributeValueByName(std::string_view AName) const;
  std::string GetAttributeValueByName(std::string_view AName) const {
    return AttributeValueByName(AName);
  }
  virtual bool HasAttribute(std::string_view AName) const;
  virtual std::int32_t AttributeIndexByName(std::string_view AName) const;
  TXmlNode* NodeByName(std::string_view AName) const;
  virtual TXmlNode* FindNode(std::string_view ANodeName) const;
  virtual void FindNodes(std::string_view ANodeName, std::vector<TXmlNode*>& AList) const;
  virtual void FindNodes(const std::vector<std::string>& ANodeNames,
                         std::vector<TXmlNode*>& AList) const;
  virtual TXmlNode* FirstNodeByType(TXmlElementType AType) const;
  virtual TXmlNode* NextSibling(TXmlNode* ANode) const;
  bool IsEmpty() const;
  bool IsClear() const;
  // The name without a copy where the node stores one; AScratch holds it otherwise.
  virtual std::string_view NameRef(std::string& AScratch) const;

  // Tree building (the parsers and the document use these).
  virtual std::int32_t NodeAdd(TXmlNode* ANode);
  virtual void NodeInsert(std::int32_t AIndex, TXmlNode* ANode);
  virtual TXmlNode* NodeExtract(TXmlNode* ANode);
  virtual void AttributeAdd(TXmlAttribute* AAttribute);
  virtual std::int32_t NodeIndexOf(const TXmlNode* ANode) const;

 protected:
  friend class TXmlNodeList;
  friend class TXmlContainerNode;
  friend class TXmlAttribute;
  friend class TXmlDocType;
  friend class TXmlDocument;
  TXmlSymbolTable& Symbols() const;
  TXmlEolStyle EolStyle() const;

  TXmlNode* FParent = nullptr;
  std::int32_t FListIndex = -1;  // position in the list that holds it, for walks
};

// ---------------------------------------------------------------------------
// The document

class TXmlDocument : public TDebugComponent {
 public:
  explicit TXmlDocument(TDebugComponent* AOwner = nullptr);
  TXmlDocument(TDebugComponent* AOwner, bool AHasDeclaration, bool AHasDocType, bool AHasRoot,
               std::string_view ARootName);
  ~TXmlDocument() override;

  // Loading. Bad markup never raises; it is reported and the load goes on or
  // stops with what it has.
  void LoadFromStream(TStream& AStream);
  // False when the file cannot be opened (nothing is loaded then).
  bool LoadFromFile(std::u16string_view AFileName);
  void ReadFromString(std::string_view AValue);

  void Clear();
  void New(bool AHasDeclaration, bool AHasDocType);
  void New();

  bool IsEmpty() const;
  // The latest load's text began with markup: XML white space (after a
  // byte-order mark), then "<".
  bool BeginsWithMarkup() const { return FBeginsWithMarkup; }
  std::string CommentString() const;
  TXmlNodeList& RootNodes() { return FRootNodes; }
  const TXmlNodeList& RootNodes() const { return FRootNodes; }
  std::int32_t RootNodeCount() const { return FRootNodes.Count(); }
  TXmlElement* Root() const;
  std::int32_t RootContainerCount() const;
  TXmlContainerNode* RootContainers(std::int32_t AIndex) const;
  TXmlDeclaration* Declaration() const;
  TXmlDocType* DocType() const;
  // Creates an empty style sheet at index 1 when there is none.
  TXmlStyleSheet* StyleSheet();
  std::string Charset() const;
  std::string VersionString() const;
  TXmlNode* FindFirst() const { return FRootNodes.FindFirst(); }
  TXmlNode* FindNext(TXmlNode* ANode) const { return FRootNodes.FindNext(ANode); }

  // Options.
  TXmlSymbolTable& SymbolTable();
  TXmlEolStyle EolStyle() const { return FEolStyle; }
  void SetEolStyle(TXmlEolStyle AValue) { FEolStyle = AValue; }
  TXmlFormatType XmlFormat() const { return FXmlFormat; }
  void SetXmlFormat(TXmlFormatType AValue) { FXmlFormat = AValue; }
  bool PreserveWhiteSpace() const { return FXmlFormat == xfPreserve; }
  TXmlNodeClosingStyle NodeClosingStyle() const { return FNodeClosingStyle; }
  bool DropCommentsOnParse() const { return FDropCommentsOnParse; }
  void SetDropCommentsOnParse(bool AValue) { FDropCommentsOnParse = AValue; }
  // A load of text that does not begin with markup (see BeginsWithMarkup)
  // stops there, with nothing loaded.
  bool MarkupFirstOnly() const { return FMarkupFirstOnly; }
  void SetMarkupFirstOnly(bool AValue) { FMarkupFirstOnly = AValue; }
  bool FixStructuralErrors() const { return FFixStructuralErrors; }
  void SetFixStructuralErrors(bool AValue) { FFixStructuralErrors = AValue; }
  // The filter of the loads to come (not owned; null: every node is made). A
  // load with structural repair moves nodes after reading them, so it makes
  // every node whatever the filter says.
  void SetNodeFilter(TXmlNodeFilter* AFilter) { FNodeFilter = AFilter; }
  // The bytes a load asks of its stream at a time (256 unless set). Only two
  // things see the difference: a code page set after the declaration decodes
  // the chunk that held it again, and UTF-16 text loses the odd last byte of
  // every chunk, so sizes are best even.
  std::int32_t ParserChunkSize() const { return FParserChunkSize; }
  void SetParserChunkSize(std::int32_t AValue) { FParserChunkSize = AValue; }
  TXmlNodeFilter* NodeFilter() const { return FNodeFilter; }
  bool AbortParsing() const { return FAbortParsing; }
  void SetAbortParsing(bool AValue) { FAbortParsing = AValue; }

  TXmlStringEncoding ExternalEncoding() const { return FExternalEncoding; }
  void SetExternalEncoding(TXmlStringEncoding AValue);
  std::int32_t ExternalCodepage() const { return FExternalCodePage; }
  void SetExternalCodepage(std::int32_t AValue);
  const TXmlBomInfo& ExternalBomInfo() const { return FExternalBomInfo; }
  bool SetParserEncodingAfterReadDeclaration = false;

  // Events; Sender is the document.
  const TXmlNodeEvent& OnNodeNew() const { return FOnNodeNew; }
  void SetOnNodeNew(TXmlNodeEvent AValue) { FOnNodeNew = std::move(AValue); }
  const TXmlNodeEvent& OnNodeLoaded() const { return FOnNodeLoaded; }
  void SetOnNodeLoaded(TXmlNodeEvent AValue) { FOnNodeLoaded = std::move(AValue); }
  const TXmlProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TXmlProgressEvent AValue) { FOnProgress = std::move(AValue); }

 private:
  // The parsers and the node classes build through TXmlBuild (XmlBuild.h).
  friend class TXmlBuild;

  // Drops the tree and its strings.
  void Forget();
  void Reset(bool AHasDeclaration, bool AHasDocType, bool AHasRoot);
  void ParseRootLevel(TXmlParser& AParser);
  void RepairSingleTags();
  TXmlDeclaration* DeclarationForSetters();

  // What the document owns besides its root list: the node arena, the string
  // table, the nodes' tags and the buffers lent to each load's parser input
  // (XmlDocument.cpp). Created first, freed last.
  struct TStore;
  std::unique_ptr<TStore> FStore;
  TXmlNodeList FRootNodes;
  bool FHasDeclaration = false;
  bool FHasDocType = false;
  bool FHasRoot = true;
  std::string FRootName;
  TXmlEolStyle FEolStyle = esCRLF;
  TXmlFormatType FXmlFormat = xfCompact;
  bool FDropCommentsOnParse = false;
  bool FFixStructuralErrors = false;
  bool FMarkupFirstOnly = false;
  bool FBeginsWithMarkup = false;
  TXmlNodeFilter* FNodeFilter = nullptr;
  std::int32_t FParserChunkSize = 256;
  bool FAbortParsing = false;
  TXmlNodeClosingStyle FNodeClosingStyle = ncClose;
  TXmlStringEncoding FExternalEncoding = seUTF8;
  std::int32_t FExternalCodePage = 0;
  TXmlBomInfo FExternalBomInfo;
  std::unique_ptr<std::vector<std::string>> FSingleTagNames;
  TXmlNodeEvent FOnNodeNew;
  TXmlNodeEvent FOnNodeLoaded;
  TXmlProgressEvent FOnProgress;
};

// The lookup comparison of names: equal under the platform's ignore-case text
// comparison (ASCII names are folded directly, which gives the same answer).
bool XmlNamesMatch(std::string_view ALeft, std::string_view ARight);
