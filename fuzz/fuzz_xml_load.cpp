// Fuzz target for the document reader: loads the bytes with the default options
// and once more with structural repair and preserved white space, then walks the
// whole tree and reads every name, value and attribute, as the extraction does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/Streams.h"
#include "xml/XmlDocument.h"

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
  return 0;
}
