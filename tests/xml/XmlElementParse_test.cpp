// Element and content parsing: start tags and attribute lists, text runs, end-tag
// matching, the structural repair option, unclosed input, and depth that must not
// reach the machine stack.
#include <gtest/gtest.h>

#include "XmlTestLoad.h"
#include "platform/HostPlatform.h"
#include "xml/XmlBuild.h"

using xml_test::ExpectLoads;
using xml_test::TLoadOptions;
using xml_test::TXmlLoad;

namespace {

constexpr TLoadOptions cFix{.Fix = true};
constexpr TLoadOptions cPreserve{.Preserve = true};

TEST(ParseElements, StartTagsAndAttributeLists) {
  ExpectLoads({
      {"<a x='1' y=\"2\"/>", {}, "a(@x=1,@y=2)", ""},
      // A value holds the other quote, markup characters and references as written.
      {"<a x='say \"<hi>\" &amp;'/>", {}, "a(@x=say \"<hi>\" &amp;)", ""},
      // Blanks other than one space before an attribute: a hint, and a whitespace
      // node among the direct nodes only when white space is preserved.
      {"<a x='1'\n   y='2'></a>", {}, "a(@x=1,@y=2)", "H:non-default chardata at line 1 (pos 13)"},
      {"<a x='1'\n   y='2'></a>", cPreserve, "a(@x=1,W\"\\n   \",@y=2)",
       "H:non-default chardata at line 1 (pos 13)"},
      // A quote where a name should start is skipped; the name runs up to "=".
      {"<a 'x'='1'></a>", {}, "a(@x'=1)", "W:illegal quote at pos 4"},
      {"<a b c='1'></a>", {}, "a(@b c=1)", ""},
      // A value not starting with a quote: empty, the byte read is lost; with the
      // repair option it runs up to the next space.
      {"<a x=y b='1'></a>", {}, "a(@x=,@b=1)", "W:quote char expected at pos 6"},
      {"<a x=y b='1'></a>", cFix, "a(@x=y,@b=1)", "W:quote char expected at pos 6"},
      // The value runs to the end of the input; the start tag is then broken with
      // the byte that began that last attribute, and r's loop ends with the input.
      {"<r><a x=y>t</a></r>", cFix, "r(a(@x=y>t</a></r>))",
       "W:quote char expected at pos 9 | W:illegal end tag (\"x\") at line 0 (streampos 19)"},
      // Start tags ended by something else than "/>" or ">".
      {"<r><a b='1'?>x</r>",
       {},
       "r(a(@b=1),T\">x\")",
       "W:illegal end tag (\"?\") at line 0 (streampos 12)"},
      {"<r><a/ >x</r>", {}, "r(a,T\">x\")", "W:illegal end tag (\" \") at line 0 (streampos 7)"},
  });
}

TEST(ParseElements, TextRunsAndValues) {
  ExpectLoads({
      {"<a>  x  </a>", {}, "a(T\"  x\")", ""},
      {"<a>     </a>", {}, "a", ""},
      {"<a>     </a>", cPreserve, "a", ""},
      {"<a>x<b/>y</a>", {}, "a(T\"x\",b,T\"y\")", ""},
      {"<a>\n  <b/>\n  t\n</a>", {}, "a(b,T\"\\n  t\")", ""},
      {"<a><!-- c --><![CDATA[<&>]]><?pi x?></a>", {}, "a(C\" c \",D\"<&>\",P\"pi x\")", ""},
  });
  TXmlLoad l("<a>x<b>inner</b><![CDATA[&amp;]]>y&lt;</a>");
  TXmlElement* a = l.Doc->Root();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Value(), "x&amp;y<");  // own text runs and CDATA, not the child's text
  EXPECT_EQ(a->ValueIndex(), 0);
  EXPECT_EQ(a->OwnClosingStyle(), ncFull);
}

