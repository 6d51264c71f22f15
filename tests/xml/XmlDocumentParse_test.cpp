// Document-level parsing: the root-level loop, text around the root, stray end
// tags, the declaration and the encoding it records or switches to, comment
// dropping, aborting from a handler, events and whole documents in UTF-16.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "XmlTestLoad.h"
#include "base/Streams.h"
#include "support/TestSupport.h"

using testing_support::TTempDir;
using testing_support::U16;
using xml_test::ExpectLoads;
using xml_test::TLoadOptions;
using xml_test::TXmlLoad;

namespace {

TEST(ParseDocument, RootLevel) {
  ExpectLoads({
      {" \n\t<svg/>\n ", {}, "svg", ""},
      {"\xEF\xBB\xBF<svg/>", {}, "svg", ""},
      {"x &amp; <svg/> y ", {}, "T\"x &amp;\",svg,T\"y\"", ""},
      {" x <svg/>\n ", TLoadOptions{.Preserve = true}, "T\" x \",svg,T\"\\n \"", ""},
      // A second top-level element is read like the first.
      {"<a/> <b/>", {}, "a,b", ""},
      // A stray end tag at the root ends the parse.
      {"<a/></b><c/>", {}, "a", "W:unsupported tag (\"EndTag\") at pos 6"},
      {"<svg/><", {}, "svg", "W:illegal tag (\"<\") at pos 7"},
      {"<svg/><!foo>",
       {},
       "svg",
       "F:illegal tag (\"f\") at pos 9 | W:illegal tag (\"<\") at pos 9"},
      {"<?pi data ?><!--c--><![CDATA[x]]><r/>", {}, "P\"pi data \",C\"c\",D\"x\",r", ""},
      {"<!--a--><r/><!--b-->", TLoadOptions{.DropComments = true}, "r",
       "I:option DropCommentsOnParse is true, deleting comment | "
       "I:option DropCommentsOnParse is true, deleting comment"},
  });
}

TEST(ParseDocument, Declaration) {
  ExpectLoads({
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg/>",
       {},
       "?xml(@version=1.0,@encoding=UTF-8),svg",
       "I:declaration with encoding \"UTF-8\" and codepage 0"},
      // One line end after "?>" belongs to the declaration.
      {"<?xml version='1.0'?>\n\n<svg/>", TLoadOptions{.Preserve = true},
       "?xml(@version=1.0),T\"\\n\",svg", "I:declaration with encoding \"\" and codepage 0"},
      {"<?xml version=\"1.0\"><svg/>",
       {},
       "?xml(@version=1.0),svg",
       "W:illegal end tag (\">\") at line 0 (streampos 20) | "
       "I:declaration with encoding \"\" and codepage 0"},
      {"<?xml-stylesheet href='a.css' type='text/css'?><svg/>",
       {},
       "?xml-stylesheet(@href=a.css,@type=text/css),svg",
       ""},
  });
  TXmlLoad l("<?xml version='1.1' encoding='iso-8859-1' standalone='no'?><svg/>");
  EXPECT_EQ(l.Doc->VersionString(), "1.1");
  EXPECT_EQ(l.Doc->Charset(), "iso-8859-1");
  ASSERT_NE(l.Doc->Declaration(), nullptr);
  EXPECT_EQ(l.Doc->Declaration()->Name(), "xml");
}

TEST(ParseDocument, RecordedEncoding) {
  struct TEncodingCase {
    const char* Input;
    TXmlStringEncoding Encoding;
    std::int32_t CodePage;
  };
  const TEncodingCase cases[] = {
      {"<svg/> ", seUTF8, 65001},
      {"<?xml version='1.0' encoding='windows-1252'?><svg/>", seAnsi, 1252},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><svg/>", seAnsi, 28591},
      {"<?xml version='1.0' encoding='utf-16'?><svg/>", seUTF16LE, 1200},
      {"<?xml version='1.0' encoding='no-such'?><svg/>", seUTF8, 65001},
  };
  for (const TEncodingCase& c : cases) {
    SCOPED_TRACE(c.Input);
    TXmlLoad l(c.Input);
    EXPECT_EQ(l.Doc->ExternalEncoding(), c.Encoding);
    EXPECT_EQ(l.Doc->ExternalCodepage(), c.CodePage);
  }
  // A parse that stops at a bad tag keeps what detection found.
  TXmlLoad stopped("<?xml version='1.0' encoding='windows-1252'?><svg/></x>");
  EXPECT_EQ(stopped.Doc->ExternalEncoding(), seAnsi);
  EXPECT_EQ(stopped.Doc->ExternalCodepage(), 0);
}

