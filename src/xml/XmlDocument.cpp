// The document object: construction and reset, the document-level queries, the
// external-encoding setters, and loading (the root-level loop, the declaration and
// the single-tag repair pass that runs after a parse with FixStructuralErrors).
#include "xml/XmlDocument.h"

#include <algorithm>
#include <unordered_map>

#include "base/Ascii.h"
#include "base/Streams.h"
#include "xml/XmlNodes.h"
#include "xml/XmlParser.h"
#include "xml/XmlReader.h"
#include "xml/XmlStringTable.h"

struct TXmlDocument::TStore {
  explicit TStore(TXmlDocument* ADocument) : SymbolTable(ADocument) {}
  TXmlNodeArena Arena;  // declared first: freed last
  TXmlSymbolTable SymbolTable;
  std::unordered_map<const TXmlNode*, void*> NodeTags;  // cleared with the arena
  TXmlParserBuffers ParserBuffers;                      // lent to each load's parser input
};

TXmlDocument::TXmlDocument(TDebugComponent* AOwner)
    : TXmlDocument(AOwner, false, false, true, "") {}

TXmlDocument::TXmlDocument(TDebugComponent* AOwner, bool AHasDeclaration, bool AHasDocType,
                           bool AHasRoot, std::string_view ARootName)
    : TDebugComponent(AOwner),
      FStore(std::make_unique<TStore>(this)),
      FRootNodes(&FStore->Arena),
      FHasDeclaration(AHasDeclaration),
      FHasDocType(AHasDocType),
      FHasRoot(AHasRoot),
      FRootName(ARootName) {
  Reset(FHasDeclaration, FHasDocType, FHasRoot);
}

// Nodes own nothing outside the arena, so dropping the arena frees the tree.
TXmlDocument::~TXmlDocument() = default;

TXmlSymbolTable& TXmlDocument::SymbolTable() {
  return FStore->SymbolTable;
}

TXmlNodeArena& TXmlDocument::Arena() {
  return FStore->Arena;
}

void TXmlDocument::Forget() {
  FStore->SymbolTable.Clear();
  FRootNodes.Forget();
  FStore->NodeTags.clear();
  FStore->Arena.Release();
}

void TXmlDocument::Reset(bool AHasDeclaration, bool AHasDocType, bool AHasRoot) {
  Forget();
  if (AHasDeclaration) {
    auto* d = CreateNode<TXmlDeclaration>();
    d->SetVersion("1.0");
    d->SetEncoding("utf-8");
    FRootNodes.Add(d);
  }
  if (AHasDocType) {
    auto* t = CreateNode<TXmlDocType>();
    t->SetName(FRootName);
    t->ExternalID()->SetValue("SYSTEM");
    FRootNodes.Add(t);
  }
  if (AHasRoot) {
    auto* r = CreateNode<TXmlElement>();
    r->SetName(FRootName);
    FRootNodes.Add(r);
  }
}

void TXmlDocument::Clear() {
  Reset(FHasDeclaration, FHasDocType, FHasRoot);
}
void TXmlDocument::New(bool AHasDeclaration, bool AHasDocType) {
  Reset(AHasDeclaration, AHasDocType, FHasRoot);
}
void TXmlDocument::New() {
  FHasDeclaration = true;
  Clear();
}

void* TXmlDocument::NodeTag(const TXmlNode* ANode) const {
  auto it = FStore->NodeTags.find(ANode);
  return it == FStore->NodeTags.end() ? nullptr : it->second;
}

void TXmlDocument::SetNodeTag(const TXmlNode* ANode, void* ATag) {
  if (ATag == nullptr)
    FStore->NodeTags.erase(ANode);
  else
    FStore->NodeTags[ANode] = ATag;
}

// ---------------------------------------------------------------------------
// Queries

TXmlElement* TXmlDocument::Root() const {
  return static_cast<TXmlElement*>(FRootNodes.ByType(xeElement));
}

bool TXmlDocument::IsEmpty() const {
  TXmlElement* r = Root();
  return r == nullptr || r->IsClear();
}

std::string TXmlDocument::CommentString() const {
  TXmlNode* c = FRootNodes.ByType(xeComment);
  return c ? c->Value() : std::string();
}

std::int32_t TXmlDocument::RootContainerCount() const {
  std::int32_t count = 0;
  for (TXmlNode* n : FRootNodes)
    if (dynamic_cast<TXmlContainerNode*>(n)) ++count;
  return count;
}

TXmlContainerNode* TXmlDocument::RootContainers(std::int32_t AIndex) const {
  if (AIndex < 0) return nullptr;
  std::int32_t seen = 0;
  for (TXmlNode* n : FRootNodes)
    if (auto* c = dynamic_cast<TXmlContainerNode*>(n); c && seen++ == AIndex) return c;
  return nullptr;
}