TEST(ParseElements, ClosingStyleAndDirectNodes) {
  TXmlLoad l("<r><a/><b></b><c x='1' y='2'>t</c></r>");
  TXmlElement* r = l.Doc->Root();
  ASSERT_NE(r, nullptr);
  auto* a = static_cast<TXmlContainerNode*>(r->Nodes(0));
  auto* b = static_cast<TXmlContainerNode*>(r->Nodes(1));
  auto* c = static_cast<TXmlContainerNode*>(r->Nodes(2));
  EXPECT_EQ(a->OwnClosingStyle(), ncClose);
  EXPECT_EQ(b->OwnClosingStyle(), ncFull);
  EXPECT_EQ(c->DirectNodeCount(), 2);
  EXPECT_EQ(c->ValueIndex(), 2);
  TXmlDocument doc;
  EXPECT_EQ(TXmlBuild::CreateNode<TXmlElement>(doc)->OwnClosingStyle(), ncDefault);
}

TEST(ParseElements, EndTagMismatchesAndRepair) {
  ExpectLoads({
      // Names compare with letter case; without repair the element counts as closed.
      {"<a></A>", {}, "a", "W:begin and end tag mismatch: \"a\" and \"A\" at line 0 (pos 7)"},
      // The first repair example: br is taken as a single tag and its content moves
      // out behind it.
      {"<r><p><br>t</p></r>", cFix, "r(p(br,T\"t\"))",
       "W:begin and end tag mismatch: \"br\" and \"p\" at line 0 (pos 15) | "
       "H:parent0 = \"p\", this endtag = \"p\": maybe \"br\" should be closed | "
       "W:level mismatch between subnode \"br\" and endnode \"p\" at line 0 (pos 15) | "
       "I:correctly closed node \"br\" at pos 0"},
      {"<r><p><br>t</p></r>",
       {},
       "r(p(br(T\"t\")))",
       "W:begin and end tag mismatch: \"br\" and \"p\" at line 0 (pos 15) | "
       "W:begin and end tag mismatch: \"p\" and \"r\" at line 0 (pos 19) | "
       "F:stream terminated prematurely at pos 19"},
      // The second: c moves from b to a; "b" and then "c" become single tags.
      {"<r><a><b><c></a></r>", cFix, "r(a(b,c))",
       "W:begin and end tag mismatch: \"c\" and \"a\" at line 0 (pos 16) | "
       "I:moving node \"c\" from parent \"b\" to grandparent \"a\" | "
       "H:parent1 = \"a\", this endtag = \"a\": maybe \"c\" should be closed | "
       "W:level mismatch between subnode \"c\" and endnode \"a\" at line 0 (pos 16) | "
       "W:level mismatch between subnode \"b\" and endnode \"a\" at line 0 (pos 16)"},
      {"<r><a><b><c></a></r>",
       {},
       "r(a(b(c)))",
       "W:begin and end tag mismatch: \"c\" and \"a\" at line 0 (pos 16) | "
       "W:begin and end tag mismatch: \"b\" and \"r\" at line 0 (pos 20) | "
       "F:stream terminated prematurely at pos 20 | "
       "W:level mismatch between subnode \"a\" and endnode \"nil\" at line 0 (pos 20)"},
      // An end tag that names nothing open two levels below a top-level element:
      // the walk ends at the top instead of repeating.
      // r gets itself back and ends; the root level reads on and stops at "</a>".
      {"<r><a></x>t</a></r>", cFix, "r(a),T\"t\"",
       "W:begin and end tag mismatch: \"a\" and \"x\" at line 0 (pos 10) | "
       "W:level mismatch between subnode \"a\" and endnode \"r\" at line 0 (pos 10) | "
       "W:unsupported tag (\"EndTag\") at pos 13"},
  });
}

