// The node model's read side: names and values by class, attribute and content
// enumeration, lookups by name (letter case, prefixes, non-ASCII), tree walks and
// the building operations the parsers use.
#include <gtest/gtest.h>

#include <string>

#include "XmlTestLoad.h"
#include "xml/XmlBuild.h"

using xml_test::TXmlLoad;

namespace {

TEST(Nodes, ContainerCountsAndIndexes) {
  TXmlLoad l("<svg width=\"10\" height=\"20\"><title>T</title></svg>");
  TXmlElement* svg = l.Doc->Root();
  ASSERT_NE(svg, nullptr);
  EXPECT_EQ(svg->NodeCount(), 3);
  EXPECT_EQ(svg->DirectNodeCount(), 2);
  EXPECT_EQ(svg->AttributeCount(), 2);
  EXPECT_EQ(svg->ElementCount(), 1);
  EXPECT_EQ(svg->ContainerCount(), 1);
  ASSERT_NE(svg->Nodes(0), nullptr);
  EXPECT_EQ(svg->Nodes(0)->ElementType(), xeAttribute);
  EXPECT_EQ(svg->Nodes(0)->ElementTypeName(), std::string("Attribute"));
  EXPECT_EQ(svg->Nodes(3), nullptr);
  EXPECT_EQ(svg->Nodes(-1), nullptr);
  EXPECT_EQ(svg->Attributes(1)->Name(), "height");
  EXPECT_EQ(svg->Attributes(2), nullptr);
  EXPECT_EQ(svg->Attributes(-1), nullptr);
  EXPECT_EQ(svg->AttributeName(0), "width");
  EXPECT_EQ(svg->AttributeName(5), "");
  EXPECT_EQ(svg->Elements(0)->Name(), "title");
  EXPECT_EQ(svg->Elements(1), nullptr);
  EXPECT_EQ(svg->Containers(0), svg->Elements(0));
  EXPECT_EQ(svg->FirstNodeByType(xeElement), svg->Nodes(2));
  EXPECT_EQ(svg->NextSibling(svg->Nodes(0)), svg->Nodes(1));
  EXPECT_EQ(svg->NextSibling(svg->Nodes(2)), nullptr);
  // Leaves answer none and zero.
  TXmlNode* text = svg->Elements(0)->Nodes(0);
  EXPECT_EQ(text->NodeCount(), 0);
  EXPECT_EQ(text->Nodes(0), nullptr);
  EXPECT_EQ(text->AttributeCount(), 0);
  EXPECT_EQ(text->FindNode("x"), nullptr);
}

TEST(Nodes, LookupsByName) {
  TXmlLoad l(
      "<svg xmlns:xlink='x' width='10' xlink:href='#a' \xC3\x89"
      "cole='e'>"
      "<g id='1'><rect/></g>text<G id='2'/></svg>");
  TXmlElement* svg = l.Doc->Root();
  ASSERT_NE(svg, nullptr);
  struct TCase {
    const char* Name;
    const char* Value;
  };
  // Letter case is ignored, prefixes are part of the name.
  const TCase cases[] = {
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
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(svg->AttributeValueByName(c.Name), c.Value);
    EXPECT_EQ(svg->GetAttributeValueByName(c.Name), c.Value);
  }
  // HasAttribute alone compares bytes.
  EXPECT_TRUE(svg->HasAttribute("width"));
  EXPECT_FALSE(svg->HasAttribute("WIDTH"));
  // Attributes are in the node list, so NodeByName finds them; text nodes are
  // named "Text".
  ASSERT_NE(svg->NodeByName("WIDTH"), nullptr);
  EXPECT_EQ(svg->NodeByName("WIDTH")->Value(), "10");
  ASSERT_NE(svg->NodeByName("text"), nullptr);
  EXPECT_EQ(svg->NodeByName("text")->ElementType(), xeCharData);
  EXPECT_EQ(svg->NodeByName("g"), svg->Nodes(4));
  EXPECT_EQ(svg->AttributeIndexByName("Width"), 1);
  EXPECT_EQ(svg->AttributeIndexByName("g"), -1);  // content nodes are not looked at
  EXPECT_EQ(TXmlNodeList(&TXmlBuild::Arena(*l.Doc)).ByType(xeElement), nullptr);
  EXPECT_TRUE(XmlNamesMatch("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"));
  EXPECT_FALSE(XmlNamesMatch("\xC3\xA9t\xC3\xA9", "ete"));
}

TEST(Nodes, ValuesByClass) {
  TXmlLoad l(
      "<r a='x&amp;y&#65;'><![CDATA[a&amp;b]]><!-- c &lt; d --><?pi x?>"
      "<e>one\ntwo<f>no</f>&#x42;</e></r>");
  TXmlElement* r = l.Doc->Root();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->AttributeValueByName("a"), "x&yA");
  EXPECT_EQ(r->Nodes(1)->Name(), "CData");
  EXPECT_EQ(r->Nodes(1)->Value(), "a&amp;b");
  EXPECT_EQ(r->Nodes(2)->Name(), "Comment");
  EXPECT_EQ(r->Nodes(2)->Value(), " c < d ");
  EXPECT_EQ(r->Nodes(3)->Name(), "PI");
  EXPECT_EQ(r->Nodes(3)->Value(), "pi x");
  TXmlNode* e = r->Nodes(4);
  EXPECT_EQ(e->Nodes(0)->Name(), "Text");
  // Own text runs only, concatenated; line ends in the document's style.
  struct TEolCase {
    TXmlEolStyle Style;
    const char* Value;
  };
  for (const TEolCase& c : {TEolCase{esCRLF, "one\r\ntwoB"}, TEolCase{esLF, "one\ntwoB"},
                            TEolCase{esCR, "one\rtwoB"}}) {
    l.Doc->SetEolStyle(c.Style);
    EXPECT_EQ(e->Value(), c.Value);
  }
  EXPECT_EQ(r->Value(), "a&amp;b");
  EXPECT_EQ(r->Nodes(0)->NameUnicode(), u"a");
  EXPECT_EQ(r->Nodes(0)->ValueUnicode(), u"x&yA");
  EXPECT_FALSE(r->IsEmpty());
  EXPECT_TRUE(r->Elements(0)->Elements(0)->Nodes(0)->ElementType() == xeCharData);
}