TXmlDeclaration* TXmlDocument::Declaration() const {
  return static_cast<TXmlDeclaration*>(FRootNodes.ByType(xeDeclaration));
}

TXmlDocType* TXmlDocument::DocType() const {
  return static_cast<TXmlDocType*>(FRootNodes.ByType(xeDocType));
}

TXmlStyleSheet* TXmlDocument::StyleSheet() {
  if (TXmlNode* s = FRootNodes.ByType(xeStylesheet)) return static_cast<TXmlStyleSheet*>(s);
  auto* s = CreateNode<TXmlStyleSheet>();
  FRootNodes.Insert(1, s);
  return s;
}

std::string TXmlDocument::Charset() const {
  auto* d = dynamic_cast<TXmlDeclaration*>(FRootNodes.Items(0));
  return d ? d->Encoding() : std::string();
}

std::string TXmlDocument::VersionString() const {
  auto* d = dynamic_cast<TXmlDeclaration*>(FRootNodes.Items(0));
  return d ? d->Version() : std::string();
}

// ---------------------------------------------------------------------------
// External encoding

TXmlDeclaration* TXmlDocument::DeclarationForSetters() {
  if (auto* d = dynamic_cast<TXmlDeclaration*>(FRootNodes.Items(0))) return d;
  auto* d = CreateNode<TXmlDeclaration>();
  FRootNodes.Insert(0, d);
  return d;
}

void TXmlDocument::SetExternalEncoding(TXmlStringEncoding AValue) {
  std::int32_t codePage = EncodingCodePage(AValue);
  if (codePage == 0) {
    XmlDebugOut(*this, this, wsFail,
                "external encoding \"%s\" is not allowed (use ExternalCodepage)",
                {EncodingName(AValue)});
    return;
  }
  FExternalEncoding = AValue;
  FExternalCodePage = codePage;
  DeclarationForSetters()->SetEncoding(EncodingName(AValue));
}

void TXmlDocument::SetExternalCodepage(std::int32_t AValue) {
  if (AValue == FExternalCodePage) return;
  auto row = std::find_if(cCodePageInfo.begin(), cCodePageInfo.end(),
                          [&](const TCodePageInfo& AI) { return AI.CodePage == AValue; });
  if (row == cCodePageInfo.end()) {
    XmlDebugOut(*this, this, wsFail, "external codepage \"%d\" not found", {AValue});
    return;
  }
  FExternalCodePage = AValue;
  FExternalEncoding = seAnsi;
  for (int e = seAnsi; e <= seEBCDIC; ++e) {
    auto encoding = static_cast<TXmlStringEncoding>(e);
    if (EncodingCodePage(encoding) == AValue) {
      FExternalEncoding = encoding;
      break;
    }
  }
  DeclarationForSetters()->SetEncoding(row->Name);
}

// ---------------------------------------------------------------------------
// Single-tag names (structural repair)

bool TXmlDocument::IsSingleTagName(std::string_view AName) const {
  if (!FSingleTagNames) return false;
  for (const std::string& s : *FSingleTagNames)
    if (XmlNamesMatch(s, AName)) return true;
  return false;
}

void TXmlDocument::AddSingleTagName(std::string_view AName) {
  if (!FSingleTagNames || IsSingleTagName(AName)) return;
  auto at = std::upper_bound(FSingleTagNames->begin(), FSingleTagNames->end(), AName,
                             [](std::string_view ALeft, const std::string& ARight) {
                               return ascii::LessIgnoreCase(ALeft, ARight);
                             });
  FSingleTagNames->insert(at, std::string(AName));
}

// An element that the input never closed ends where it starts: its content items
// move out behind it into its parent, in order. A top-level element has no parent
// to take them and is left alone.
void TXmlDocument::RepairSingleTags() {
  if (!FSingleTagNames || FSingleTagNames->empty()) return;
  std::string scratch;
  std::vector<TXmlNode*> moved;
  for (TXmlNode* n = FindFirst(); n != nullptr; n = FindNext(n)) {
    auto* c = dynamic_cast<TXmlContainerNode*>(n);
    if (c == nullptr || c->Parent() == nullptr) continue;
    const std::int32_t direct = std::max<std::int32_t>(c->DirectNodeCount(), 0);
    if (c->NodeCount() <= direct) continue;
    if (!IsSingleTagName(c->NameRef(scratch))) continue;
    auto* parent = static_cast<TXmlContainerNode*>(c->Parent());
    std::int32_t index = parent->NodeIndexOf(c);
    if (index < 0) continue;
    moved.assign(c->FNodes.begin() + direct, c->FNodes.end());
    c->FNodes.Truncate(direct);
    if (c->FValueIndex >= direct) c->FValueIndex = -1;
    for (TXmlNode* m : moved) m->FParent = parent;
    parent->FNodes.InsertRange(index + 1, moved.data(), static_cast<std::int32_t>(moved.size()));
    if (parent->FValueIndex > index) parent->FValueIndex += static_cast<std::int32_t>(moved.size());
    // No source position is kept: the position reported is 0.
    XmlDebugOut(*this, this, wsInfo, "correctly closed node \"%s\" at pos %d", {c->Name(), 0});
  }
}