TEST(ParseElements, UnclosedAndDisallowedContent) {
  ExpectLoads({
      {"<a><b>",
       {},
       "a(b)",
       "F:stream terminated prematurely at pos 6 | "
       "W:level mismatch between subnode \"b\" and endnode \"nil\" at line 0 (pos 6)"},
      // Input ending inside a start tag adds no further attribute.
      {"<a b='1'", {}, "a(@b=1)", "W:illegal end tag (\"\\0\") at line 0 (streampos 8)"},
      // A declaration inside an element ends the content; the root level reads on.
      {"<a><?xml version='1.0'?></a>",
       {},
       "a,T\"version='1.0'?>\"",
       "W:illegal tag (\"Declaration\") at pos 8 | "
       "W:unsupported tag (\"EndTag\") at pos 26"},
      {"<a><!DOCTYPE x></a>",
       {},
       "a,T\"x>\"",
       "W:illegal tag (\"DocType\") at pos 12 | W:unsupported tag (\"EndTag\") at pos 17"},
  });
}

TEST(ParseElements, AbortParsingFromHandler) {
  TXmlLoad l;
  l.Doc->SetOnNodeLoaded([](TXmlDocument* ASender, TXmlNode* ANode) {
    if (ANode->Name() == "b") ASender->SetAbortParsing(true);
  });
  l.Load("<a><b/><c/></a><!-- after -->");
  EXPECT_EQ(l.Tree(), "a(b)");
  EXPECT_EQ(l.NodeMessages(), "");
}

TEST(ParseElements, EventsInOrder) {
  TXmlLoad load;
  std::string log;
  load.Doc->SetOnNodeNew([&](TXmlDocument* ASender, TXmlNode* ANode) {
    EXPECT_EQ(ASender, load.Doc.get());
    log += "new " + ANode->Name() + (ANode->AttributeCount() ? "+attr" : "") + "; ";
  });
  load.Doc->SetOnNodeLoaded(
      [&](TXmlDocument*, TXmlNode* ANode) { log += "loaded " + ANode->Name() + "; "; });
  std::vector<std::int64_t> progress;
  load.Doc->SetOnProgress([&](TXmlDocument*, std::int64_t AP) { progress.push_back(AP); });
  load.Load("<!--c--><a x='1'>t<b/></a>");
  EXPECT_EQ(log,
            "new Comment; loaded Comment; new a; new ; loaded x; new Text; loaded Text; "
            "new b; loaded b; loaded a; ");
  EXPECT_EQ(progress, (std::vector<std::int64_t>{22, 26, 26}));
}

// A million nested elements load, answer queries and are freed on a 1 MiB stack.
TEST(ParseElements, DeepNestingStaysOffTheStack) {
  constexpr int cDepth = 1000000;
  std::string text;
  text.reserve(cDepth * 7 + 16);
  for (int i = 0; i < cDepth; ++i) text += "<g>";
  text += "<leaf id='x'/>";
  for (int i = 0; i < cDepth; ++i) text += "</g>";

  bool done = false;
  ASSERT_TRUE(platform::RunOnThreadWithStack(1 << 20, [&] {
    auto doc = std::make_unique<TXmlDocument>();
    doc->ReadFromString(text);
    TXmlNode* leaf = doc->Root()->FindNode("leaf");
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->TreeDepth(), cDepth);
    std::string path = leaf->FullPath();
    EXPECT_EQ(path.size(), static_cast<std::size_t>(cDepth) * 2 + 5);
    EXPECT_EQ(path.substr(path.size() - 9), "/g/g/leaf");
    EXPECT_EQ(doc->Root()->FindNode(path.substr(0, 7) + "/no"), nullptr);
    EXPECT_EQ(leaf->AttributeValueByName("ID"), "x");
    std::int64_t count = 0;
    for (TXmlNode* node = doc->FindFirst(); node; node = doc->FindNext(node)) ++count;
    EXPECT_EQ(count, cDepth + 2);
    // Unclosed at the end: every level reports and unwinds without recursion.
    doc->ReadFromString(std::string_view(text).substr(0, cDepth * 3));
    EXPECT_EQ(doc->Root()->NodeCount(), 1);
    doc.reset();
    done = true;
  }));
  EXPECT_TRUE(done);
}

}  // namespace
