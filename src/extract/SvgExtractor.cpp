// Extraction of the record from an SVG document: the rows of the look-up table
// (the root element's values, the RDF work description and the root's own
// title and description), the embedded image test, the writer from the first
// statement of who wrote the drawing, and the pixel sizes. The image test walks
// the kept tree with a stack of its own, so nothing here grows the machine
// stack with the document's nesting.
#include "extract/SvgExtractor.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Ascii.h"
#include "base/Streams.h"
#include "base/Utf8.h"
#include "extract/Dimensions.h"
#include "extract/ExtractFilter.h"
#include "extract/SvgLookups.h"
#include "extract/SvgSource.h"
#include "xml/XmlDocument.h"

namespace {

TXmlNode* ChooseRoot(TXmlDocument& ADocument) {
  TXmlNodeList& nodes = ADocument.RootNodes();
  for (std::int32_t i = 0; i < nodes.Count(); ++i) {
    TXmlNode* node = nodes.Items(i);
    if (node == nullptr || node->ElementType() != xeElement) continue;
    std::string name = node->Name();
    if (name == svglookups::cSvg || name == svglookups::cPrefixedSvg) return node;
  }
  return nullptr;
}

using namespace svglookups;

// The first child element of ANode that is the part APart (see SvgLookups.h),
// among its first cMaxCandidates children that may be.
TXmlNode* FindChildElement(TXmlNode* ANode, std::string_view APart) {
  std::string scratch;
  std::size_t candidates = 0;
  const std::int32_t count = ANode->NodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    TXmlNode* node = ANode->Nodes(i);
    if (node == nullptr || node->ElementType() != xeElement) continue;
    const std::string_view name = node->NameRef(scratch);
    if (!IsCandidate(name, APart)) continue;
    if (++candidates > cMaxCandidates) return nullptr;
    if (ElementNamesPart(name, APart, ANode, false, node)) return node;
  }
  return nullptr;
}

bool IsTextRun(TXmlElementType AType) {
  return AType == xeCharData || AType == xeCData || AType == xeWhiteSpace;
}

// The text of a node as the reader gives it: an attribute's value read as XML
// normalises attribute values, an element's first cMaxTextRuns text runs.
std::string NodeText(const TXmlNode* ANode) {
  if (ANode->ElementType() == xeAttribute) return NormalisedAttributeValue(ANode->Value());
  if (ANode->ElementType() != xeElement) return ANode->Value();
  std::string text;
  std::size_t runs = 0;
  for (std::int32_t i = 0; i < ANode->NodeCount() && runs < cMaxTextRuns; ++i) {
    const TXmlNode* node = ANode->Nodes(i);
    if (node == nullptr || !IsTextRun(node->ElementType())) continue;
    ++runs;
    text += node->Value();
  }
  return text;
}

// The names of the root's first nodes, read once: each row of the root's own
// values compares them all. Found as FindChildByName finds them.
class TRootNames {
 public:
  explicit TRootNames(TXmlNode* ARoot) : FRoot(ARoot) {
    std::string scratch;
    FCount = std::min<std::int32_t>(ARoot->NodeCount(), cNames);
    for (std::int32_t i = 0; i < FCount; ++i) {
      TXmlNode* node = ARoot->Nodes(i);
      const TXmlElementType type = node != nullptr ? node->ElementType() : xeError;
      // Elements and attributes name themselves in the document's strings;
      // the names of other kinds are made anew and read at the compare.
      FStored[i] = type == xeElement || type == xeAttribute;
      if (FStored[i]) FNames[i] = node->NameRef(scratch);
    }
  }
  TXmlNode* Find(std::string_view AName) const {
    std::string scratch;
    for (std::int32_t i = 0; i < FCount; ++i) {
      if (FStored[i] && FNames[i].size() != AName.size()) continue;
      TXmlNode* node = FRoot->Nodes(i);
      const std::string_view name = FStored[i]        ? FNames[i]
                                    : node != nullptr ? node->NameRef(scratch)
                                                      : std::string_view();
      if (node != nullptr && ascii::EqualsIgnoreCase(name, AName)) return node;
    }
    if (FRoot->NodeCount() <= cNames) return nullptr;
    for (std::int32_t i = cNames; i < FRoot->NodeCount(); ++i) {
      TXmlNode* node = FRoot->Nodes(i);
      if (node != nullptr && ascii::EqualsIgnoreCase(node->NameRef(scratch), AName)) return node;
    }
    return nullptr;
  }

