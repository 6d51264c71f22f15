// The document object: construction and reset, IsEmpty and CommentString, the
// root-level queries, reloading, and where its messages go.
#include <gtest/gtest.h>

#include "XmlTestLoad.h"

using xml_test::XmlLoad;

namespace {

TEST(Document, NewDocuments) {
  TXmlDocument Doc;
  EXPECT_EQ(Doc.RootNodeCount(), 1);
  ASSERT_NE(Doc.Root(), nullptr);
  EXPECT_EQ(Doc.Root()->Name(), "");
  EXPECT_TRUE(Doc.IsEmpty());
  EXPECT_EQ(Doc.CommentString(), "");
  EXPECT_EQ(Doc.Charset(), "");
  EXPECT_EQ(Doc.VersionString(), "");
  EXPECT_EQ(Doc.EolStyle(), esCRLF);
  EXPECT_EQ(Doc.NodeClosingStyle(), ncClose);
  EXPECT_FALSE(Doc.PreserveWhiteSpace());

  TXmlDocument Decl(nullptr, true, false, false, "");
  EXPECT_EQ(Decl.RootNodeCount(), 1);
  EXPECT_EQ(Decl.Charset(), "utf-8");
  EXPECT_EQ(Decl.VersionString(), "1.0");
  EXPECT_EQ(Decl.Root(), nullptr);
  EXPECT_TRUE(Decl.IsEmpty());
  EXPECT_EQ(Decl.Declaration()->DirectNodeCount(), 2);

  TXmlDocument Full(nullptr, true, true, true, "svg");
  EXPECT_EQ(xml_test::Shape(Full.DocType()), "!DOCTYPE svg SYSTEM Q\"\" Q\"\"");
  EXPECT_EQ(Full.Root()->Name(), "svg");
  EXPECT_FALSE(Full.IsEmpty());
  EXPECT_EQ(Full.RootContainerCount(), 3);
  EXPECT_EQ(Full.RootContainers(2), Full.Root());
  EXPECT_EQ(Full.RootContainers(3), nullptr);
  Full.New(false, false);
  EXPECT_EQ(Full.RootNodeCount(), 1);
  Full.New();
  EXPECT_EQ(Full.RootNodeCount(), 3);
}

TEST(Document, IsEmptyAndCommentString) {
  struct Case {
    const char* Input;
    bool Empty;
    const char* Comment;
  };
  const Case Cases[] = {
      {"<?xml version='1.0'?><!-- only -->", true, " only "},
      {"<svg/> ", false, ""},
      {"<svg></svg>", false, ""},
      {"<!--first--><svg/><!--second-->", false, "first"},
      {"<svg><!--inside--></svg><!--after-->", false, "after"},
      {"<!-- a &amp; b\nc -->", true, " a & b\r\nc "},
      {"just text", true, ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Input);
    XmlLoad L(C.Input);
    EXPECT_EQ(L.Doc->IsEmpty(), C.Empty);
    EXPECT_EQ(L.Doc->CommentString(), C.Comment);
  }
}

TEST(Document, RootQueriesAndStyleSheet) {
  XmlLoad L("<?xml version='1.0'?><!DOCTYPE svg><!--c--><svg/><g/>");
  EXPECT_EQ(L.Doc->Root()->Name(), "svg");
  EXPECT_NE(L.Doc->DocType(), nullptr);
  EXPECT_EQ(L.Doc->RootContainerCount(), 4);
  EXPECT_EQ(L.Doc->RootNodeCount(), 5);
  TXmlStyleSheet* S = L.Doc->StyleSheet();
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(L.Doc->RootNodes().Items(1), S);
  EXPECT_EQ(L.Doc->RootNodeCount(), 6);
  EXPECT_EQ(L.Doc->StyleSheet(), S);
  EXPECT_EQ(S->Name(), "xml-stylesheet");
  // Charset and VersionString look only at a declaration at index 0.
  XmlLoad Late("<!--c--><?xml version='1.0' encoding='x'?><svg/>");
  EXPECT_EQ(Late.Doc->Charset(), "");
  EXPECT_NE(Late.Doc->Declaration(), nullptr);
}

TEST(Document, ReloadReplacesEverything) {
  XmlLoad L("<a x='one' y='two'><b/></a>");
  std::int32_t FirstCount = L.Doc->SymbolTable().SymbolCount();
  EXPECT_EQ(FirstCount, 6);  // a x one y two b
  L.Load("<c z='z'/>");
  EXPECT_EQ(L.Tree(), "c(@z=z)");
  EXPECT_EQ(L.Doc->SymbolTable().SymbolCount(), 2);
  L.Doc->Clear();
  EXPECT_EQ(L.Doc->RootNodeCount(), 1);
  EXPECT_TRUE(L.Doc->IsEmpty());
}

TEST(Document, MessagesReachTheFirstHandler) {
  // A handler on a component that owns the document receives its messages, with
  // the reporting node as sender.
  std::vector<const void*> Senders;
  TDebugComponent Owner;
  Owner.SetOnDebugOut([&](const void* Sender, TXmlWarnStyle, const std::string& Text) {
    if (Text.rfind("illegal quote", 0) == 0) Senders.push_back(Sender);
  });
  TXmlDocument Doc(&Owner);
  Doc.ReadFromString("<svg 'a'='1'/>");
  ASSERT_EQ(Senders.size(), 1u);
  EXPECT_EQ(Senders[0], Doc.Root());
  // Without any handler, nothing happens at all.
  TXmlDocument Quiet;
  Quiet.ReadFromString("<svg 'a'='1'></x>");
  EXPECT_FALSE(Quiet.IsEmpty());
}

}  // namespace
