// Filtered loads: a load with a node filter gives the whole tree with exactly
// the declined nodes (and everything inside declined elements) left out, for
// markup that breaks off, ends early or splits across every chunk boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "XmlTestLoad.h"
#include "base/Blanks.h"
#include "base/Streams.h"
#include "xml/XmlNodes.h"

namespace {

using xml_test::Shape;

// A filter that declines by kind and name alone, so that the whole tree can be
// pruned by the same rule.
class TRuleFilter : public TXmlNodeFilter {
 public:
  using TRule = std::function<bool(TXmlElementType, std::string_view)>;
  explicit TRuleFilter(TRule ARule) : FRule(std::move(ARule)) {}
  bool Accept(const TXmlNode*, TXmlElementType AType, std::string_view AName) override {
    return FRule(AType, AName);
  }

 private:
  TRule FRule;
};

// The head a filtered load offers of a comment's text: its first line after
// the blanks it begins with.
std::string_view CommentHead(std::string_view AText) {
  while (!AText.empty() && blanks::IsXmlSpace(static_cast<unsigned char>(AText.front())))
    AText.remove_prefix(1);
  return AText.substr(0, std::min(AText.find_first_of("\r\n"), cCommentHeadBytes));
}

// The names the rule sees: elements and attributes by name, comments by their
// head, others unnamed.
std::string_view OfferedName(const TXmlNode* ANode) {
  const TXmlElementType t = ANode->ElementType();
  if (t == xeElement) return static_cast<const TXmlElement*>(ANode)->NameView();
  if (t == xeAttribute) return static_cast<const TXmlAttribute*>(ANode)->NameView();
  if (t == xeComment) return CommentHead(static_cast<const TXmlCharData*>(ANode)->RawValueView());
  return {};
}

// A kept comment holds the head it was offered by.
void KeepCommentHead(TXmlNode* ANode) {
  if (ANode->ElementType() != xeComment) return;
  auto* comment = static_cast<TXmlCharData*>(ANode);
  comment->SetRawValue(std::string(CommentHead(comment->RawValueView())));
}

// Removes what the rule declines from the children of elements, depth first.
void Prune(TXmlNode* ANode, const TRuleFilter::TRule& ARule) {
  if (ANode->ElementType() != xeElement) return;
  for (std::int32_t i = ANode->NodeCount(); i-- > 0;) {
    TXmlNode* child = ANode->Nodes(i);
    if (!ARule(child->ElementType(), OfferedName(child))) {
      ANode->NodeExtract(child);
    } else {
      KeepCommentHead(child);
      Prune(child, ARule);
    }
  }
}

std::string RootShape(const TXmlDocument& ADoc) {
  std::string out;
  for (TXmlNode* n : ADoc.RootNodes()) out += Shape(n) + ",";
  return out;
}

std::string WholeTreePruned(std::string_view AText, const TRuleFilter::TRule& ARule) {
  TXmlDocument doc;
  doc.ReadFromString(AText);
  TXmlNodeList& roots = doc.RootNodes();
  for (std::int32_t i = roots.Count(); i-- > 0;) {
    TXmlNode* n = roots.Items(i);
    if (!ARule(n->ElementType(), OfferedName(n))) {
      roots.Extract(i);
    } else {
      KeepCommentHead(n);
      Prune(n, ARule);
    }
  }
  return RootShape(doc);
}

std::string Filtered(std::string_view AText, const TRuleFilter::TRule& ARule,
                     std::int32_t AChunkSize) {
  TRuleFilter filter(ARule);
  TXmlDocument doc;
  doc.SetNodeFilter(&filter);
  doc.SetParserChunkSize(AChunkSize);
  doc.ReadFromString(AText);
  return RootShape(doc);
}

bool NotNamedX(TXmlElementType, std::string_view AName) {
  return !AName.starts_with("x");
}

TEST(NodeFilter, FilteredLoadIsTheWholeTreeWithoutWhatWasDeclined) {
  struct TRule {
    const char* Label;
    TRuleFilter::TRule Accept;
  };
  const TRule rules[] = {
      {"names starting with x", NotNamedX},
      {"no text, no comments",
       [](TXmlElementType AT, std::string_view) { return AT != xeCharData && AT != xeComment; }},
      {"elements only at the root, attributes named a",
       [](TXmlElementType AT, std::string_view AN) {
         return AT == xeElement || (AT == xeAttribute && AN == "a");
       }},
      {"nothing", [](TXmlElementType, std::string_view) { return false; }},
      {"comments by their head",
       [](TXmlElementType AT, std::string_view AN) { return AT != xeComment || AN == "c "; }},
  };
  const char* const documents[] = {
      "<r a='1' xb=\"2\"><x><y><z/></y></x>text<k/></r>",
      "<?xml version='1.0'?><!-- c --><r><x a='>' b=\"/\">in<!-- > --><![CDATA[<x/>]]></x></r>",
      "<!--\r\n\t c \n more - -- --><r><!--c \rx--><!-- c--></r>",
      "<r><?pi x?><k>v</k></r><x/><r2/>",
      // An illegal tag inside declined markup breaks off every open element.
      "<r><x><y><!DOCTYPE d></y></x><k/></r><after/>",
      "<r><x><?xml version='1.0'?></x><k/></r><after/>",
      // End tags that do not match still close one element each.
      "<r><x><y></q></x><k/></r>",
      // Broken start tags, stray quotes, values without quotes, a missing "=".
      "<r><x \"a\" b=c d='e'/ ><x f ><k/></r>",
      "<r><x a='1'!><k/><x?><k2/></r>",
      "<r><x ?><k a='1'/></r><y b='2'/>",
      "<r><x><y !><z ?><k a='1'/></x><k2 b='2'/></r>",
      "<r><x/ a='1'><k c=\"3\"/><x a = '1' b= \"2\" /><k2/></r>",
      // Unterminated markup at every depth.
      "<r><x><y><!-- open",
      "<r><x a='open",
      "<r><x",
      "<r><x></x",
      "<r><x><![CDATA[ open",
      "<r>text <x/> more<x>t</x>tail",
      "<!DOCTYPE r [<!ENTITY e 'v'> <!ELEMENT x ANY>]><r><x/></r>",
      "<r><x><x><x><x><x>deep</x></x></x></x></x><k/></r>",
      "<x>declined root</x><r/>",
      "",
      "<",
      "<r><",
      "<r></",
      "<r><x/><!-x><k/></r>",
  };
  for (const TRule& rule : rules) {
    for (const char* document : documents) {
      const std::string expected = WholeTreePruned(document, rule.Accept);
      // Chunks from 5 bytes on (the first read decides the encoding from 5),
      // so that markup splits at every point.
      for (std::int32_t chunk : {5, 6, 7, 11, 64, 256}) {
        SCOPED_TRACE(testing::Message() << rule.Label << " | " << document << " | chunk " << chunk);
        EXPECT_EQ(Filtered(document, rule.Accept, chunk), expected);
      }
    }
  }
}

// A declined declaration still tells the encoding it names, as a kept one does.
TEST(NodeFilter, DeclinedDeclarationTellsItsEncoding) {
  const char* const documents[] = {
      "<?xml version='1.0' encoding='windows-1252'?><r/>",
      "<?xml encoding = \"ISO-8859-1\" version='1.0' encoding='utf-16'?><r/>",
      "<?xml version='1.0'?><r/>",
      "<?xml version='1.0' encoding='koi8-r'?><?xml encoding='big5'?><r/>",
      // What follows the encoding is read as a kept declaration reads it.
      "<?xml encoding='utf-8' version='1?>0' standalone=\"no?>\"?><r a='1'/>",
  };
  for (const char* document : documents) {
    SCOPED_TRACE(document);
    TXmlDocument whole;
    whole.ReadFromString(document);
    TRuleFilter filter(
        [](TXmlElementType AType, std::string_view) { return AType != xeDeclaration; });
    TXmlDocument filtered;
    filtered.SetNodeFilter(&filter);
    filtered.ReadFromString(document);
    EXPECT_EQ(filtered.ExternalCodepage(), whole.ExternalCodepage());
    EXPECT_EQ(filtered.ExternalEncoding(), whole.ExternalEncoding());
    EXPECT_EQ(filtered.Declaration(), nullptr);
    // The same nodes follow it, read from the same place.
    std::int32_t declarations = 0;
    for (TXmlNode* node : whole.RootNodes()) declarations += node->ElementType() == xeDeclaration;
    EXPECT_EQ(filtered.RootNodes().Count() + declarations, whole.RootNodes().Count());
  }
}

// A filter that declines the content of a huge element keeps the load's memory
// flat: nothing of the declined content stays in the tree or the string table.
TEST(NodeFilter, DeclinedContentLeavesNothingBehind) {
  std::string text = "<r><x>";
  for (int i = 0; i < 20000; ++i) text += "<g id='" + std::to_string(i) + "'/><!--c-->t";
  text += "</x><k a='1'/></r>";
  TRuleFilter filter(NotNamedX);
  TXmlDocument doc;
  doc.SetNodeFilter(&filter);
  doc.ReadFromString(text);
  EXPECT_EQ(RootShape(doc), "r(k(@a=1)),");
  EXPECT_LE(doc.SymbolTable().SymbolCount(), 4);
}

// Looking into declined elements, value heads and comments judged by their
// text: a filter that keeps "i" elements wherever they are (as children of the
// nearest kept element), the head of their "h" values and the comments that
// say "keep".
class TLookingFilter : public TXmlNodeFilter {
 public:
  bool Accept(const TXmlNode* AParent, TXmlElementType AType, std::string_view AName) override {
    if (AType == xeComment) return AName.starts_with("keep");
    if (AType == xeCharData || AType == xeCData) return AName.empty();
    if (AParent == nullptr) return AType == xeElement;
    if (AType == xeAttribute) return AName == "h";
    return AType == xeElement && AName == "i";
  }
  bool LooksInto(const TXmlNode*, std::string_view AName) override { return AName != "skip"; }
  bool AcceptInside(const TXmlNode*, std::string_view AName) override { return AName == "i"; }
  std::size_t KeptValueBytes(const TXmlNode*, std::string_view) override { return 4; }
  std::size_t KeptTextBytes(const TXmlNode*) override { return 4; }
};

TEST(NodeFilter, LooksIntoDeclinedElementsAndKeepsHeads) {
  const char* const cases[][2] = {
      {"<r><!-- drop --><!-- keep me --><g a='1'><g><i h='abcdefgh' z='2'>in<i/></i></g>t"
       "<!-- keep not --></g><i h='xy'/></r>",
       "r(C\"keep me \",i(@h=abcd,T\"in\",i),i(@h=xy)),"},
      // Of a text run and a CDATA section only the head is kept.
      {"<r><i>abcdefgh</i><i><![CDATA[123456]]>tail<i>xy  </i></i><i>long",
       "r(i(T\"abcd\"),i(D\"1234\",T\"tail\",i(T\"xy\")),i(T\"long\")),"},
      {"<r><skip><i/></skip><g/><g><skip><g><i/></g></skip><i/></g></r>", "r(i),"},
      // Nesting looked into closes as declined nesting does (an end tag closes
      // one element, whatever its name), unterminated too.
      {"<r><g><g><i h='12345'></g><i/></g><i/></r>", "r(i(@h=1234),i,i),"},
      {"<r><g><g><i h='1'>", "r(i(@h=1)),"},
      {"<r><g h='1234567'", "r,"},
  };
  for (const auto& [document, expected] : cases) {
    for (std::int32_t chunk : {5, 6, 7, 11, 64, 256}) {
      SCOPED_TRACE(testing::Message() << document << " | chunk " << chunk);
      TLookingFilter filter;
      TXmlDocument doc;
      doc.SetNodeFilter(&filter);
      doc.SetParserChunkSize(chunk);
      doc.ReadFromString(document);
      EXPECT_EQ(RootShape(doc), expected);
    }
  }
}

// Deep nesting looked into costs a count: no stack, no nodes, no strings.
TEST(NodeFilter, DeepNestingLookedIntoCostsACount) {
  constexpr int cDepth = 200000;
  std::string text = "<r>";
  for (int i = 0; i < cDepth; ++i) text += "<g a='1'>";
  text += "<i h='data:image/png,AAAA'/>";
  for (int i = 0; i < cDepth; ++i) text += "</g>";
  text += "</r>";
  TLookingFilter filter;
  TXmlDocument doc;
  doc.SetNodeFilter(&filter);
  doc.ReadFromString(text);
  EXPECT_EQ(RootShape(doc), "r(i(@h=data)),");
  EXPECT_LE(doc.SymbolTable().SymbolCount(), 4);
}

}  // namespace

