// Extraction of the record from an SVG document: the rows of the look-up table
// (the root element's values, the embedded image test, the RDF work
// description), the producing application from a comment, and the pixel sizes.
// Lookups walk one node list at a time, never the whole tree, so nothing here
// grows with the document's nesting.
#include "extract/SvgExtractor.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "base/Ascii.h"
#include "base/Blanks.h"
#include "base/Streams.h"
#include "base/Utf8.h"
#include "extract/Dimensions.h"
#include "extract/ExtractFilter.h"
#include "extract/SvgLookups.h"
#include "extract/SvgSource.h"
#include "xml/XmlDocument.h"

namespace {

// Every text of the record goes through here, so none can pin more than
// cMaxRecordText code units in the cache. Only the start of a long value is
// converted: each character takes at most four UTF-8 bytes (an ill-formed byte
// gives at most one U+FFFD), so these bytes hold every code unit that is kept
// and the one after it, whatever follows.
std::u16string RecordText(std::string_view AUtf8) {
  constexpr std::size_t cSourceBytes = 4 * (cMaxRecordText + 1);
  std::u16string text = utf8::ToUtf16(AUtf8.substr(0, cSourceBytes));
  CutRecordText(text);
  return text;
}

// The tool name from a comment such as "Created with Tool 1.0"; empty when the
// comment has none of the known prefixes.
std::string_view ApplicationFromComment(std::string_view AComment) {
  static constexpr std::string_view cPrefixes[] = {"Created with", "Generator:", "Creator:"};
  std::string_view text = blanks::TrimWhite(AComment);
  for (std::string_view prefix : cPrefixes)
    if (text.starts_with(prefix)) return blanks::TrimWhite(text.substr(prefix.size()));
  return {};
}

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

bool Extract(TXmlDocument& ADocument, TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
             TDocumentLoad ALoad) {
  TXmlDocument* document = &ADocument;
  TExtractFilter filter(AParseImageNode);
  document->SetNodeFilter(ALoad == TDocumentLoad::dlFiltered ? &filter : nullptr);
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
  AStream.Seek(0);
  document->LoadFromStream(AStream);
  if (!document->BeginsWithMarkup() || document->IsEmpty()) return false;

  std::string application = document->CommentString();

  TXmlNode* root = ChooseRoot(*document);
  if (root == nullptr) return false;

  // The rows of the look-up table, each from the node an earlier row found.
  using namespace svglookups;
  TXmlNode* found[cLookupCount] = {};
  for (std::size_t i = 0; i < cLookupCount; ++i) {
    const TLookup& row = cLookups[i];
    TXmlNode* from = row.From < 0 ? root : found[row.From];
    if (from == nullptr || (row.Kind == lkImage && !AParseImageNode)) continue;
    if (row.Kind == lkImageLink) {
      // "data:image" is ASCII, so comparing the UTF-8 bytes answers the same as
      // comparing the first ten UTF-16 code units.
      ARecord.EmbeddedImage = from->AttributeValueByName(row.Path).starts_with("data:image");
      continue;
    }
    found[i] = FindNodeByPath(from, row.Path);
    if (row.Kind == lkValue && found[i] != nullptr)
      ARecord.*row.Text = RecordText(found[i]->Value());
  }
  // The date's first "T" (between date and time) shows as a blank.
  const std::size_t t = ARecord.MetadataDate.find(u'T');
  if (t != std::u16string::npos) ARecord.MetadataDate[t] = u' ';

  // A document comment of blanks only still counts as present here.
  if (application.empty()) {
    for (std::int32_t i = 0; i < root->NodeCount(); ++i) {
      TXmlNode* node = root->Nodes(i);
      if (node != nullptr && node->ElementType() == xeComment) {
        application = node->Value();
        break;
      }
    }
  }
  ARecord.Application = RecordText(ApplicationFromComment(application));

  CalcDimensions(ARecord, 96);
  return true;
}

}  // namespace

TSvgExtractor::TSvgExtractor() : FDocument(std::make_unique<TXmlDocument>()) {}
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
  // The filter was the parse's own; the tree stays until the next load drops
  // it, and its memory with it serves that load.
  struct TFilterDrop {
    TXmlDocument& Document;
    ~TFilterDrop() { Document.SetNodeFilter(nullptr); }
  } filterDrop{*FDocument};
  try {
    return Extract(*FDocument, AStream, ARecord, AParseImageNode, ALoad);
  } catch (const EFileReadError&) {
    throw;
  } catch (...) {
    // Stream, reader and allocation failures alike: the file holds no usable drawing.
    return false;
  }
}

namespace {

// A stream read through another up to a budget of bytes and a deadline: the
// read that passes either raises instead, and the budget is spent.
class TBudgetStream : public TStream {
  using TClock = std::chrono::steady_clock;

 public:
  TBudgetStream(TStream& ASource, std::int64_t ABudget, std::int64_t ATimeBudgetNs)
      : FSource(ASource),
        FBudget(ABudget),
        FDeadline(ATimeBudgetNs > 0 ? TClock::now() + std::chrono::nanoseconds(ATimeBudgetNs)
                                    : TClock::time_point::max()) {}
  std::size_t Read(void* ABuffer, std::size_t ACount) override {
    const std::size_t n = FSource.Read(ABuffer, ACount);
    FPosition += static_cast<std::int64_t>(n);
    if (FPosition > FBudget ||
        (FDeadline != TClock::time_point::max() && TClock::now() > FDeadline)) {
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
  const std::int64_t FBudget;
  const TClock::time_point FDeadline;
  std::int64_t FPosition = 0;
  bool FSpent = false;
};

}  // namespace

TFileRead TSvgExtractor::ReadFile(std::u16string_view APath, const TExtractOptions& AOptions,
                                  TVexmeta& ARecord, bool AFoundRegular) {
  try {
    std::unique_ptr<TStream> stream =
        OpenSvgStreamOrRaise(APath, AOptions.ReadLimitBytes, AFoundRegular);
    if (!stream) {
      ARecord = TVexmeta();
      return TFileRead::frNoDrawing;
    }
    // Without a budget the stream is read as it is.
    const bool budgeted = AOptions.TextBudget > 0 || AOptions.TimeBudgetNs > 0;
    TBudgetStream budget(*stream, AOptions.TextBudget > 0 ? AOptions.TextBudget : INT64_MAX,
                         AOptions.TimeBudgetNs);
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