TEST(Nodes, TreeWalksAndPaths) {
  TXmlLoad l("<svg w='1'><a><g id='inner'/></a><g id='second'><g id='third'/></g></svg>");
  TXmlElement* svg = l.Doc->Root();
  ASSERT_NE(svg, nullptr);
  TXmlNode* inner = svg->FindNode("g");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->AttributeValueByName("id"), "inner");  // depth first wins
  EXPECT_EQ(inner->FullPath(), "/svg/a/g");
  EXPECT_EQ(inner->TreeDepth(), 2);
  EXPECT_EQ(svg->Nodes(0)->FullPath(), "/svg/w");
  EXPECT_EQ(svg->FullPath(), "/svg");
  EXPECT_EQ(svg->FindNode("/SVG/G")->AttributeValueByName("id"), "second");
  EXPECT_EQ(svg->FindNode("/svg/g/g")->AttributeValueByName("id"), "third");
  EXPECT_EQ(svg->FindNode("/g"), nullptr);
  EXPECT_EQ(svg->FindNode(""), nullptr);
  EXPECT_EQ(svg->FindNode("svg"), nullptr);  // the node itself is never tested
  EXPECT_EQ(svg->FindNode("ID")->Value(), "inner");

  std::vector<TXmlNode*> found;
  svg->FindNodes("g", found);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[2]->AttributeValueByName("id"), "third");
  svg->FindNodes(std::vector<std::string>{"g", "/svg/g", "nothing"}, found);
  EXPECT_EQ(found.size(), 4u);  // the second g matches two names
  svg->FindNodes("none", found);
  EXPECT_TRUE(found.empty());

  // The document walk visits every node, attributes included, parent first.
  std::string order;
  for (TXmlNode* n = l.Doc->FindFirst(); n; n = l.Doc->FindNext(n)) order += n->Name() + " ";
  EXPECT_EQ(order, "svg w a g id g id g id ");
  EXPECT_EQ(l.Doc->FindNext(nullptr), nullptr);
  TXmlNode* stray = TXmlBuild::CreateNode<TXmlElement>(*l.Doc);
  EXPECT_THROW(l.Doc->FindNext(stray), EXmlError);
}