TEST(ParseDocument, DeclaredEncodingSwitchesDecoding) {
  const char* input = "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9</r>";
  TXmlLoad switched(input, TLoadOptions{.SwitchEncoding = true});
  EXPECT_EQ(switched.Doc->Root()->Value(), "\xC3\xA9");
  EXPECT_EQ(switched.NodeMessages(),
            "I:declaration with encoding \"windows-1252\" and codepage 1252");
  TXmlLoad plain(input);
  EXPECT_EQ(plain.Doc->Root()->Value(), "\xE9");
}

TEST(ParseDocument, Utf16EndToEnd) {
  TXmlLoad l(xml_test::ToUtf16LeWithBom(
      "<?xml version='1.0' encoding='utf-16'?>\r\n<!-- \xC3\xA9t\xC3\xA9 -->\r\n"
      "<svg width='10' id='\xE2\x82\xAC'>a\r\nb</svg>"));
  EXPECT_EQ(l.Tree(),
            "?xml(@version=1.0,@encoding=utf-16),C\" \xC3\xA9t\xC3\xA9 "
            "\",svg(@width=10,@id=\xE2\x82\xAC,T\"a\\nb\")");
  EXPECT_EQ(l.Doc->Root()->AttributeValueByName("ID"), "\xE2\x82\xAC");
  EXPECT_EQ(l.Doc->Root()->Value(), "a\r\nb");
  EXPECT_EQ(l.Doc->CommentString(), " \xC3\xA9t\xC3\xA9 ");
  EXPECT_EQ(l.Doc->ExternalEncoding(), seUTF16LE);
  EXPECT_EQ(l.MessageText(),
            "I:BOM with encoding utf-16 | I:declaration with encoding \"utf-16\" and codepage 0");
}

TEST(ParseDocument, AbortParsingAtRootLevel) {
  TXmlLoad l;
  l.Doc->SetOnNodeLoaded([](TXmlDocument* ASender, TXmlNode* ANode) {
    if (ANode->ElementType() == xeComment) ASender->SetAbortParsing(true);
  });
  l.Load("<?xml version='1.0' encoding='windows-1252'?><!--a--><r/>");
  EXPECT_EQ(l.Tree(), "?xml(@version=1.0,@encoding=windows-1252),C\"a\"");
  // The encoding update at the end still runs.
  EXPECT_EQ(l.Doc->ExternalCodepage(), 1252);
  // The next load starts with the flag cleared.
  l.Doc->SetOnNodeLoaded(nullptr);
  l.Load("<!--a--><r/>");
  EXPECT_EQ(l.Tree(), "C\"a\",r");
}

TEST(ParseDocument, EventsAndDroppedComments) {
  TXmlLoad l;
  std::string log;
  l.Doc->SetOnNodeNew(
      [&](TXmlDocument*, TXmlNode* ANode) { log.append("+").append(ANode->Name()); });
  l.Doc->SetOnNodeLoaded(
      [&](TXmlDocument*, TXmlNode* ANode) { log.append("-").append(ANode->Name()); });
  std::vector<std::int64_t> progress;
  l.Doc->SetOnProgress([&](TXmlDocument*, std::int64_t AP) { progress.push_back(AP); });
  l.Load("t<!--a--><r/>", TLoadOptions{.DropComments = true});
  EXPECT_EQ(log, "+Text-Text+Comment-Comment+r-r");
  EXPECT_EQ(l.Tree(), "T\"t\",r");
  EXPECT_EQ(progress, (std::vector<std::int64_t>{13, 13}));  // the element, then the load
}

TEST(ParseDocument, ShortAndBinaryStreams) {
  TXmlLoad shortDoc("<a/>");
  EXPECT_EQ(shortDoc.Tree(), "");
  EXPECT_TRUE(shortDoc.Doc->IsEmpty());
  TXmlLoad binary("$BXM\x01\x02\x03\x04\x05");
  EXPECT_EQ(binary.Tree(), "");
  EXPECT_EQ(binary.MessageText(), "F:binary XML is not supported");
}

