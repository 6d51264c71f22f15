// The document object: construction and reset, the document-level queries, the
// external-encoding setters, and loading (the root-level loop, the declaration and
// the single-tag repair pass that runs after a parse with FixStructuralErrors).
#include "xml/XmlDocument.h"

#include <algorithm>
#include <unordered_map>

#include "base/Ascii.h"
#include "base/Blanks.h"
#include "base/Streams.h"
#include "xml/XmlBuild.h"
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

TXmlNodeArena& TXmlBuild::Arena(TXmlDocument& ADoc) {
  return ADoc.FStore->Arena;
}

void TXmlDocument::Forget() {
  FBeginsWithMarkup = false;
  FStore->SymbolTable.Clear();
  FRootNodes.Forget();
  FStore->NodeTags.clear();
  FStore->Arena.Release();
}

void TXmlDocument::Reset(bool AHasDeclaration, bool AHasDocType, bool AHasRoot) {
  Forget();
  if (AHasDeclaration) {
    auto* d = TXmlBuild::CreateNode<TXmlDeclaration>(*this);
    d->SetVersion("1.0");
    d->SetEncoding("utf-8");
    FRootNodes.Add(d);
  }
  if (AHasDocType) {
    auto* t = TXmlBuild::CreateNode<TXmlDocType>(*this);
    t->SetName(FRootName);
    t->ExternalID()->SetValue("SYSTEM");
    FRootNodes.Add(t);
  }
  if (AHasRoot) {
    auto* r = TXmlBuild::CreateNode<TXmlElement>(*this);
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

void* TXmlBuild::NodeTag(const TXmlDocument& ADoc, const TXmlNode* ANode) {
  auto it = ADoc.FStore->NodeTags.find(ANode);
  return it == ADoc.FStore->NodeTags.end() ? nullptr : it->second;
}

void TXmlBuild::SetNodeTag(TXmlDocument& ADoc, const TXmlNode* ANode, void* ATag) {
  if (ATag == nullptr)
    ADoc.FStore->NodeTags.erase(ANode);
  else
    ADoc.FStore->NodeTags[ANode] = ATag;
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
  auto* s = TXmlBuild::CreateNode<TXmlStyleSheet>(*this);
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
  auto* d = TXmlBuild::CreateNode<TXmlDeclaration>(*this);
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

bool TXmlBuild::IsSingleTagName(const TXmlDocument& ADoc, std::string_view AName) {
  if (!ADoc.FSingleTagNames) return false;
  for (const std::string& s : *ADoc.FSingleTagNames)
    if (XmlNamesMatch(s, AName)) return true;
  return false;
}

void TXmlBuild::AddSingleTagName(TXmlDocument& ADoc, std::string_view AName) {
  if (!ADoc.FSingleTagNames || IsSingleTagName(ADoc, AName)) return;
  auto at = std::upper_bound(ADoc.FSingleTagNames->begin(), ADoc.FSingleTagNames->end(), AName,
                             [](std::string_view ALeft, const std::string& ARight) {
                               return ascii::LessIgnoreCase(ALeft, ARight);
                             });
  ADoc.FSingleTagNames->insert(at, std::string(AName));
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
    if (!TXmlBuild::IsSingleTagName(*this, c->NameRef(scratch))) continue;
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
  TXmlBuild::Progress(*this, AStream.Size());
}

void TXmlDocument::ParseRootLevel(TXmlParser& AParser) {
  FAbortParsing = false;
  if (FFixStructuralErrors)
    FSingleTagNames = std::make_unique<std::vector<std::string>>();
  else
    FSingleTagNames.reset();
  AParser.ReadBOM();
  FExternalBomInfo = AParser.BomInfo();

  // What the text begins with: XML white space, then its first markup. A load
  // that keeps white space steps back over the blanks, which its first text
  // run holds; any other trims them from that run anyway.
  const std::int64_t start = AParser.Position();
  std::string blanks;
  const char first =
      PreserveWhiteSpace() ? AParser.NextCharSkipBlanks(blanks) : AParser.NextCharSkipBlanks();
  FBeginsWithMarkup = first == '<';
  if (PreserveWhiteSpace())
    AParser.MoveBackTo(start);
  else
    AParser.MoveBackOver(first);
  if (FMarkupFirstOnly && !FBeginsWithMarkup) {
    XmlDebugOut(*this, this, wsInfo, "the text does not begin with markup", {});
    FSingleTagNames.reset();
    return;
  }

  std::string declaredEncoding;
  do {
    // A filtered load lets go of what the root level read, node by node.
    if (FNodeFilter != nullptr) AParser.Flush();
    const xmlread::TTextTrim trim = PreserveWhiteSpace() ? xmlread::ttNone : xmlread::ttBothEnds;
    if (TXmlCharData* text = xmlread::ReadTextRun(AParser, *this, nullptr, true, trim)) {
      FRootNodes.Add(text);
      TXmlBuild::NodeNew(*this, text);
      TXmlBuild::NodeLoaded(*this, text);
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
    // A filter judges a comment by its head.
    const bool commentRead = t == xeComment && FNodeFilter != nullptr;
    std::string commentHead;
    if (t == xeElement) name = xmlread::ReadElementName(AParser);
    if (commentRead) {
      xmlread::ReadCommentHead(AParser, commentHead);
      name = commentHead;
    }
    TXmlNode* node = nullptr;
    if (TXmlBuild::Accepts(*this, nullptr, t, name)) {
      node = xmlread::NewNodeOfType(*this, t);
      FRootNodes.Add(node);
      // An element announces itself once its name is set.
      if (t != xeElement) TXmlBuild::NodeNew(*this, node);
    }
    // A declaration tells its encoding whether or not it is kept.
    if (commentRead)
      xmlread::SetCommentText(node, name);
    else
      xmlread::ReadMarkup(AParser, *this, t, name, node, &declaredEncoding);
    if (node) TXmlBuild::NodeLoaded(*this, node);
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