TEST(Nodes, BuildingOperations) {
  TXmlLoad l("<r>t<a/></r>");
  TXmlElement* r = l.Doc->Root();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->NodeAdd(nullptr), -1);
  auto* a = TXmlBuild::CreateNode<TXmlAttribute>(*l.Doc);
  a->SetName("k");
  a->SetValue("a<b\r\n");
  r->AttributeAdd(a);
  EXPECT_EQ(r->Nodes(0), a);
  EXPECT_EQ(r->DirectNodeCount(), 1);
  EXPECT_EQ(r->ValueIndex(), 1);
  EXPECT_EQ(a->Parent(), r);
  EXPECT_EQ(a->CoreValue()->RawValue(), "a&lt;b\n");
  EXPECT_EQ(a->Value(), "a<b\r\n");
  // An attribute of another document is refused with a message.
  TXmlDocument other;
  l.Messages.clear();
  r->AttributeAdd(TXmlBuild::CreateNode<TXmlAttribute>(other));
  EXPECT_EQ(l.MessageText(), "F:XML owner is not assigned");
  EXPECT_EQ(r->AttributeCount(), 1);
  // Extracting and inserting keep parents and indexes right.
  TXmlNode* sub = r->Nodes(2);
  EXPECT_EQ(r->NodeExtract(sub), sub);
  EXPECT_EQ(sub->Parent(), nullptr);
  r->NodeInsert(0, sub);
  EXPECT_EQ(r->NodeIndexOf(sub), 0);
  EXPECT_EQ(sub->Parent(), r);
  // Text-like nodes keep their fixed names.
  TXmlNode* text = r->Nodes(2);
  l.Messages.clear();
  text->SetName("x");
  text->SetName("");
  EXPECT_EQ(text->Name(), "Text");
  EXPECT_EQ(l.MessageText(), "H:cannot set name on this type of element");
  EXPECT_THROW(TXmlElement(nullptr), EXmlError);
  EXPECT_THROW(text->NodeAdd(a), EXmlError);
  auto* d = TXmlBuild::CreateNode<TXmlCData>(*l.Doc);
  d->SetValue("x&y\r\n");
  EXPECT_EQ(d->RawValue(), "x&y\r\n");
  EXPECT_TRUE(d->IsWhiteSpace());
}

// Long child lists grow through arrays that are handed back to the heap as they
// are outgrown; parsing, packing, extracting and inserting keep every entry.
TEST(Nodes, LongChildListsKeepTheirEntries) {
  std::string text = "<r>";
  for (int i = 0; i < 9000; ++i) text += "<e" + std::to_string(i) + "/>";
  TXmlLoad l(text + "</r>");
  TXmlElement* r = l.Doc->Root();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->NodeCount(), 9000);
  for (int i = 0; i < 9000; i += 997) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r->Nodes(i)->Name(), "e" + std::to_string(i));
    EXPECT_EQ(r->NodeIndexOf(r->Nodes(i)), i);
  }
  for (int i = 0; i < 3000; ++i) r->NodeAdd(TXmlBuild::CreateNode<TXmlElement>(*l.Doc));
  TXmlNode* mid = r->Nodes(4500);
  EXPECT_EQ(r->NodeExtract(mid), mid);
  r->NodeInsert(0, mid);
  EXPECT_EQ(r->NodeCount(), 12000);
  EXPECT_EQ(r->Nodes(0)->Name(), "e4500");
  EXPECT_EQ(r->Nodes(4501)->Name(), "e4501");
  EXPECT_EQ(r->Nodes(8999)->Name(), "e8999");
  EXPECT_EQ(r->NodeIndexOf(r->Nodes(11999)), 11999);
}

// Tags belong to one node each, follow it through tree changes, can be cleared,
// and do not outlive the tree: nodes of a new load start without one.
TEST(Nodes, TagsStayWithTheirNode) {
  TXmlLoad l("<r a=\"1\"><b/></r>");
  TXmlElement* r = l.Doc->Root();
  ASSERT_NE(r, nullptr);
  TXmlNode* b = r->Elements(0);
  TXmlAttribute* a = r->Attributes(0);
  int x = 0, y = 0;
  EXPECT_EQ(r->Tag(), nullptr);
  r->SetTag(&x);
  b->SetTag(&y);
  a->CoreValue()->SetTag(&y);
  EXPECT_EQ(r->Tag(), &x);
  EXPECT_EQ(b->Tag(), &y);
  EXPECT_EQ(a->Tag(), nullptr);
  EXPECT_EQ(a->CoreValue()->Tag(), &y);
  r->NodeExtract(b);
  r->NodeInsert(0, b);
  EXPECT_EQ(b->Tag(), &y);
  b->SetTag(nullptr);
  EXPECT_EQ(b->Tag(), nullptr);
  l.Load("<r a=\"1\"><b/></r>");
  TXmlElement* r2 = l.Doc->Root();
  ASSERT_NE(r2, nullptr);
  EXPECT_EQ(r2->Tag(), nullptr);
  EXPECT_EQ(r2->Attributes(0)->CoreValue()->Tag(), nullptr);
}

}  // namespace