 private:
  static constexpr std::int32_t cNames = 32;
  TXmlNode* FRoot;
  std::int32_t FCount = 0;
  std::string_view FNames[cNames];
  bool FStored[cNames] = {};
};

// The node a row finds from ANode.
TXmlNode* FindRowNode(TXmlNode* ANode, const TLookup& ARow) {
  if (!ARow.Elements) return FindNodeByPath(ANode, ARow.Path);
  TXmlNode* node = ANode;
  for (std::size_t i = 0; node != nullptr && i < PartCount(ARow.Path); ++i)
    node = FindChildElement(node, Part(ARow.Path, i));
  return node;
}

// A row's text: the node's own, or, for a row of Items whose node holds an RDF
// container, the chosen item's.
std::string RowText(TXmlNode* ANode, const TLookup& ARow) {
  TXmlNode* items = nullptr;
  std::string scratch;
  std::size_t candidates = 0;
  for (std::int32_t i = 0; ARow.Items && items == nullptr && i < ANode->NodeCount(); ++i) {
    TXmlNode* node = ANode->Nodes(i);
    if (node == nullptr || node->ElementType() != xeElement) continue;
    const std::string_view name = node->NameRef(scratch);
    for (std::string_view container : cItemContainers) {
      if (!IsCandidate(name, container)) continue;
      if (++candidates > cMaxCandidates) return NodeText(ANode);
      if (ElementNamesPart(name, container, ANode, false, node)) items = node;
      break;
    }
  }
  if (items == nullptr) return NodeText(ANode);
  TXmlNode* first = nullptr;
  std::size_t seen = 0;
  for (std::int32_t i = 0; i < items->NodeCount() && seen < cMaxItems; ++i) {
    TXmlNode* node = items->Nodes(i);
    if (node == nullptr || node->ElementType() != xeElement) continue;
    const std::string_view name = node->NameRef(scratch);
    if (!IsCandidate(name, cItem)) continue;
    ++seen;
    if (!ElementNamesPart(name, cItem, items, false, node)) continue;
    if (node->AttributeValueByName(cItemLanguage) == cDefaultLanguage) return NodeText(node);
    if (first == nullptr) first = node;
  }
  return first == nullptr ? std::string() : NodeText(first);
}

// Whether an image element among the first cMaxImages inside the root, in
// document order, embeds an image. The walk keeps its own stack.
bool HasEmbeddedImage(TXmlNode* ARoot) {
  std::vector<std::pair<TXmlNode*, std::int32_t>> stack{{ARoot, 0}};
  std::size_t images = 0;
  std::string scratch;
  while (!stack.empty()) {
    TXmlNode* node = stack.back().first;
    const std::int32_t next = stack.back().second++;
    if (next >= node->NodeCount()) {
      stack.pop_back();
      continue;
    }
    TXmlNode* child = node->Nodes(next);
    if (child == nullptr || child->ElementType() != xeElement) continue;
    if (ElementNamesPart(child->NameRef(scratch), cImage, ARoot, true)) {
      if (EmbedsImage(child)) return true;
      if (++images == cMaxImages) return false;
    }
    stack.emplace_back(child, 0);
  }
  return false;
}

// The writer a statement in AText names, into AWriter; false when AText is
// no statement.
bool FindStatement(const std::string& AText, std::u16string& AWriter) {
  std::string_view writer;
  if (!StatementWriter(AText, writer)) return false;
  AWriter = RecordText(writer);
  return true;
}