TEST(ParseDocument, ExternalEncodingSetters) {
  TXmlLoad l("<svg/> ");
  l.Messages.clear();
  l.Doc->SetExternalEncoding(seAnsi);
  EXPECT_EQ(l.MessageText(), "F:external encoding \"ansi\" is not allowed (use ExternalCodepage)");
  EXPECT_EQ(l.Doc->RootNodeCount(), 1);
  l.Doc->SetExternalEncoding(seUTF16LE);
  EXPECT_EQ(l.Doc->ExternalCodepage(), 1200);
  EXPECT_EQ(l.Doc->Charset(), "utf-16");
  EXPECT_EQ(l.Doc->RootNodeCount(), 2);  // a declaration was put in front
  l.Doc->SetExternalCodepage(1252);
  EXPECT_EQ(l.Doc->ExternalEncoding(), seAnsi);
  EXPECT_EQ(l.Doc->Charset(), "windows-1252");
  l.Messages.clear();
  l.Doc->SetExternalCodepage(12345);
  EXPECT_EQ(l.MessageText(), "F:external codepage \"12345\" not found");
  l.Doc->SetExternalCodepage(65001);
  EXPECT_EQ(l.Doc->ExternalEncoding(), seUTF8);
  EXPECT_EQ(l.Doc->Charset(), "utf-8");
  EXPECT_EQ(l.Doc->RootNodeCount(), 2);
}

// A stream that hands out its bytes a few at a time (after a first read long
// enough for encoding detection), so that every read of the reader meets chunk
// ends at other places.
class TTrickleStream : public TStream {
 public:
  TTrickleStream(std::string_view AText, std::size_t AStep) : FText(AText), FStep(AStep) {}
  std::size_t Read(void* ABuffer, std::size_t ACount) override {
    std::size_t n = std::min({ACount, FText.size() - FPos, FPos == 0 ? std::size_t{16} : FStep});
    std::memcpy(ABuffer, FText.data() + FPos, n);
    FPos += n;
    return n;
  }
  std::int64_t Position() const override { return static_cast<std::int64_t>(FPos); }
  void Seek(std::int64_t AP) override { FPos = static_cast<std::size_t>(AP); }
  std::int64_t Size() const override { return static_cast<std::int64_t>(FText.size()); }

 private:
  std::string_view FText;
  std::size_t FStep;
  std::size_t FPos = 0;
};

TEST(ParseDocument, ChunkEndsChangeNothing) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- made by hand -->\r\n"
      "<!DOCTYPE svg PUBLIC '-//A//EN' 'b.dtd' [\n<!ENTITY e 'v'>\n<!ELEMENT svg ANY>\n]>\n"
      "<svg width='10' xlink:href = \"#a&amp;b\"  height='2'>\n  <g><path d='M 0,0 L 1,1'/>"
      "<text>line one\r\nline two</text><![CDATA[<raw>]]><?pi x?></g>\n"
      "  <r><p><br>t</p></r><a 'q'=1>x</A><unclosed>\n</svg>tail";
  for (TLoadOptions options : {TLoadOptions{}, TLoadOptions{.Fix = true, .Preserve = true}}) {
    TXmlLoad whole(text, options);
    for (std::size_t step = 1; step <= 7; ++step) {
      SCOPED_TRACE(step);
      TXmlLoad l;
      l.Doc->SetFixStructuralErrors(options.Fix);
      l.Doc->SetXmlFormat(options.Preserve ? xfPreserve : xfCompact);
      TTrickleStream s(text, step);
      l.Doc->LoadFromStream(s);
      EXPECT_EQ(l.Tree(), whole.Tree());
      EXPECT_EQ(l.MessageText(), whole.MessageText());
    }
  }
}

TEST(ParseDocument, FromStreamPositionAndFile) {
  TMemoryStream s;
  std::string text = "junk<svg id='a'/>";
  s.Write(text.data(), text.size());
  s.Seek(4);
  TXmlDocument doc;
  doc.LoadFromStream(s);
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.Root()->AttributeValueByName("id"), "a");
  EXPECT_FALSE(doc.LoadFromFile(u"/nonexistent/dir/file.svg"));
  TTempDir dir;
  ASSERT_TRUE(doc.LoadFromFile(U16(dir.Write("a.svg", "<svg id='f'>\r\n</svg>"))));
  EXPECT_EQ(doc.Root()->AttributeValueByName("id"), "f");
}

}  // namespace