// ---------------------------------------------------------------------------
// Loading

bool TXmlDocument::LoadFromFile(std::u16string_view AFileName) {
  std::unique_ptr<TFileStream> s = TFileStream::Open(AFileName);
  if (!s) return false;
  LoadFromStream(*s);
  return true;
}

void TXmlDocument::ReadFromString(std::string_view AValue) {
  std::unique_ptr<TMemoryStream> s = TMemoryStream::View(AValue);
  LoadFromStream(*s);
}

void TXmlDocument::LoadFromStream(TStream& AStream) {
  Forget();
  {
    TXmlParser p(AStream, FParserChunkSize, this, &FStore->ParserBuffers);
    if (p.IsBinaryXml()) {
      XmlDebugOut(*this, this, wsFail, "binary XML is not supported", {});
    } else {
      ParseRootLevel(p);
      FExternalBomInfo = p.BomInfo();
    }
  }
  DoProgress(AStream.Size());
}

void TXmlDocument::ParseRootLevel(TXmlParser& AParser) {
  FAbortParsing = false;
  if (FFixStructuralErrors)
    FSingleTagNames = std::make_unique<std::vector<std::string>>();
  else
    FSingleTagNames.reset();
  AParser.ReadBOM();
  FExternalBomInfo = AParser.BomInfo();

  std::string declaredEncoding;
  do {
    // A filtered load lets go of what the root level read, node by node.
    if (FNodeFilter != nullptr) AParser.Flush();
    if (Accepts(nullptr, xeCharData, {})) {
      std::string_view text = AParser.ReadStringUntilChar('<');
      if (!PreserveWhiteSpace()) text = TrimWhite(text);
      if (!text.empty()) {
        auto* d = CreateNode<TXmlCharData>();
        d->SetRawValue(text);
        FRootNodes.Add(d);
        DoNodeNew(d);
        DoNodeLoaded(d);
      }
    } else {
      AParser.SkipUntilChar('<');
    }
    if (AParser.InputEnded()) break;

    TXmlElementType t = AParser.ReadOpenTag();
    if (t == xeError || t == xeEndTag) {
      if (t == xeError)
        XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d",
                    {"<", AParser.Position()});
      else
        XmlDebugOut(*this, this, wsWarn, "unsupported tag (\"%s\") at pos %d",
                    {::ElementTypeName(t), AParser.Position()});
      // A parse broken off keeps the encoding the input is read in.
      FSingleTagNames.reset();
      FExternalEncoding = AParser.Encoding();
      FExternalCodePage = AParser.CodePage();
      return;
    }
    std::string_view name;
    // A filter judges a comment by its text.
    const bool commentRead = t == xeComment && FNodeFilter != nullptr;
    if (t == xeElement) name = xmlread::ReadElementName(AParser);
    if (commentRead) name = xmlread::ReadCommentText(AParser);
    TXmlNode* node = nullptr;
    if (Accepts(nullptr, t, name)) {
      node = xmlread::NewNodeOfType(*this, t);
      FRootNodes.Add(node);
      // An element announces itself once its name is set.
      if (t != xeElement) DoNodeNew(node);
    }
    // A declaration tells its encoding whether or not it is kept.
    if (commentRead)
      xmlread::SetCommentText(node, name);
    else
      xmlread::ReadMarkup(AParser, *this, t, name, node, &declaredEncoding);
    if (node) DoNodeLoaded(node);
    if (t == xeDeclaration && node != nullptr)
      declaredEncoding = static_cast<TXmlDeclaration*>(node)->Encoding();

    if (t == xeDeclaration) {
      if (SetParserEncodingAfterReadDeclaration) {
        AParser.SetEncoding(EncodingFromName(declaredEncoding));
        AParser.SetCodePage(CodePageFromName(declaredEncoding, 65001));
      }
      XmlDebugOut(*this, this, wsInfo, "declaration with encoding \"%s\" and codepage %d",
                  {declaredEncoding, AParser.CodePage()});
    }
    if (t == xeComment && FDropCommentsOnParse && node != nullptr) {
      XmlDebugOut(*this, this, wsInfo, "option DropCommentsOnParse is true, deleting comment", {});
      FRootNodes.Extract(FRootNodes.IndexOf(node));
    }
  } while (!FAbortParsing && !AParser.InputEnded());

  if (FFixStructuralErrors) RepairSingleTags();
  FSingleTagNames.reset();
  // A complete parse tells the declared encoding (no declaration: UTF-8); the
  // input is not decoded again for it.
  FExternalEncoding = EncodingFromName(declaredEncoding);
  FExternalCodePage = CodePageFromName(declaredEncoding, 65001);
}