bool FindCommentStatement(const TXmlNode* ANode, std::u16string& AWriter) {
  return ANode != nullptr && ANode->ElementType() == xeComment &&
         FindStatement(ANode->Value(), AWriter);
}

// Application: the first statement of who wrote the drawing, in the order of
// its places (see SvgLookups.h), else the editor that recorded itself.
void FindWriter(TXmlDocument& ADocument, TXmlNode* ARoot, TVexmeta& ARecord) {
  TXmlNodeList& rootNodes = ADocument.RootNodes();
  for (std::int32_t i = 0; i < rootNodes.Count() && rootNodes.Items(i) != ARoot; ++i)
    if (FindCommentStatement(rootNodes.Items(i), ARecord.Application)) return;
  for (std::int32_t i = 0; i < ARoot->NodeCount(); ++i)
    if (FindCommentStatement(ARoot->Nodes(i), ARecord.Application)) return;
  if (TXmlNode* metadata = FindChildElement(ARoot, cMetadata)) {
    std::size_t runs = 0;
    for (std::int32_t i = 0; i < metadata->NodeCount() && runs < cMaxMetadataTexts; ++i) {
      const TXmlNode* node = metadata->Nodes(i);
      if (node == nullptr || !IsTextRun(node->ElementType())) continue;
      ++runs;
      if (FindStatement(node->Value(), ARecord.Application)) return;
    }
  }
  if (TXmlNode* desc = FindChildElement(ARoot, cDesc))
    if (FindStatement(NodeText(desc), ARecord.Application)) return;
  for (const TEditorMark& editor : cEditorMarks) {
    const std::u16string& version = ARecord.*editor.Version;
    if (version.empty()) continue;
    ARecord.Application = std::u16string(editor.Name) + version;
    CutRecordText(ARecord.Application);
    return;
  }
}

bool Extract(TXmlDocument& ADocument, TExtractFilter& AFilter, TStream& AStream, TVexmeta& ARecord,
             bool AParseImageNode, TDocumentLoad ALoad) {
  TXmlDocument* document = &ADocument;
  AFilter.Reset(AParseImageNode);
  document->SetNodeFilter(ALoad == TDocumentLoad::dlFiltered ? &AFilter : nullptr);
  // Chunks as large as the drawing, up to 64 KiB: the declaration's code page
  // is never applied here, the one case where the chunk size shows. (The size
  // of an inflating stream is not known before it is read.)
  const std::int64_t size = AStream.Size();
  constexpr std::int64_t cLargestChunk = 64 * 1024;
  const std::int64_t chunk =
      size > 0 && size < cLargestChunk ? std::max<std::int64_t>(size, 256) : cLargestChunk;
  document->SetParserChunkSize(static_cast<std::int32_t>((chunk + 1) & ~std::int64_t{1}));
  // A drawing may begin with a byte-order mark and XML white space before its
  // first "<"; anything else there means it is no drawing, and the load stops.
  document->SetMarkupFirstOnly(true);
  // Line breaks are given as LF; the record text puts them in the platform's form.
  document->SetEolStyle(esLF);
  AStream.Seek(0);
  document->LoadFromStream(AStream);
  if (!document->BeginsWithMarkup() || document->IsEmpty()) return false;

  TXmlNode* root = ChooseRoot(*document);
  if (root == nullptr) return false;

  // The rows of the look-up table, each from the node an earlier row found.
  TXmlNode* found[cLookupCount] = {};
  const TRootNames rootNames(root);
  for (std::size_t i = 0; i < cLookupCount; ++i) {
    const TLookup& row = cLookups[i];
    TXmlNode* from = row.From < 0 ? root : found[row.From];
    if (from == nullptr) continue;
    found[i] = row.From < 0 && !row.Elements && PartCount(row.Path) == 1 ? rootNames.Find(row.Path)
                                                                         : FindRowNode(from, row);
    if (found[i] == nullptr || row.Kind == lkStep) continue;
    std::u16string& text = ARecord.*row.Text;
    if (row.Kind == lkFallback) {
      if (!text.empty()) continue;
      text = RecordText(RowText(found[i], row));
      for (std::int32_t field = 0; field < cFieldCount; ++field)
        if (!text.empty() && cFieldRows[field].Text == row.Text)
          ARecord.FromFallback |= std::uint32_t{1} << field;
      continue;
    }
    text = RecordText(RowText(found[i], row));
  }
  // "data:image" is ASCII, so comparing the UTF-8 bytes answers the same as
  // comparing the first ten UTF-16 code units.
  ARecord.EmbeddedImage = AParseImageNode && HasEmbeddedImage(root);
  // The date's first "T" (between date and time) shows as a blank.
  const std::size_t t = ARecord.MetadataDate.find(u'T');
  if (t != std::u16string::npos) ARecord.MetadataDate[t] = u' ';
  // A "T" that ended the date leaves no blank behind.
  while (!ARecord.MetadataDate.empty() && ARecord.MetadataDate.back() == u' ')
    ARecord.MetadataDate.pop_back();

  FindWriter(*document, root, ARecord);

  CalcDimensions(ARecord, 96);
  return true;
}

}  // namespace

