// The document object: construction and reset, the document-level queries, the
// external-encoding setters, and loading (the root-level loop, the declaration and
// the single-tag repair pass that runs after a parse with FixStructuralErrors).
#include "xml/NativeXml.h"

#include <algorithm>

#include "xml/XmlReaderInternal.h"
#include "xml/sdStreams.h"
#include "xml/sdXmlParser.h"

namespace {

constexpr std::int32_t cParserChunkSize = 256;

}  // namespace

TNativeXml::TNativeXml(TDebugComponent* AOwner) : TNativeXml(AOwner, false, false, true, "") {}

TNativeXml::TNativeXml(TDebugComponent* AOwner, bool HasDeclaration, bool HasDocType, bool HasRoot,
                       std::string_view RootName)
    : TDebugComponent(AOwner),
      FRootNodes(&FArena),
      FSymbolTable(this),
      FHasDeclaration(HasDeclaration),
      FHasDocType(HasDocType),
      FHasRoot(HasRoot),
      FRootName(RootName) {
  Reset(FHasDeclaration, FHasDocType, FHasRoot);
}

// Nodes own nothing outside the arena, so dropping the arena frees the tree.
TNativeXml::~TNativeXml() = default;

void TNativeXml::Reset(bool HasDeclaration, bool HasDocType, bool HasRoot) {
  FSymbolTable.Clear();
  FRootNodes.Forget();
  FNodeTags.clear();
  FArena.Release();
  if (HasDeclaration) {
    auto* D = CreateNode<TsdDeclaration>();
    D->SetVersion("1.0");
    D->SetEncoding("utf-8");
    FRootNodes.Add(D);
  }
  if (HasDocType) {
    auto* T = CreateNode<TsdDocType>();
    T->SetName(FRootName);
    T->ExternalID()->SetValue("SYSTEM");
    FRootNodes.Add(T);
  }
  if (HasRoot) {
    auto* R = CreateNode<TsdElement>();
    R->SetName(FRootName);
    FRootNodes.Add(R);
  }
}

void TNativeXml::Clear() {
  Reset(FHasDeclaration, FHasDocType, FHasRoot);
}
void TNativeXml::New(bool HasDeclaration, bool HasDocType) {
  Reset(HasDeclaration, HasDocType, FHasRoot);
}
void TNativeXml::New() {
  FHasDeclaration = true;
  Clear();
}

void* TNativeXml::NodeTag(const TXmlNode* ANode) const {
  auto It = FNodeTags.find(ANode);
  return It == FNodeTags.end() ? nullptr : It->second;
}

void TNativeXml::SetNodeTag(const TXmlNode* ANode, void* ATag) {
  if (ATag == nullptr)
    FNodeTags.erase(ANode);
  else
    FNodeTags[ANode] = ATag;
}

// ---------------------------------------------------------------------------
// Queries

TsdElement* TNativeXml::Root() const {
  return static_cast<TsdElement*>(FRootNodes.ByType(xeElement));
}

bool TNativeXml::IsEmpty() const {
  TsdElement* R = Root();
  return R == nullptr || R->IsClear();
}

std::string TNativeXml::CommentString() const {
  TXmlNode* C = FRootNodes.ByType(xeComment);
  return C ? C->Value() : std::string();
}

std::int32_t TNativeXml::RootContainerCount() const {
  std::int32_t Count = 0;
  for (TXmlNode* N : FRootNodes)
    if (dynamic_cast<TsdContainerNode*>(N)) ++Count;
  return Count;
}

TsdContainerNode* TNativeXml::RootContainers(std::int32_t Index) const {
  if (Index < 0) return nullptr;
  std::int32_t Seen = 0;
  for (TXmlNode* N : FRootNodes)
    if (auto* C = dynamic_cast<TsdContainerNode*>(N); C && Seen++ == Index) return C;
  return nullptr;
}

TsdDeclaration* TNativeXml::Declaration() const {
  return static_cast<TsdDeclaration*>(FRootNodes.ByType(xeDeclaration));
}

TsdDocType* TNativeXml::DocType() const {
  return static_cast<TsdDocType*>(FRootNodes.ByType(xeDocType));
}

TsdStyleSheet* TNativeXml::StyleSheet() {
  if (TXmlNode* S = FRootNodes.ByType(xeStylesheet)) return static_cast<TsdStyleSheet*>(S);
  auto* S = CreateNode<TsdStyleSheet>();
  FRootNodes.Insert(1, S);
  return S;
}

std::string TNativeXml::Charset() const {
  auto* D = dynamic_cast<TsdDeclaration*>(FRootNodes.Items(0));
  return D ? D->Encoding() : std::string();
}

