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

TXmlDocument::TXmlDocument(TDebugComponent* AOwner, bool HasDeclaration, bool HasDocType,
                           bool HasRoot, std::string_view RootName)
    : TDebugComponent(AOwner),
      FStore(std::make_unique<TStore>(this)),
      FRootNodes(&FStore->Arena),
      FHasDeclaration(HasDeclaration),
      FHasDocType(HasDocType),
      FHasRoot(HasRoot),
      FRootName(RootName) {
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

void TXmlDocument::Reset(bool HasDeclaration, bool HasDocType, bool HasRoot) {
  Forget();
  if (HasDeclaration) {
    auto* D = CreateNode<TXmlDeclaration>();
    D->SetVersion("1.0");
    D->SetEncoding("utf-8");
    FRootNodes.Add(D);
  }
  if (HasDocType) {
    auto* T = CreateNode<TXmlDocType>();
    T->SetName(FRootName);
    T->ExternalID()->SetValue("SYSTEM");
    FRootNodes.Add(T);
  }
  if (HasRoot) {
    auto* R = CreateNode<TXmlElement>();
    R->SetName(FRootName);
    FRootNodes.Add(R);
  }
}

void TXmlDocument::Clear() {
  Reset(FHasDeclaration, FHasDocType, FHasRoot);
}
void TXmlDocument::New(bool HasDeclaration, bool HasDocType) {
  Reset(HasDeclaration, HasDocType, FHasRoot);
}
void TXmlDocument::New() {
  FHasDeclaration = true;
  Clear();
}

void* TXmlDocument::NodeTag(const TXmlNode* ANode) const {
  auto It = FStore->NodeTags.find(ANode);
  return It == FStore->NodeTags.end() ? nullptr : It->second;
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
  TXmlElement* R = Root();
  return R == nullptr || R->IsClear();
}

std::string TXmlDocument::CommentString() const {
  TXmlNode* C = FRootNodes.ByType(xeComment);
  return C ? C->Value() : std::string();
}

std::int32_t TXmlDocument::RootContainerCount() const {
  std::int32_t Count = 0;
  for (TXmlNode* N : FRootNodes)
    if (dynamic_cast<TXmlContainerNode*>(N)) ++Count;
  return Count;
}

TXmlContainerNode* TXmlDocument::RootContainers(std::int32_t Index) const {
  if (Index < 0) return nullptr;
  std::int32_t Seen = 0;
  for (TXmlNode* N : FRootNodes)
    if (auto* C = dynamic_cast<TXmlContainerNode*>(N); C && Seen++ == Index) return C;
  return nullptr;
}

TXmlDeclaration* TXmlDocument::Declaration() const {
  return static_cast<TXmlDeclaration*>(FRootNodes.ByType(xeDeclaration));
}

TXmlDocType* TXmlDocument::DocType() const {
  return static_cast<TXmlDocType*>(FRootNodes.ByType(xeDocType));
}

TXmlStyleSheet* TXmlDocument::StyleSheet() {
  if (TXmlNode* S = FRootNodes.ByType(xeStylesheet)) return static_cast<TXmlStyleSheet*>(S);
  auto* S = CreateNode<TXmlStyleSheet>();
  FRootNodes.Insert(1, S);
  return S;
}

std::string TXmlDocument::Charset() const {
  auto* D = dynamic_cast<TXmlDeclaration*>(FRootNodes.Items(0));
  return D ? D->Encoding() : std::string();
}

std::string TXmlDocument::VersionString() const {
  auto* D = dynamic_cast<TXmlDeclaration*>(FRootNodes.Items(0));
  return D ? D->Version() : std::string();
}

// ---------------------------------------------------------------------------
// External encoding

TXmlDeclaration* TXmlDocument::DeclarationForSetters() {
  if (auto* D = dynamic_cast<TXmlDeclaration*>(FRootNodes.Items(0))) return D;
  auto* D = CreateNode<TXmlDeclaration>();
  FRootNodes.Insert(0, D);
  return D;
}

void TXmlDocument::SetExternalEncoding(TXmlStringEncoding AValue) {
  std::int32_t CodePage = EncodingCodePage(AValue);
  if (CodePage == 0) {
    XmlDebugOut(*this, this, wsFail,
                "external encoding \"%s\" is not allowed (use ExternalCodepage)",
                {EncodingName(AValue)});
    return;
  }
  FExternalEncoding = AValue;
  FExternalCodePage = CodePage;
  DeclarationForSetters()->SetEncoding(EncodingName(AValue));
}

void TXmlDocument::SetExternalCodepage(std::int32_t AValue) {
  if (AValue == FExternalCodePage) return;
  auto Row = std::find_if(cCodePageInfo.begin(), cCodePageInfo.end(),
                          [&](const TCodePageInfo& I) { return I.CodePage == AValue; });
  if (Row == cCodePageInfo.end()) {
    XmlDebugOut(*this, this, wsFail, "external codepage \"%d\" not found", {AValue});
    return;
  }
  FExternalCodePage = AValue;
  FExternalEncoding = seAnsi;
  for (int E = seAnsi; E <= seEBCDIC; ++E) {
    auto Encoding = static_cast<TXmlStringEncoding>(E);
    if (EncodingCodePage(Encoding) == AValue) {
      FExternalEncoding = Encoding;
      break;
    }
  }
  DeclarationForSetters()->SetEncoding(Row->Name);
}

// ---------------------------------------------------------------------------
// Single-tag names (structural repair)

bool TXmlDocument::IsSingleTagName(std::string_view AName) const {
  if (!FSingleTagNames) return false;
  for (const std::string& S : *FSingleTagNames)
    if (XmlNamesMatch(S, AName)) return true;
  return false;
}

void TXmlDocument::AddSingleTagName(std::string_view AName) {
  if (!FSingleTagNames || IsSingleTagName(AName)) return;
  auto At = std::upper_bound(
      FSingleTagNames->begin(), FSingleTagNames->end(), AName,
      [](std::string_view A, const std::string& B) { return ascii::LessIgnoreCase(A, B); });
  FSingleTagNames->insert(At, std::string(AName));
}

// An element that the input never closed ends where it starts: its content items
// move out behind it into its parent, in order. A top-level element has no parent
// to take them and is left alone.
void TXmlDocument::RepairSingleTags() {
  if (!FSingleTagNames || FSingleTagNames->empty()) return;
  std::string Scratch;
  std::vector<TXmlNode*> Moved;
  for (TXmlNode* N = FindFirst(); N != nullptr; N = FindNext(N)) {
    auto* C = dynamic_cast<TXmlContainerNode*>(N);
    if (C == nullptr || C->Parent() == nullptr) continue;
    const std::int32_t Direct = std::max<std::int32_t>(C->DirectNodeCount(), 0);
    if (C->NodeCount() <= Direct) continue;
    if (!IsSingleTagName(C->NameRef(Scratch))) continue;
    auto* Parent = static_cast<TXmlContainerNode*>(C->Parent());
    std::int32_t Index = Parent->NodeIndexOf(C);
    if (Index < 0) continue;
    Moved.assign(C->FNodes.begin() + Direct, C->FNodes.end());
    C->FNodes.Truncate(Direct);
    if (C->FValueIndex >= Direct) C->FValueIndex = -1;
    for (TXmlNode* M : Moved) M->FParent = Parent;
    Parent->FNodes.InsertRange(Index + 1, Moved.data(), static_cast<std::int32_t>(Moved.size()));
    if (Parent->FValueIndex > Index) Parent->FValueIndex += static_cast<std::int32_t>(Moved.size());
    // No source position is kept: the position reported is 0.
    XmlDebugOut(*this, this, wsInfo, "correctly closed node \"%s\" at pos %d", {C->Name(), 0});
  }
}

// ---------------------------------------------------------------------------
// Loading

bool TXmlDocument::LoadFromFile(std::u16string_view AFileName) {
  std::unique_ptr<TFileStream> S = TFileStream::Open(AFileName);
  if (!S) return false;
  LoadFromStream(*S);
  return true;
}

void TXmlDocument::ReadFromString(std::string_view AValue) {
  std::unique_ptr<TMemoryStream> S = TMemoryStream::View(AValue);
  LoadFromStream(*S);
}

void TXmlDocument::LoadFromStream(TStream& AStream) {
  Forget();
  TXmlParserBuffers& Buffers = FStore->ParserBuffers;
  {
    TXmlParser P(AStream, FParserChunkSize, this, &Buffers);
    if (P.IsBinaryXml()) {
      XmlDebugOut(*this, this, wsFail, "binary XML is not supported", {});
    } else {
      ParseRootLevel(P);
      FExternalBomInfo = P.BomInfo();
    }
  }
  // The buffers stay for the next load unless a large document grew them.
  constexpr std::size_t cKeptBuffer = 256 * 1024;
  if (Buffers.Raw.Capacity() > cKeptBuffer || Buffers.Utf8.Capacity() > cKeptBuffer)
    Buffers = TXmlParserBuffers();
  DoProgress(AStream.Size());
}

void TXmlDocument::ParseRootLevel(TXmlParser& P) {
  FAbortParsing = false;
  if (FFixStructuralErrors)
    FSingleTagNames = std::make_unique<std::vector<std::string>>();
  else
    FSingleTagNames.reset();
  P.ReadBOM();
  FExternalBomInfo = P.BomInfo();

  std::string DeclaredEncoding;
  do {
    // A filtered load lets go of what the root level read, node by node.
    if (FNodeFilter != nullptr) P.Flush();
    if (Accepts(nullptr, xeCharData, {})) {
      std::string_view Text = P.ReadStringUntilChar('<');
      if (!PreserveWhiteSpace()) Text = TrimWhite(Text);
      if (!Text.empty()) {
        auto* D = CreateNode<TXmlCharData>();
        D->SetRawValue(Text);
        FRootNodes.Add(D);
        DoNodeNew(D);
        DoNodeLoaded(D);
      }
    } else {
      P.SkipUntilChar('<');
    }
    if (P.InputEnded()) break;

    TXmlElementType T = P.ReadOpenTag();
    if (T == xeError || T == xeEndTag) {
      if (T == xeError)
        XmlDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {"<", P.Position()});
      else
        XmlDebugOut(*this, this, wsWarn, "unsupported tag (\"%s\") at pos %d",
                    {::ElementTypeName(T), P.Position()});
      // A parse broken off keeps the encoding the input is read in.
      FSingleTagNames.reset();
      FExternalEncoding = P.Encoding();
      FExternalCodePage = P.CodePage();
      return;
    }
    std::string_view Name;
    if (T == xeElement) Name = xmlread::ReadElementName(P);
    // A declaration is always kept: its encoding decides how the rest is read.
    TXmlNode* Node = nullptr;
    if (T == xeDeclaration || Accepts(nullptr, T, Name)) {
      Node = xmlread::NewNodeOfType(*this, T);
      FRootNodes.Add(Node);
      // An element announces itself once its name is set.
      if (T != xeElement) DoNodeNew(Node);
    }
    xmlread::ReadMarkup(P, *this, T, Name, Node);
    if (Node) DoNodeLoaded(Node);
    if (T == xeDeclaration) DeclaredEncoding = static_cast<TXmlDeclaration*>(Node)->Encoding();

    if (T == xeDeclaration) {
      if (SetParserEncodingAfterReadDeclaration) {
        P.SetEncoding(EncodingFromName(DeclaredEncoding));
        P.SetCodePage(CodePageFromName(DeclaredEncoding, 65001));
      }
      XmlDebugOut(*this, this, wsInfo, "declaration with encoding \"%s\" and codepage %d",
                  {DeclaredEncoding, P.CodePage()});
    }
    if (T == xeComment && FDropCommentsOnParse && Node != nullptr) {
      XmlDebugOut(*this, this, wsInfo, "option DropCommentsOnParse is true, deleting comment", {});
      FRootNodes.Extract(FRootNodes.IndexOf(Node));
    }
  } while (!FAbortParsing && !P.InputEnded());

  if (FFixStructuralErrors) RepairSingleTags();
  FSingleTagNames.reset();
  // A complete parse tells the declared encoding (no declaration: UTF-8); the
  // input is not decoded again for it.
  FExternalEncoding = EncodingFromName(DeclaredEncoding);
  FExternalCodePage = CodePageFromName(DeclaredEncoding, 65001);
}