TSvgExtractor::TSvgExtractor()
    : FDocument(std::make_unique<TXmlDocument>()),
      FFilter(std::make_unique<TExtractFilter>(false)) {}
TSvgExtractor::~TSvgExtractor() = default;

bool ParseSvgDocument(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
                      TDocumentLoad ALoad) {
  return TSvgExtractor().Parse(AStream, ARecord, AParseImageNode, ALoad);
}

bool TSvgExtractor::Parse(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
                          TDocumentLoad ALoad) {
  try {
    return ParseOrRaise(AStream, ARecord, AParseImageNode, ALoad);
  } catch (...) {
    return false;
  }
}

bool TSvgExtractor::ParseOrRaise(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
                                 TDocumentLoad ALoad) {
  ARecord = TVexmeta();
  // The filter serves this parse alone; the tree stays until the next load drops
  // it, and its memory with it serves that load.
  struct TFilterDrop {
    TXmlDocument& Document;
    ~TFilterDrop() { Document.SetNodeFilter(nullptr); }
  } filterDrop{*FDocument};
  try {
    return Extract(*FDocument, *FFilter, AStream, ARecord, AParseImageNode, ALoad);
  } catch (const EFileReadError&) {
    throw;
  } catch (...) {
    // Stream, reader and allocation failures alike: the file holds no usable drawing.
    return false;
  }
}

namespace {

// A stream read through another up to a deadline: the read that ends past it
// raises instead, and the budget is spent.
class TBudgetStream : public TStream {
  using TClock = std::chrono::steady_clock;

 public:
  // A deadline of the clock's largest time is none.
  TBudgetStream(TStream& ASource, TClock::time_point ADeadline)
      : FSource(ASource), FDeadline(ADeadline) {}

  // The deadline of a read that began at AStart.
  static TClock::time_point DeadlineOf(TClock::time_point AStart, std::int64_t ATimeBudgetNs) {
    return ATimeBudgetNs > 0 ? AStart + std::chrono::nanoseconds(ATimeBudgetNs)
                             : TClock::time_point::max();
  }
  std::size_t Read(void* ABuffer, std::size_t ACount) override {
    const std::size_t n = FSource.Read(ABuffer, ACount);
    FPosition += static_cast<std::int64_t>(n);
    if (FDeadline != TClock::time_point::max() && TClock::now() > FDeadline) {
      FSpent = true;
      throw EStreamError("read past the budget");
    }
    return n;
  }
  std::int64_t Position() const override { return FPosition; }
  void Seek(std::int64_t APosition) override {
    FSource.Seek(APosition);
    FPosition = APosition;
  }
  std::int64_t Size() const override { return FSource.Size(); }
  bool ChecksItsRest() const noexcept override { return FSource.ChecksItsRest(); }
  bool Spent() const { return FSpent; }