std::string TNativeXml::VersionString() const {
  auto* D = dynamic_cast<TsdDeclaration*>(FRootNodes.Items(0));
  return D ? D->Version() : std::string();
}

// ---------------------------------------------------------------------------
// External encoding

TsdDeclaration* TNativeXml::DeclarationForSetters() {
  if (auto* D = dynamic_cast<TsdDeclaration*>(FRootNodes.Items(0))) return D;
  auto* D = CreateNode<TsdDeclaration>();
  FRootNodes.Insert(0, D);
  return D;
}

void TNativeXml::SetExternalEncoding(TsdStringEncoding AValue) {
  std::int32_t CodePage = EncodingCodePage(AValue);
  if (CodePage == 0) {
    sdDebugOut(*this, this, wsFail,
               "external encoding \"%s\" is not allowed (use ExternalCodepage)",
               {EncodingName(AValue)});
    return;
  }
  FExternalEncoding = AValue;
  FExternalCodePage = CodePage;
  DeclarationForSetters()->SetEncoding(EncodingName(AValue));
}

void TNativeXml::SetExternalCodepage(std::int32_t AValue) {
  if (AValue == FExternalCodePage) return;
  auto Row = std::find_if(cCodePageInfo.begin(), cCodePageInfo.end(),
                          [&](const TCodePageInfo& I) { return I.CodePage == AValue; });
  if (Row == cCodePageInfo.end()) {
    sdDebugOut(*this, this, wsFail, "external codepage \"%d\" not found", {AValue});
    return;
  }
  FExternalCodePage = AValue;
  FExternalEncoding = seAnsi;
  for (int E = seAnsi; E <= seEBCDIC; ++E) {
    auto Encoding = static_cast<TsdStringEncoding>(E);
    if (EncodingCodePage(Encoding) == AValue) {
      FExternalEncoding = Encoding;
      break;
    }
  }
  DeclarationForSetters()->SetEncoding(Row->Name);
}

// ---------------------------------------------------------------------------
// Single-tag names (structural repair)

namespace {

bool NameLess(std::string_view A, std::string_view B) {
  return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
    auto Lower = [](char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C; };
    return Lower(X) < Lower(Y);
  });
}

}  // namespace

bool TNativeXml::IsSingleTagName(std::string_view AName) const {
  if (!FSingleTagNames) return false;
  for (const std::string& S : *FSingleTagNames)
    if (sdNamesMatch(S, AName)) return true;
  return false;
}

void TNativeXml::AddSingleTagName(std::string_view AName) {
  if (!FSingleTagNames || IsSingleTagName(AName)) return;
  auto At =
      std::upper_bound(FSingleTagNames->begin(), FSingleTagNames->end(), AName,
                       [](std::string_view A, const std::string& B) { return NameLess(A, B); });
  FSingleTagNames->insert(At, std::string(AName));
}

// An element that the input never closed ends where it starts: its content items
// move out behind it into its parent, in order. A top-level element has no parent
// to take them and is left alone.
void TNativeXml::RepairSingleTags() {
  if (!FSingleTagNames || FSingleTagNames->empty()) return;
  std::string Scratch;
  std::vector<TXmlNode*> Moved;
  for (TXmlNode* N = FindFirst(); N != nullptr; N = FindNext(N)) {
    auto* C = dynamic_cast<TsdContainerNode*>(N);
    if (C == nullptr || C->Parent() == nullptr) continue;
    const std::int32_t Direct = std::max<std::int32_t>(C->DirectNodeCount(), 0);
    if (C->NodeCount() <= Direct) continue;
    if (!IsSingleTagName(C->NameRef(Scratch))) continue;
    auto* Parent = static_cast<TsdContainerNode*>(C->Parent());
    std::int32_t Index = Parent->NodeIndexOf(C);
    if (Index < 0) continue;
    Moved.assign(C->FNodes.begin() + Direct, C->FNodes.end());
    C->FNodes.Truncate(Direct);
    if (C->FValueIndex >= Direct) C->FValueIndex = -1;
    for (TXmlNode* M : Moved) M->FParent = Parent;
    Parent->FNodes.InsertRange(Index + 1, Moved.data(), static_cast<std::int32_t>(Moved.size()));
    if (Parent->FValueIndex > Index) Parent->FValueIndex += static_cast<std::int32_t>(Moved.size());
    sdDebugOut(*this, this, wsInfo, "correctly closed node \"%s\" at pos %d",
               {C->Name(), C->SourcePos()});
  }
}

// ---------------------------------------------------------------------------
// Loading

