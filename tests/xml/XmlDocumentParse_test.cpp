// Document-level parsing: the root-level loop, text around the root, stray end
// tags, the declaration and the encoding it records or switches to, comment
// dropping, aborting from a handler, events and whole documents in UTF-16.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "XmlTestLoad.h"
#include "base/Streams.h"
#include "support/TestSupport.h"

using testing_support::TempDir;
using testing_support::U16;
using xml_test::ExpectLoads;
using xml_test::LoadOptions;
using xml_test::XmlLoad;

namespace {

TEST(ParseDocument, RootLevel) {
  ExpectLoads({
      {" \n\t<svg/>\n ", {}, "svg", ""},
      {"\xEF\xBB\xBF<svg/>", {}, "svg", ""},
      {"x &amp; <svg/> y ", {}, "T\"x &amp;\",svg,T\"y\"", ""},
      {" x <svg/>\n ", LoadOptions{.Preserve = true}, "T\" x \",svg,T\"\\n \"", ""},
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
      {"<!--a--><r/><!--b-->", LoadOptions{.DropComments = true}, "r",
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
      {"<?xml version='1.0'?>\n\n<svg/>", LoadOptions{.Preserve = true},
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
  XmlLoad L("<?xml version='1.1' encoding='iso-8859-1' standalone='no'?><svg/>");
  EXPECT_EQ(L.Doc->VersionString(), "1.1");
  EXPECT_EQ(L.Doc->Charset(), "iso-8859-1");
  ASSERT_NE(L.Doc->Declaration(), nullptr);
  EXPECT_EQ(L.Doc->Declaration()->Name(), "xml");
}

TEST(ParseDocument, RecordedEncoding) {
  struct EncodingCase {
    const char* Input;
    TXmlStringEncoding Encoding;
    std::int32_t CodePage;
  };
  const EncodingCase Cases[] = {
      {"<svg/> ", seUTF8, 65001},
      {"<?xml version='1.0' encoding='windows-1252'?><svg/>", seAnsi, 1252},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><svg/>", seAnsi, 28591},
      {"<?xml version='1.0' encoding='utf-16'?><svg/>", seUTF16LE, 1200},
      {"<?xml version='1.0' encoding='no-such'?><svg/>", seUTF8, 65001},
  };
  for (const EncodingCase& C : Cases) {
    SCOPED_TRACE(C.Input);
    XmlLoad L(C.Input);
    EXPECT_EQ(L.Doc->ExternalEncoding(), C.Encoding);
    EXPECT_EQ(L.Doc->ExternalCodepage(), C.CodePage);
  }
  // A parse that stops at a bad tag keeps what detection found.
  XmlLoad Stopped("<?xml version='1.0' encoding='windows-1252'?><svg/></x>");
  EXPECT_EQ(Stopped.Doc->ExternalEncoding(), seAnsi);
  EXPECT_EQ(Stopped.Doc->ExternalCodepage(), 0);
}

TEST(ParseDocument, DeclaredEncodingSwitchesDecoding) {
  const char* Input = "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9</r>";
  XmlLoad Switched(Input, LoadOptions{.SwitchEncoding = true});
  EXPECT_EQ(Switched.Doc->Root()->Value(), "\xC3\xA9");
  EXPECT_EQ(Switched.NodeMessages(),
            "I:declaration with encoding \"windows-1252\" and codepage 1252");
  XmlLoad Plain(Input);
  EXPECT_EQ(Plain.Doc->Root()->Value(), "\xE9");
}

TEST(ParseDocument, Utf16EndToEnd) {
  XmlLoad L(xml_test::ToUtf16LeWithBom(
      "<?xml version='1.0' encoding='utf-16'?>\r\n<!-- \xC3\xA9t\xC3\xA9 -->\r\n"
      "<svg width='10' id='\xE2\x82\xAC'>a\r\nb</svg>"));
  EXPECT_EQ(L.Tree(),
            "?xml(@version=1.0,@encoding=utf-16),C\" \xC3\xA9t\xC3\xA9 "
            "\",svg(@width=10,@id=\xE2\x82\xAC,T\"a\\nb\")");
  EXPECT_EQ(L.Doc->Root()->AttributeValueByName("ID"), "\xE2\x82\xAC");
  EXPECT_EQ(L.Doc->Root()->Value(), "a\r\nb");
  EXPECT_EQ(L.Doc->CommentString(), " \xC3\xA9t\xC3\xA9 ");
  EXPECT_EQ(L.Doc->ExternalEncoding(), seUTF16LE);
  EXPECT_EQ(L.MessageText(),
            "I:BOM with encoding utf-16 | I:declaration with encoding \"utf-16\" and codepage 0");
}

TEST(ParseDocument, AbortParsingAtRootLevel) {
  XmlLoad L;
  L.Doc->SetOnNodeLoaded([](TXmlDocument* Sender, TXmlNode* N) {
    if (N->ElementType() == xeComment) Sender->SetAbortParsing(true);
  });
  L.Load("<?xml version='1.0' encoding='windows-1252'?><!--a--><r/>");
  EXPECT_EQ(L.Tree(), "?xml(@version=1.0,@encoding=windows-1252),C\"a\"");
  // The encoding update at the end still runs.
  EXPECT_EQ(L.Doc->ExternalCodepage(), 1252);
  // The next load starts with the flag cleared.
  L.Doc->SetOnNodeLoaded(nullptr);
  L.Load("<!--a--><r/>");
  EXPECT_EQ(L.Tree(), "C\"a\",r");
}

TEST(ParseDocument, EventsAndDroppedComments) {
  XmlLoad L;
  std::string Log;
  L.Doc->SetOnNodeNew([&](TXmlDocument*, TXmlNode* N) { Log.append("+").append(N->Name()); });
  L.Doc->SetOnNodeLoaded([&](TXmlDocument*, TXmlNode* N) { Log.append("-").append(N->Name()); });
  std::vector<std::int64_t> Progress;
  L.Doc->SetOnProgress([&](TXmlDocument*, std::int64_t P) { Progress.push_back(P); });
  L.Load("t<!--a--><r/>", LoadOptions{.DropComments = true});
  EXPECT_EQ(Log, "+Text-Text+Comment-Comment+r-r");
  EXPECT_EQ(L.Tree(), "T\"t\",r");
  EXPECT_EQ(Progress, (std::vector<std::int64_t>{13, 13}));  // the element, then the load
}

TEST(ParseDocument, ShortAndBinaryStreams) {
  XmlLoad Short("<a/>");
  EXPECT_EQ(Short.Tree(), "");
  EXPECT_TRUE(Short.Doc->IsEmpty());
  XmlLoad Binary("$BXM\x01\x02\x03\x04\x05");
  EXPECT_EQ(Binary.Tree(), "");
  EXPECT_EQ(Binary.MessageText(), "F:binary XML is not supported");
}

TEST(ParseDocument, ExternalEncodingSetters) {
  XmlLoad L("<svg/> ");
  L.Messages.clear();
  L.Doc->SetExternalEncoding(seAnsi);
  EXPECT_EQ(L.MessageText(), "F:external encoding \"ansi\" is not allowed (use ExternalCodepage)");
  EXPECT_EQ(L.Doc->RootNodeCount(), 1);
  L.Doc->SetExternalEncoding(seUTF16LE);
  EXPECT_EQ(L.Doc->ExternalCodepage(), 1200);
  EXPECT_EQ(L.Doc->Charset(), "utf-16");
  EXPECT_EQ(L.Doc->RootNodeCount(), 2);  // a declaration was put in front
  L.Doc->SetExternalCodepage(1252);
  EXPECT_EQ(L.Doc->ExternalEncoding(), seAnsi);
  EXPECT_EQ(L.Doc->Charset(), "windows-1252");
  L.Messages.clear();
  L.Doc->SetExternalCodepage(12345);
  EXPECT_EQ(L.MessageText(), "F:external codepage \"12345\" not found");
  L.Doc->SetExternalCodepage(65001);
  EXPECT_EQ(L.Doc->ExternalEncoding(), seUTF8);
  EXPECT_EQ(L.Doc->Charset(), "utf-8");
  EXPECT_EQ(L.Doc->RootNodeCount(), 2);
}

// A stream that hands out its bytes a few at a time (after a first read long
// enough for encoding detection), so that every read of the reader meets chunk
// ends at other places.
class TrickleStream : public TStream {
 public:
  TrickleStream(std::string_view AText, std::size_t AStep) : FText(AText), FStep(AStep) {}
  std::size_t Read(void* Buffer, std::size_t Count) override {
    std::size_t N = std::min({Count, FText.size() - FPos, FPos == 0 ? std::size_t{16} : FStep});
    std::memcpy(Buffer, FText.data() + FPos, N);
    FPos += N;
    return N;
  }
  std::int64_t Position() const override { return static_cast<std::int64_t>(FPos); }
  void Seek(std::int64_t P) override { FPos = static_cast<std::size_t>(P); }
  std::int64_t Size() const override { return static_cast<std::int64_t>(FText.size()); }

 private:
  std::string_view FText;
  std::size_t FStep;
  std::size_t FPos = 0;
};

TEST(ParseDocument, ChunkEndsChangeNothing) {
  const std::string Text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- made by hand -->\r\n"
      "<!DOCTYPE svg PUBLIC '-//A//EN' 'b.dtd' [\n<!ENTITY e 'v'>\n<!ELEMENT svg ANY>\n]>\n"
      "<svg width='10' xlink:href = \"#a&amp;b\"  height='2'>\n  <g><path d='M 0,0 L 1,1'/>"
      "<text>line one\r\nline two</text><![CDATA[<raw>]]><?pi x?></g>\n"
      "  <r><p><br>t</p></r><a 'q'=1>x</A><unclosed>\n</svg>tail";
  for (LoadOptions Options : {LoadOptions{}, LoadOptions{.Fix = true, .Preserve = true}}) {
    XmlLoad Whole(Text, Options);
    for (std::size_t Step = 1; Step <= 7; ++Step) {
      SCOPED_TRACE(Step);
      XmlLoad L;
      L.Doc->SetFixStructuralErrors(Options.Fix);
      L.Doc->SetXmlFormat(Options.Preserve ? xfPreserve : xfCompact);
      TrickleStream S(Text, Step);
      L.Doc->LoadFromStream(S);
      EXPECT_EQ(L.Tree(), Whole.Tree());
      EXPECT_EQ(L.MessageText(), Whole.MessageText());
    }
  }
}

TEST(ParseDocument, FromStreamPositionAndFile) {
  TMemoryStream S;
  std::string Text = "junk<svg id='a'/>";
  S.Write(Text.data(), Text.size());
  S.Seek(4);
  TXmlDocument Doc;
  Doc.LoadFromStream(S);
  ASSERT_NE(Doc.Root(), nullptr);
  EXPECT_EQ(Doc.Root()->AttributeValueByName("id"), "a");
  EXPECT_FALSE(Doc.LoadFromFile(u"/nonexistent/dir/file.svg"));
  TempDir Dir;
  ASSERT_TRUE(Doc.LoadFromFile(U16(Dir.Write("a.svg", "<svg id='f'>\r\n</svg>"))));
  EXPECT_EQ(Doc.Root()->AttributeValueByName("id"), "f");
}

}  // namespace