 private:
  TStream& FSource;
  const TClock::time_point FDeadline;
  std::int64_t FPosition = 0;
  bool FSpent = false;
};

}  // namespace

template <class TOpen>
TFileRead TSvgExtractor::ReadSource(const TOpen& AOpen, const TExtractOptions& AOptions,
                                    TVexmeta& ARecord) {
  // The time budget counts from here: opening an archive reads its directory.
  const auto deadline =
      AOptions.TimeBudgetNs > 0
          ? TBudgetStream::DeadlineOf(std::chrono::steady_clock::now(), AOptions.TimeBudgetNs)
          : std::chrono::steady_clock::time_point::max();
  try {
    std::unique_ptr<TStream> stream = AOpen();
    if (!stream) {
      ARecord = TVexmeta();
      return TFileRead::frNoDrawing;
    }
    // Without a budget the stream is read as it is.
    const bool budgeted = AOptions.TimeBudgetNs > 0;
    TBudgetStream budget(*stream, deadline);
    TStream& source = budgeted ? static_cast<TStream&>(budget) : *stream;
    // A drawing read from compressed data counts only when the data is intact to
    // its end (or the cut), also where the parse stopped early.
    const bool drawing =
        ParseOrRaise(source, ARecord, AOptions.ParseImageNode, TDocumentLoad::dlFiltered) &&
        source.CheckRest();
    if (budget.Spent()) return TFileRead::frOverBudget;
    return drawing ? TFileRead::frDrawing : TFileRead::frNoDrawing;
  } catch (const EFileReadError&) {
    // Whatever was read before the failure is no result.
    ARecord = TVexmeta();
    return TFileRead::frUnreadable;
  } catch (...) {
    ARecord = TVexmeta();
    return TFileRead::frNoDrawing;
  }
}

TFileRead TSvgExtractor::ReadFile(std::u16string_view APath, const TExtractOptions& AOptions,
                                  TVexmeta& ARecord, bool AFoundRegular) {
  return ReadSource(
      [&] { return OpenSvgStreamOrRaise(APath, AOptions.ReadLimitBytes, AFoundRegular); }, AOptions,
      ARecord);
}

TFileRead TSvgExtractor::ReadStream(std::unique_ptr<TStream> ASource, std::u16string_view AName,
                                    const TExtractOptions& AOptions, TVexmeta& ARecord) {
  return ReadSource(
      [&] { return OpenSvgStream(std::move(ASource), AName, AOptions.ReadLimitBytes); }, AOptions,
      ARecord);
}

TXmlNode* FindChildByName(TXmlNode* ANode, std::string_view AName) {
  if (ANode == nullptr) return nullptr;
  const std::int32_t count = ANode->NodeCount();
  std::string scratch;  // names are compared in place; text nodes name their kind here
  for (std::int32_t i = 0; i < count; ++i) {
    TXmlNode* node = ANode->Nodes(i);
    if (node != nullptr && ascii::EqualsIgnoreCase(node->NameRef(scratch), AName)) return node;
  }
  return nullptr;
}

std::u16string GetChildValue(TXmlNode* ANode, std::string_view AName) {
  TXmlNode* node = FindChildByName(ANode, AName);
  return node == nullptr ? std::u16string() : utf8::ToUtf16(node->Value());
}

TXmlNode* FindNodeByPath(TXmlNode* ANode, std::string_view APath) {
  // "a\b\" has the parts "a" and "b"; no parts or an empty part finds nothing.
  if (APath.empty()) return nullptr;
  if (APath.back() == '\\') APath.remove_suffix(1);
  TXmlNode* node = ANode;
  for (;;) {
    std::size_t separator = APath.find('\\');
    std::string_view part = APath.substr(0, separator);
    if (part.empty()) return nullptr;
    node = FindChildByName(node, part);
    if (node == nullptr || separator == std::string_view::npos) return node;
    APath.remove_prefix(separator + 1);
  }
}
