// The node model's read side: names and values by class, attribute and content
// enumeration, lookups by name (letter case, prefixes, non-ASCII), tree walks and
// the building operations the parsers use.
#include <gtest/gtest.h>

#include <string>

#include "XmlTestLoad.h"

using xml_test::XmlLoad;

namespace {

TEST(Nodes, ContainerCountsAndIndexes) {
  XmlLoad L("<svg width=\"10\" height=\"20\"><title>T</title></svg>");
  TXmlElement* Svg = L.Doc->Root();
  ASSERT_NE(Svg, nullptr);
  EXPECT_EQ(Svg->NodeCount(), 3);
  EXPECT_EQ(Svg->DirectNodeCount(), 2);
  EXPECT_EQ(Svg->AttributeCount(), 2);
  EXPECT_EQ(Svg->ElementCount(), 1);
  EXPECT_EQ(Svg->ContainerCount(), 1);
  ASSERT_NE(Svg->Nodes(0), nullptr);
  EXPECT_EQ(Svg->Nodes(0)->ElementType(), xeAttribute);
  EXPECT_EQ(Svg->Nodes(0)->ElementTypeName(), std::string("Attribute"));
  EXPECT_EQ(Svg->Nodes(3), nullptr);
  EXPECT_EQ(Svg->Nodes(-1), nullptr);
  EXPECT_EQ(Svg->Attributes(1)->Name(), "height");
  EXPECT_EQ(Svg->Attributes(2), nullptr);
  EXPECT_EQ(Svg->Attributes(-1), nullptr);
  EXPECT_EQ(Svg->AttributeName(0), "width");
  EXPECT_EQ(Svg->AttributeName(5), "");
  EXPECT_EQ(Svg->Elements(0)->Name(), "title");
  EXPECT_EQ(Svg->Elements(1), nullptr);
  EXPECT_EQ(Svg->Containers(0), Svg->Elements(0));
  EXPECT_EQ(Svg->FirstNodeByType(xeElement), Svg->Nodes(2));
  EXPECT_EQ(Svg->NextSibling(Svg->Nodes(0)), Svg->Nodes(1));
  EXPECT_EQ(Svg->NextSibling(Svg->Nodes(2)), nullptr);
  // Leaves answer none and zero.
  TXmlNode* Text = Svg->Elements(0)->Nodes(0);
  EXPECT_EQ(Text->NodeCount(), 0);
  EXPECT_EQ(Text->Nodes(0), nullptr);
  EXPECT_EQ(Text->AttributeCount(), 0);
  EXPECT_EQ(Text->FindNode("x"), nullptr);
}

TEST(Nodes, LookupsByName) {
  XmlLoad L(
      "<svg xmlns:xlink='x' width='10' xlink:href='#a' \xC3\x89"
      "cole='e'>"
      "<g id='1'><rect/></g>text<G id='2'/></svg>");
  TXmlElement* Svg = L.Doc->Root();
  ASSERT_NE(Svg, nullptr);
  struct Case {
    const char* Name;
    const char* Value;
  };
  // Letter case is ignored, prefixes are part of the name.
  const Case Cases[] = {
      {"width", "10"},
      {"WIDTH", "10"},
      {"xlink:href", "#a"},
      {"XLINK:HREF", "#a"},
      {"href", ""},
      {"\xC3\xA9"
       "cole",
       "e"},
      {"\xC3\x89"
       "COLE",
       "e"},
      {"", ""},
      {"widt", ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(Svg->AttributeValueByName(C.Name), C.Value);
    EXPECT_EQ(Svg->GetAttributeValueByName(C.Name), C.Value);
  }
  // HasAttribute alone compares bytes.
  EXPECT_TRUE(Svg->HasAttribute("width"));
  EXPECT_FALSE(Svg->HasAttribute("WIDTH"));
  // Attributes are in the node list, so NodeByName finds them; text nodes are
  // named "Text".
  ASSERT_NE(Svg->NodeByName("WIDTH"), nullptr);
  EXPECT_EQ(Svg->NodeByName("WIDTH")->Value(), "10");
  ASSERT_NE(Svg->NodeByName("text"), nullptr);
  EXPECT_EQ(Svg->NodeByName("text")->ElementType(), xeCharData);
  EXPECT_EQ(Svg->NodeByName("g"), Svg->Nodes(4));
  EXPECT_EQ(Svg->AttributeIndexByName("Width"), 1);
  EXPECT_EQ(Svg->AttributeIndexByName("g"), -1);  // content nodes are not looked at
  EXPECT_EQ(TXmlNodeList(&L.Doc->Arena()).ByType(xeElement), nullptr);
  EXPECT_TRUE(XmlNamesMatch("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"));
  EXPECT_FALSE(XmlNamesMatch("\xC3\xA9t\xC3\xA9", "ete"));
}

TEST(Nodes, ValuesByClass) {
  XmlLoad L(
      "<r a='x&amp;y&#65;'><![CDATA[a&amp;b]]><!-- c &lt; d --><?pi x?>"
      "<e>one\ntwo<f>no</f>&#x42;</e></r>");
  TXmlElement* R = L.Doc->Root();
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(R->AttributeValueByName("a"), "x&yA");
  EXPECT_EQ(R->Nodes(1)->Name(), "CData");
  EXPECT_EQ(R->Nodes(1)->Value(), "a&amp;b");
  EXPECT_EQ(R->Nodes(2)->Name(), "Comment");
  EXPECT_EQ(R->Nodes(2)->Value(), " c < d ");
  EXPECT_EQ(R->Nodes(3)->Name(), "PI");
  EXPECT_EQ(R->Nodes(3)->Value(), "pi x");
  TXmlNode* E = R->Nodes(4);
  EXPECT_EQ(E->Nodes(0)->Name(), "Text");
  // Own text runs only, concatenated; line ends in the document's style.
  struct EolCase {
    TXmlEolStyle Style;
    const char* Value;
  };
  for (const EolCase& C :
       {EolCase{esCRLF, "one\r\ntwoB"}, EolCase{esLF, "one\ntwoB"}, EolCase{esCR, "one\rtwoB"}}) {
    L.Doc->SetEolStyle(C.Style);
    EXPECT_EQ(E->Value(), C.Value);
  }
  EXPECT_EQ(R->Value(), "a&amp;b");
  EXPECT_EQ(R->Nodes(0)->NameUnicode(), u"a");
  EXPECT_EQ(R->Nodes(0)->ValueUnicode(), u"x&yA");
  EXPECT_FALSE(R->IsEmpty());
  EXPECT_TRUE(R->Elements(0)->Elements(0)->Nodes(0)->ElementType() == xeCharData);
}

TEST(Nodes, TreeWalksAndPaths) {
  XmlLoad L("<svg w='1'><a><g id='inner'/></a><g id='second'><g id='third'/></g></svg>");
  TXmlElement* Svg = L.Doc->Root();
  ASSERT_NE(Svg, nullptr);
  TXmlNode* Inner = Svg->FindNode("g");
  ASSERT_NE(Inner, nullptr);
  EXPECT_EQ(Inner->AttributeValueByName("id"), "inner");  // depth first wins
  EXPECT_EQ(Inner->FullPath(), "/svg/a/g");
  EXPECT_EQ(Inner->TreeDepth(), 2);
  EXPECT_EQ(Svg->Nodes(0)->FullPath(), "/svg/w");
  EXPECT_EQ(Svg->FullPath(), "/svg");
  EXPECT_EQ(Svg->FindNode("/SVG/G")->AttributeValueByName("id"), "second");
  EXPECT_EQ(Svg->FindNode("/svg/g/g")->AttributeValueByName("id"), "third");
  EXPECT_EQ(Svg->FindNode("/g"), nullptr);
  EXPECT_EQ(Svg->FindNode(""), nullptr);
  EXPECT_EQ(Svg->FindNode("svg"), nullptr);  // the node itself is never tested
  EXPECT_EQ(Svg->FindNode("ID")->Value(), "inner");

  std::vector<TXmlNode*> Found;
  Svg->FindNodes("g", Found);
  ASSERT_EQ(Found.size(), 3u);
  EXPECT_EQ(Found[2]->AttributeValueByName("id"), "third");
  Svg->FindNodes(std::vector<std::string>{"g", "/svg/g", "nothing"}, Found);
  EXPECT_EQ(Found.size(), 4u);  // the second g matches two names
  Svg->FindNodes("none", Found);
  EXPECT_TRUE(Found.empty());

  // The document walk visits every node, attributes included, parent first.
  std::string Order;
  for (TXmlNode* N = L.Doc->FindFirst(); N; N = L.Doc->FindNext(N)) Order += N->Name() + " ";
  EXPECT_EQ(Order, "svg w a g id g id g id ");
  EXPECT_EQ(L.Doc->FindNext(nullptr), nullptr);
  TXmlNode* Stray = L.Doc->CreateNode<TXmlElement>();
  EXPECT_THROW(L.Doc->FindNext(Stray), EXmlError);
}

TEST(Nodes, BuildingOperations) {
  XmlLoad L("<r>t<a/></r>");
  TXmlElement* R = L.Doc->Root();
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(R->NodeAdd(nullptr), -1);
  auto* A = L.Doc->CreateNode<TXmlAttribute>();
  A->SetName("k");
  A->SetValue("a<b\r\n");
  R->AttributeAdd(A);
  EXPECT_EQ(R->Nodes(0), A);
  EXPECT_EQ(R->DirectNodeCount(), 1);
  EXPECT_EQ(R->ValueIndex(), 1);
  EXPECT_EQ(A->Parent(), R);
  EXPECT_EQ(A->CoreValue()->RawValue(), "a&lt;b\n");
  EXPECT_EQ(A->Value(), "a<b\r\n");
  // An attribute of another document is refused with a message.
  TXmlDocument Other;
  L.Messages.clear();
  R->AttributeAdd(Other.CreateNode<TXmlAttribute>());
  EXPECT_EQ(L.MessageText(), "F:XML owner is not assigned");
  EXPECT_EQ(R->AttributeCount(), 1);
  // Extracting and inserting keep parents and indexes right.
  TXmlNode* Sub = R->Nodes(2);
  EXPECT_EQ(R->NodeExtract(Sub), Sub);
  EXPECT_EQ(Sub->Parent(), nullptr);
  R->NodeInsert(0, Sub);
  EXPECT_EQ(R->NodeIndexOf(Sub), 0);
  EXPECT_EQ(Sub->Parent(), R);
  // Text-like nodes keep their fixed names.
  TXmlNode* Text = R->Nodes(2);
  L.Messages.clear();
  Text->SetName("x");
  Text->SetName("");
  EXPECT_EQ(Text->Name(), "Text");
  EXPECT_EQ(L.MessageText(), "H:cannot set name on this type of element");
  EXPECT_THROW(TXmlElement(nullptr), EXmlError);
  EXPECT_THROW(Text->NodeAdd(A), EXmlError);
  auto* D = L.Doc->CreateNode<TXmlCData>();
  D->SetValue("x&y\r\n");
  EXPECT_EQ(D->RawValue(), "x&y\r\n");
  EXPECT_TRUE(D->IsWhiteSpace());
}

// Long child lists grow through arrays that are handed back to the heap as they
// are outgrown; parsing, packing, extracting and inserting keep every entry.
TEST(Nodes, LongChildListsKeepTheirEntries) {
  std::string Text = "<r>";
  for (int I = 0; I < 9000; ++I) Text += "<e" + std::to_string(I) + "/>";
  XmlLoad L(Text + "</r>");
  TXmlElement* R = L.Doc->Root();
  ASSERT_NE(R, nullptr);
  ASSERT_EQ(R->NodeCount(), 9000);
  for (int I = 0; I < 9000; I += 997) {
    SCOPED_TRACE(I);
    EXPECT_EQ(R->Nodes(I)->Name(), "e" + std::to_string(I));
    EXPECT_EQ(R->NodeIndexOf(R->Nodes(I)), I);
  }
  for (int I = 0; I < 3000; ++I) R->NodeAdd(L.Doc->CreateNode<TXmlElement>());
  TXmlNode* Mid = R->Nodes(4500);
  EXPECT_EQ(R->NodeExtract(Mid), Mid);
  R->NodeInsert(0, Mid);
  EXPECT_EQ(R->NodeCount(), 12000);
  EXPECT_EQ(R->Nodes(0)->Name(), "e4500");
  EXPECT_EQ(R->Nodes(4501)->Name(), "e4501");
  EXPECT_EQ(R->Nodes(8999)->Name(), "e8999");
  EXPECT_EQ(R->NodeIndexOf(R->Nodes(11999)), 11999);
}

// Tags belong to one node each, follow it through tree changes, can be cleared,
// and do not outlive the tree: nodes of a new load start without one.
TEST(Nodes, TagsStayWithTheirNode) {
  XmlLoad L("<r a=\"1\"><b/></r>");
  TXmlElement* R = L.Doc->Root();
  ASSERT_NE(R, nullptr);
  TXmlNode* B = R->Elements(0);
  TXmlAttribute* A = R->Attributes(0);
  int X = 0, Y = 0;
  EXPECT_EQ(R->Tag(), nullptr);
  R->SetTag(&X);
  B->SetTag(&Y);
  A->CoreValue()->SetTag(&Y);
  EXPECT_EQ(R->Tag(), &X);
  EXPECT_EQ(B->Tag(), &Y);
  EXPECT_EQ(A->Tag(), nullptr);
  EXPECT_EQ(A->CoreValue()->Tag(), &Y);
  R->NodeExtract(B);
  R->NodeInsert(0, B);
  EXPECT_EQ(B->Tag(), &Y);
  B->SetTag(nullptr);
  EXPECT_EQ(B->Tag(), nullptr);
  L.Load("<r a=\"1\"><b/></r>");
  TXmlElement* R2 = L.Doc->Root();
  ASSERT_NE(R2, nullptr);
  EXPECT_EQ(R2->Tag(), nullptr);
  EXPECT_EQ(R2->Attributes(0)->CoreValue()->Tag(), nullptr);
}

}  // namespace
