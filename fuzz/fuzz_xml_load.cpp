// Fuzz target for the document reader: loads the bytes with the default options
// and once more with structural repair and preserved white space, then walks the
// whole tree and reads every name, value and attribute, as the extraction does.
// A third load with a node filter (a rule taken from the first byte, with small
// chunks) must give the whole tree with the declined nodes pruned.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/Streams.h"
#include "xml/XmlNodes.h"

namespace {

std::size_t Walk(TXmlDocument& Doc) {
  std::size_t Total = Doc.CommentString().size() + (Doc.IsEmpty() ? 1 : 0);
  for (TXmlNode* N = Doc.FindFirst(); N != nullptr; N = Doc.FindNext(N)) {
    Total += N->Name().size() + N->Value().size() + N->FullPath().size();
    for (std::int32_t I = 0; I < N->AttributeCount(); ++I) {
      TXmlAttribute* A = N->Attributes(I);
      Total += A->Value().size() + N->AttributeValueByName(A->Name()).size();
    }
    if (auto* D = dynamic_cast<TXmlDocType*>(N))
      Total += D->SystemLiteral()->Value().size() + D->PubIDLiteral()->Value().size();
  }
  if (TXmlElement* Root = Doc.Root()) {
    Total += Root->AttributeValueByName("width").size();
    if (TXmlNode* M = Root->FindNode("metadata")) Total += M->FullPath().size();
    if (TXmlNode* G = Root->FindNode("/svg/g")) Total += G->TreeDepth();
  }
  return Total;
}

// Declines by kind and name: the rule's bits pick text, comments, and names
// whose first byte has a given low bit.
struct TRuleFilter final : TXmlNodeFilter {
  std::uint8_t Rule = 0;
  bool Keeps(TXmlElementType AType, std::string_view AName) const {
    if (AType == xeCharData && (Rule & 1)) return false;
    if (AType == xeComment && (Rule & 2)) return false;
    if ((AType == xeElement || AType == xeAttribute) && (Rule & 4) && !AName.empty())
      return ((static_cast<unsigned char>(AName[0]) ^ (Rule >> 3)) & 1) != 0;
    return true;
  }
  bool Accept(const TXmlNode*, TXmlElementType AType, std::string_view AName) override {
    return Keeps(AType, AName);
  }
};

std::string_view OfferedName(const TXmlNode* N) {
  if (N->ElementType() == xeElement) return static_cast<const TXmlElement*>(N)->NameView();
  if (N->ElementType() == xeAttribute) return static_cast<const TXmlAttribute*>(N)->NameView();
  return {};
}

// Kind, name and raw value of every node the filter keeps, depth first; the
// children of elements are pruned as the filter would have declined them.
void Dump(const TXmlNode* N, const TRuleFilter& F, std::string& Out) {
  Out += static_cast<char>('A' + N->ElementType());
  Out += N->Name();
  if (auto* C = dynamic_cast<const TXmlCharData*>(N)) Out += C->RawValueView();
  if (auto* A = dynamic_cast<const TXmlAttribute*>(N)) Out += A->CoreValue()->RawValueView();
  Out += '(';
  const bool Prune = N->ElementType() == xeElement;
  for (std::int32_t I = 0; I < N->NodeCount(); ++I) {
    const TXmlNode* Child = N->Nodes(I);
    if (!Prune || F.Keeps(Child->ElementType(), OfferedName(Child))) Dump(Child, F, Out);
  }
  Out += ')';
}

std::string DumpRoots(const TXmlDocument& Doc, const TRuleFilter& F) {
  std::string Out;
  // A declaration is never offered to a filter: it is always kept.
  for (TXmlNode* N : Doc.RootNodes())
    if (N->ElementType() == xeDeclaration || F.Keeps(N->ElementType(), OfferedName(N)))
      Dump(N, F, Out);
  return Out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view Bytes(reinterpret_cast<const char*>(data), size);
  volatile std::size_t Sink = 0;
  {
    TXmlDocument Doc;
    auto S = TMemoryStream::View(Bytes);
    Doc.LoadFromStream(*S);
    Sink = Sink + Walk(Doc);
  }
  {
    TXmlDocument Doc;
    Doc.SetFixStructuralErrors(true);
    Doc.SetXmlFormat(xfPreserve);
    Doc.SetEolStyle(esLF);
    auto S = TMemoryStream::View(Bytes);
    Doc.LoadFromStream(*S);
    Sink = Sink + Walk(Doc);
  }
  if (size > 0) {
    TRuleFilter Filter;
    Filter.Rule = data[0];
    TXmlDocument Whole;
    Whole.ReadFromString(Bytes);
    TXmlDocument Filtered;
    Filtered.SetNodeFilter(&Filter);
    // Even chunks from 6 bytes: an odd chunk drops the last byte of UTF-16 text,
    // and the first five bytes decide the encoding.
    Filtered.SetParserChunkSize(6 + 2 * (data[0] % 8));
    Filtered.ReadFromString(Bytes);
    TRuleFilter All;  // keeps everything: the filtered tree is dumped as it is
    if (DumpRoots(Filtered, All) != DumpRoots(Whole, Filter)) std::abort();
  }
  return 0;
}