// Content looked into is skimmed past all but the elements the filter may take
// inside ("i", or any prefix ":i"): nothing is taken from a comment, CDATA
// section, instruction or attribute value, and markup that breaks content off
// breaks it off where it would, across every chunk boundary.
class TSkimmingFilter : public TLookingFilter {
 public:
  bool Named = true;
  // Inside, every element it does not take is looked into.
  bool LooksInto(const TXmlNode*, std::string_view) override { return true; }
  bool AcceptInside(const TXmlNode*, std::string_view AName) override {
    return AName == "i" || AName.ends_with(":i");
  }
  bool TakesInsideOnly(std::string_view& AName) override {
    AName = "i";
    return Named;
  }
};

TEST(NodeFilter, SkimsContentLookedIntoUpToWhatMayBeTaken) {
  const char* const cases[][2] = {
      {"<r><g><!-- <i h='1'/> --><![CDATA[<i h='2'/>]]><?pi <i h='3'/> ?>"
       "<g t=\"<i h='4'/>\" u='>' v=x w = '<i/>'><x:i h='5'/><I h='6'/><ix h='7'/></g>"
       "<i h='8'/></g><i h='9'/></r>",
       "r(x:i(@h=5),i(@h=8),i(@h=9)),"},
      // The declaration breaks all content off; the root level reads on after
      // its "<?xml", so the rest of it is a text run there.
      {"<r><g><a>t<?xml version='1.0'?><i/></a></g><i h='9'/></r>", "r,T\"version='1.0'?>\",i,"},
      {"<r><g><a b='1' / ><!x><i/></a></g><i/></r>", "r,T\">\",i,"},
      {"<r><g><!-- <i/> -- ><i h='1'/></g><i/></r>", "r,"},
  };
  for (const auto& [document, expected] : cases) {
    for (bool named : {true, false}) {
      for (std::int32_t chunk : {5, 6, 7, 11, 64, 256}) {
        SCOPED_TRACE(testing::Message() << document << " | chunk " << chunk << " named " << named);
        TSkimmingFilter filter;
        filter.Named = named;
        TXmlDocument doc;
        doc.SetNodeFilter(&filter);
        doc.SetParserChunkSize(chunk);
        doc.ReadFromString(document);
        EXPECT_EQ(RootShape(doc), expected);
      }
    }
  }
}