bool TNativeXml::LoadFromFile(std::u16string_view AFileName) {
  std::unique_ptr<TFileStream> S = TFileStream::Open(AFileName);
  if (!S) return false;
  LoadFromStream(*S);
  return true;
}

void TNativeXml::ReadFromString(std::string_view AValue) {
  std::unique_ptr<TMemoryStream> S = TMemoryStream::View(AValue);
  LoadFromStream(*S);
}

void TNativeXml::LoadFromStream(TStream& AStream) {
  FSymbolTable.Clear();
  FRootNodes.Forget();
  FNodeTags.clear();
  FArena.Release();
  {
    TsdXmlParser P(AStream, cParserChunkSize, this);
    if (P.IsBinaryXml()) {
      sdDebugOut(*this, this, wsFail, "binary XML is not supported", {});
    } else {
      ParseRootLevel(P);
      FExternalEncoding = P.Encoding();
      FExternalCodePage = P.CodePage();
      FExternalBomInfo = P.BomInfo();
    }
  }
  DoProgress(AStream.Size());
}

void TNativeXml::ParseRootLevel(TsdXmlParser& P) {
  FAbortParsing = false;
  FInputEnded = false;
  if (FFixStructuralErrors)
    FSingleTagNames = std::make_unique<std::vector<std::string>>();
  else
    FSingleTagNames.reset();
  P.ReadBOM();
  FExternalBomInfo = P.BomInfo();

  std::string DeclaredEncoding;
  do {
    std::string_view Text = sdxml::ReadStringUntilChar(P, *this, '<');
    if (!PreserveWhiteSpace()) Text = TrimWhite(Text);
    if (!Text.empty()) {
      auto* D = CreateNode<TsdCharData>();
      D->SetRawValue(Text);
      FRootNodes.Add(D);
      DoNodeNew(D);
      DoNodeLoaded(D);
    }
    if (FInputEnded) break;

    TsdElementType T = P.ReadOpenTag();
    if (T == xeError) {
      sdDebugOut(*this, this, wsWarn, "illegal tag (\"%s\") at pos %d", {"<", P.Position()});
      FSingleTagNames.reset();
      return;
    }
    TXmlNode* Node = sdxml::NewNodeOfType(*this, T);
    if (Node == nullptr) {
      sdDebugOut(*this, this, wsWarn, "unsupported tag (\"%s\") at pos %d",
                 {::ElementTypeName(T), P.Position()});
      FSingleTagNames.reset();
      return;
    }
    FRootNodes.Add(Node);
    if (T != xeElement) DoNodeNew(Node);
    Node->ParseStream(P);
    DoNodeLoaded(Node);

    if (T == xeDeclaration) {
      DeclaredEncoding = static_cast<TsdDeclaration*>(Node)->Encoding();
      if (SetParserEncodingAfterReadDeclaration) {
        P.SetEncoding(EncodingFromName(DeclaredEncoding));
        P.SetCodePage(CodePageFromName(DeclaredEncoding, 65001));
      }
      sdDebugOut(*this, this, wsInfo, "declaration with encoding \"%s\" and codepage %d",
                 {DeclaredEncoding, P.CodePage()});
    }
    if (T == xeComment && FDropCommentsOnParse) {
      sdDebugOut(*this, this, wsInfo, "option DropCommentsOnParse is true, deleting comment", {});
      FRootNodes.Extract(FRootNodes.IndexOf(Node));
    }
  } while (!FAbortParsing && !FInputEnded);

  if (FFixStructuralErrors) RepairSingleTags();
  FSingleTagNames.reset();
  P.SetEncoding(EncodingFromName(DeclaredEncoding));
  P.SetCodePage(CodePageFromName(DeclaredEncoding, 65001));
}

// The declaration and the style-sheet instruction: pseudo-attributes, then "?>".
TXmlNode* TsdDeclaration::ParseStream(TsdXmlParser& P) {
  TNativeXml& Doc = *Document();
  char C = ReadAttributeList(P);
  char Next = C;
  if (C == '?') {
    Next = sdxml::NextChar(P, Doc);
    if (Next == '>') {
      // One line end after "?>" belongs to the declaration.
      char Ch = sdxml::NextChar(P, Doc);
      if (Ch != '\r') sdxml::MoveBackOver(P, Doc, Ch);
      Ch = sdxml::NextChar(P, Doc);
      if (Ch != '\n') sdxml::MoveBackOver(P, Doc, Ch);
      return this;
    }
  }
  sdDebugOut(*this, this, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
             {Next, P.LineNumber(), P.Position()});
  return this;
}
