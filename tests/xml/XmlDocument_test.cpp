// The document object: construction and reset, IsEmpty and CommentString, the
// root-level queries, reloading, and where its messages go.
#include <gtest/gtest.h>

#include "XmlTestLoad.h"

using xml_test::TXmlLoad;

namespace {

TEST(Document, NewDocuments) {
  TXmlDocument doc;
  EXPECT_EQ(doc.RootNodeCount(), 1);
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.Root()->Name(), "");
  EXPECT_TRUE(doc.IsEmpty());
  EXPECT_EQ(doc.CommentString(), "");
  EXPECT_EQ(doc.Charset(), "");
  EXPECT_EQ(doc.VersionString(), "");
  EXPECT_EQ(doc.EolStyle(), esCRLF);
  EXPECT_EQ(doc.NodeClosingStyle(), ncClose);
  EXPECT_FALSE(doc.PreserveWhiteSpace());

  TXmlDocument decl(nullptr, true, false, false, "");
  EXPECT_EQ(decl.RootNodeCount(), 1);
  EXPECT_EQ(decl.Charset(), "utf-8");
  EXPECT_EQ(decl.VersionString(), "1.0");
  EXPECT_EQ(decl.Root(), nullptr);
  EXPECT_TRUE(decl.IsEmpty());
  EXPECT_EQ(decl.Declaration()->DirectNodeCount(), 2);

  TXmlDocument full(nullptr, true, true, true, "svg");
  EXPECT_EQ(xml_test::Shape(full.DocType()), "!DOCTYPE svg SYSTEM Q\"\" Q\"\"");
  EXPECT_EQ(full.Root()->Name(), "svg");
  EXPECT_FALSE(full.IsEmpty());
  EXPECT_EQ(full.RootContainerCount(), 3);
  EXPECT_EQ(full.RootContainers(2), full.Root());
  EXPECT_EQ(full.RootContainers(3), nullptr);
  full.New(false, false);
  EXPECT_EQ(full.RootNodeCount(), 1);
  full.New();
  EXPECT_EQ(full.RootNodeCount(), 3);
}

TEST(Document, IsEmptyAndCommentString) {
  struct TCase {
    const char* Input;
    bool Empty;
    const char* Comment;
  };
  const TCase cases[] = {
      {"<?xml version='1.0'?><!-- only -->", true, " only "},
      {"<svg/> ", false, ""},
      {"<svg></svg>", false, ""},
      {"<!--first--><svg/><!--second-->", false, "first"},
      {"<svg><!--inside--></svg><!--after-->", false, "after"},
      {"<!-- a &amp; b\nc -->", true, " a & b\r\nc "},
      {"just text", true, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Input);
    TXmlLoad l(c.Input);
    EXPECT_EQ(l.Doc->IsEmpty(), c.Empty);
    EXPECT_EQ(l.Doc->CommentString(), c.Comment);
  }
}

TEST(Document, RootQueriesAndStyleSheet) {
  TXmlLoad l("<?xml version='1.0'?><!DOCTYPE svg><!--c--><svg/><g/>");
  EXPECT_EQ(l.Doc->Root()->Name(), "svg");
  EXPECT_NE(l.Doc->DocType(), nullptr);
  EXPECT_EQ(l.Doc->RootContainerCount(), 4);
  EXPECT_EQ(l.Doc->RootNodeCount(), 5);
  TXmlStyleSheet* s = l.Doc->StyleSheet();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(l.Doc->RootNodes().Items(1), s);
  EXPECT_EQ(l.Doc->RootNodeCount(), 6);
  EXPECT_EQ(l.Doc->StyleSheet(), s);
  EXPECT_EQ(s->Name(), "xml-stylesheet");
  // Charset and VersionString look only at a declaration at index 0.
  TXmlLoad late("<!--c--><?xml version='1.0' encoding='x'?><svg/>");
  EXPECT_EQ(late.Doc->Charset(), "");
  EXPECT_NE(late.Doc->Declaration(), nullptr);
}

TEST(Document, ReloadReplacesEverything) {
  TXmlLoad l("<a x='one' y='two'><b/></a>");
  std::int32_t firstCount = l.Doc->SymbolTable().SymbolCount();
  EXPECT_EQ(firstCount, 6);  // a x one y two b
  l.Load("<c z='z'/>");
  EXPECT_EQ(l.Tree(), "c(@z=z)");
  EXPECT_EQ(l.Doc->SymbolTable().SymbolCount(), 2);
  l.Doc->Clear();
  EXPECT_EQ(l.Doc->RootNodeCount(), 1);
  EXPECT_TRUE(l.Doc->IsEmpty());
}

TEST(Document, MessagesReachTheFirstHandler) {
  // A handler on a component that owns the document receives its messages, with
  // the reporting node as sender.
  std::vector<const void*> senders;
  TDebugComponent owner;
  owner.SetOnDebugOut([&](const void* ASender, TXmlWarnStyle, const std::string& AText) {
    if (AText.rfind("illegal quote", 0) == 0) senders.push_back(ASender);
  });
  TXmlDocument doc(&owner);
  doc.ReadFromString("<svg 'a'='1'/>");
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], doc.Root());
  // Without any handler, nothing happens at all.
  TXmlDocument quiet;
  quiet.ReadFromString("<svg 'a'='1'></x>");
  EXPECT_FALSE(quiet.IsEmpty());
}

TEST(Document, TellsWhatTheTextBeginsWith) {
  using namespace std::literals;
  struct TCase {
    std::string_view Text;
    bool Markup;  // XML white space (after a mark), then "<"
  };
  const TCase cases[] = {
      {"<svg/>", true},
      {" \t\r\n<a/>", true},
      {"\xEF\xBB\xBF\n <a/>", true},
      {"\xFF\xFE \0\n\0<\0a\0/\0>\0"sv, true},
      {"\xFE\xFF\0 \0<\0a\0/\0>"sv, true},
      {"x<a/>", false},
      {"\x01<a/>", false},  // a control character is no XML white space
      {"\0<a/>"sv, false},
      {"   ", false},
      {"", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.Text)));
    TXmlDocument doc;
    doc.ReadFromString(c.Text);
    EXPECT_EQ(doc.BeginsWithMarkup(), c.Markup);
    // Only markup first: other text loads nothing at all.
    TXmlDocument strict;
    strict.SetMarkupFirstOnly(true);
    strict.ReadFromString(c.Text);
    EXPECT_EQ(strict.BeginsWithMarkup(), c.Markup);
    EXPECT_EQ(strict.RootNodeCount() != 0, c.Markup);
  }
  // A load that keeps white space keeps the blanks the check read past.
  TXmlDocument kept;
  kept.SetXmlFormat(xfPreserve);
  kept.SetMarkupFirstOnly(true);
  kept.ReadFromString(" \n<a/>");
  ASSERT_EQ(kept.RootNodeCount(), 2);
  EXPECT_EQ(kept.RootNodes().Items(0)->Value(), " \r\n");
}

}  // namespace
