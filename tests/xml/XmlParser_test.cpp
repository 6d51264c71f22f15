// The parser input: encoding detection and BOM removal, chunked decoding with line
// ends normalised across chunk boundaries, the read operations, ReadOpenTag, and
// Position/LineNumber across flushes. Sources are fed through memory views.
#include "xml/XmlParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "base/Streams.h"

namespace {

using xml_test::TCapturingOwner;
using xml_test::TMessage;

// A parser over bytes, with a capturing owner; ReadBOM has run.
struct TInput {
  explicit TInput(std::string ABytes, std::int32_t AChunk = 256)
      : Data(std::move(ABytes)),
        Stream(TMemoryStream::View(Data)),
        Parser(*Stream, AChunk, &Owner) {
    Parser.ReadBOM();
    Detection = Owner.Messages;
    Owner.Messages.clear();
  }
  // Every decoded byte from the position on, one NextChar at a time.
  std::string ReadAll() {
    std::string out;
    while (Parser.MakeDataAvailable() > 0) out.push_back(Parser.NextChar());
    return out;
  }
  std::string Data;
  TCapturingOwner Owner;
  std::unique_ptr<TMemoryStream> Stream;
  TXmlParser Parser;
  std::vector<TMessage> Detection;  // messages of ReadBOM
};

std::string Utf16LE(std::string_view AAscii) {
  std::string out;
  for (char c : AAscii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

std::string Utf16BE(std::string_view AAscii) {
  std::string out;
  for (char c : AAscii) {
    out.push_back('\0');
    out.push_back(c);
  }
  return out;
}

std::string Raw(std::initializer_list<int> ABytes) {
  std::string out;
  for (int b : ABytes) out.push_back(static_cast<char>(b));
  return out;
}

TEST(XmlParser, DetectsEncodingByTheFirstBytes) {
  struct TCase {
    const char* Label;
    std::string Bytes;
    TXmlStringEncoding Encoding;
    TXmlWarnStyle Level;  // of the one detection message, when there is one
    std::string TMessage;
    std::string Text;
  };
  const std::string u32le = Raw({0x3C, 0, 0, 0, 0x61, 0, 0, 0});
  const TCase cases[] = {
      {"declaration", "<?xml version=\"1.0\"?><a/>", seAnsi, wsInfo, "",
       "<?xml version=\"1.0\"?><a/>"},
      {"UTF-8 BOM", "\xEF\xBB\xBF<svg/>", seUTF8, wsInfo, "BOM with encoding utf-8", "<svg/>"},
      {"no declaration", "<svg/>", seUTF8, wsWarn, "unknown encoding", "<svg/>"},
      {"blanks first", "  \r\n<svg/>", seUTF8, wsWarn, "unknown encoding", "  \n<svg/>"},
      {"UTF-16LE BOM", "\xFF\xFE" + Utf16LE("<a>\xE9</a>"), seUTF16LE, wsInfo,
       "BOM with encoding utf-16", "<a>\xC3\xA9</a>"},
      {"UTF-16BE BOM", "\xFE\xFF" + Utf16BE("<a>\xE9</a>"), seUTF16BE, wsInfo,
       "BOM with encoding unicodeFFFE", "<a>\xC3\xA9</a>"},
      {"UTF-16LE", Utf16LE("<?xml?>"), seUTF16LE, wsInfo, "", "<?xml?>"},
      {"UTF-16BE", Utf16BE("<?xml?>"), seUTF16BE, wsInfo, "", "<?xml?>"},
      {"UTF-32BE BOM", Raw({0, 0, 0xFE, 0xFF, 0, 0, 0, 0x3C}), seUTF32BE, wsFail,
       "unsupported encoding (utf-32BE)", ""},
      {"UTF-32LE BOM", Raw({0xFF, 0xFE, 0, 0, 0x3C, 0, 0, 0}), seUTF32LE, wsFail,
       "unsupported encoding (utf-32)", ""},
      {"UTF-16LE BOM then U+0000", "\xFF\xFE" + Utf16LE(std::string("\0<a/>", 5)), seUTF32LE,
       wsFail, "unsupported encoding (utf-32)", ""},
      {"UCS-4 2143 BOM", Raw({0, 0, 0xFF, 0xFE, 0, 0, 0x3C, 0}), seUCS4_2143, wsFail,
       "unsupported encoding (ucs4_2143)", ""},
      {"UCS-4 3412 BOM", Raw({0xFE, 0xFF, 0, 0, 0, 0x3C, 0, 0}), seUCS4_3412, wsFail,
       "unsupported encoding (ucs4_3412)", ""},
      {"UTF-32BE", Raw({0, 0, 0, 0x3C, 0, 0, 0, 0x61}), seUTF32BE, wsFail,
       "unsupported encoding (utf-32BE)", ""},
      {"UTF-32LE", u32le, seUTF32LE, wsFail, "unsupported encoding (utf-32)", ""},
      {"UCS-4 2143", Raw({0, 0, 0x3C, 0, 0, 0, 0x61, 0}), seUCS4_2143, wsFail,
       "unsupported encoding (ucs4_2143)", ""},
      {"UCS-4 3412", Raw({0, 0x3C, 0, 0, 0, 0x61, 0, 0}), seUCS4_3412, wsFail,
       "unsupported encoding (ucs4_3412)", ""},
      {"EBCDIC", Raw({0x4C, 0x6F, 0xA7, 0x94, 0x93}), seEBCDIC, wsFail,
       "unsupported encoding (ebcdic)", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    // Long enough that unsupported encodings span several chunks, which all read as nothing.
    TInput in(c.Bytes + (c.Text.empty() ? std::string(600, '\0') : ""), 8);
    EXPECT_EQ(in.Parser.Encoding(), c.Encoding);
    if (c.TMessage.empty()) {
      EXPECT_TRUE(in.Detection.empty());
    } else {
      ASSERT_EQ(in.Detection.size(), 1u);
      EXPECT_EQ(in.Detection[0].Level, c.Level);
      EXPECT_EQ(in.Detection[0].Text, c.TMessage);
      EXPECT_EQ(in.Detection[0].Sender, &in.Parser);
    }
    EXPECT_EQ(in.Parser.Position(), 0);
    EXPECT_EQ(in.ReadAll(), c.Text);
    EXPECT_TRUE(in.Parser.InputEnded());
  }
}

TEST(XmlParser, BomInfoRecordsTheMatchedRow) {
  TInput bom("\xEF\xBB\xBF<svg/>");
  EXPECT_EQ(bom.Parser.BomInfo().Len, 3);
  EXPECT_TRUE(bom.Parser.BomInfo().HasBOM);
  TInput none("<svg/>");
  EXPECT_EQ(none.Parser.BomInfo().Len, 0);
  TInput fe(Raw({0xFF, 0xFE, 0, 0, 1}));
  EXPECT_EQ(fe.Parser.BomInfo().Encoding, seUTF32LE);  // four-byte marks are tried first
  EXPECT_EQ(fe.Parser.BomInfo().Len, 4);
}

TEST(XmlParser, SourcesOfFourBytesOrFewerReadAsEmpty) {
  for (std::string bytes : {std::string(), std::string("<"), std::string("<a/>")}) {
    SCOPED_TRACE(bytes);
    TInput in(bytes);
    ASSERT_EQ(in.Detection.size(), 1u);
    EXPECT_EQ(in.Detection[0].Level, wsWarn);
    EXPECT_EQ(in.Detection[0].Text,
              "stream terminated prematurely at pos " + std::to_string(bytes.size()));
    EXPECT_EQ(in.ReadAll(), "");
    EXPECT_TRUE(in.Parser.InputEnded());
    EXPECT_EQ(in.Parser.NextChar(), 0);
  }
  // A stream whose first read is short but that delivers more is decoded from there on.
  TInput later("<a/>\r\nrest", 4);
  EXPECT_EQ(later.ReadAll(), "\nrest");
}

TEST(XmlParser, LineEndsAreNormalisedAcrossChunkBoundaries) {
  // CR as the last byte of the first 256-byte chunk, LF as the first of the next.
  std::string crlfSplit = "<svg>" + std::string(250, 'a') + "\r\nb\r\r\nc\rd";
  ASSERT_EQ(crlfSplit[255], '\r');
  const std::string expected = "<svg>" + std::string(250, 'a') + "\nb\n\nc\nd";
  {
    TInput in(crlfSplit);
    EXPECT_EQ(in.ReadAll(), expected);
  }
  {
    // The same in UTF-16LE: the CR unit ends the first chunk.
    TInput in("\xFF\xFE" + Utf16LE(crlfSplit.substr(0, 126) + "\r\nz\r\r\n"));
    EXPECT_EQ(in.ReadAll(), crlfSplit.substr(0, 126) + "\nz\n\n");
  }
  // Every chunk size puts the boundary somewhere else; the text never changes.
  const std::string doc = "\xEF\xBB\xBF<a>\r\n\r\r\nx\xC3\xA9</a>\r";
  for (std::int32_t chunk = 5; chunk <= 24; ++chunk) {
    SCOPED_TRACE(chunk);
    TInput in(doc, chunk);
    EXPECT_EQ(in.ReadAll(), "<a>\n\n\nx\xC3\xA9</a>\n");
  }
  const std::string doc16 = "\xFE\xFF" + Utf16BE("<a>\r\n\r\r\nx</a>\r");
  for (std::int32_t chunk = 6; chunk <= 24; chunk += 2) {
    SCOPED_TRACE(chunk);
    TInput in(doc16, chunk);
    EXPECT_EQ(in.ReadAll(), "<a>\n\n\nx</a>\n");
  }
}

// Characters beyond the basic plane read from UTF-16 are one four-byte UTF-8
// sequence wherever a chunk boundary splits their pair; a surrogate without its
// partner is one U+FFFD, also as the very last unit.
TEST(XmlParser, SurrogatePairsSurviveEveryChunkBoundary) {
  const std::u16string text = u"<t>\U0001F600x\U0001F389\r\n\U0001F600</t>";
  const std::string expected = "<t>\xF0\x9F\x98\x80x\xF0\x9F\x8E\x89\n\xF0\x9F\x98\x80</t>";
  for (bool bigEndian : {false, true}) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
      const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    for (std::int32_t chunk = 6; chunk <= 40; chunk += 2) {
      SCOPED_TRACE(std::to_string(chunk) + (bigEndian ? " BE" : " LE"));
      TInput in(bytes, chunk);
      EXPECT_EQ(in.ReadAll(), expected);
    }
  }
  EXPECT_EQ(TInput("\xFF\xFE" + Raw({'<', 0, 0x3D, 0xD8, 'a', 0, 0x00, 0xDE})).ReadAll(),
            "<\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
  EXPECT_EQ(TInput("\xFF\xFE" + Raw({'<', 0, 'a', 0, 0x3D, 0xD8}), 6).ReadAll(), "<a\xEF\xBF\xBD");
}

TEST(XmlParser, CheckString) {
  struct TCase {
    std::string Source;
    std::int32_t Skip;  // bytes consumed before the compare
    std::string S;
    bool Result;
    std::int64_t Position;
  };
  const TCase cases[] = {
      {"OCTYPX more", 0, "octype", false, 0},  // mismatch: nothing consumed
      {"abOCT", 2, "octype", false, 5},        // end of stream: OCT stays consumed
      {"DOCTYPE html", 0, "doctype", true, 7},
      {"AbCdEf", 0, "aBcD", true, 4},
      {"xyz12", 1, "", true, 1},
      {"\xC3\x89tude", 0, "\xC3\xA9", false, 0},  // only ASCII letters fold
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Source + " / " + c.S);
    TInput in(c.Source);
    for (std::int32_t k = 0; k < c.Skip; ++k) in.Parser.NextChar();
    EXPECT_EQ(in.Parser.CheckString(c.S), c.Result);
    EXPECT_EQ(in.Parser.Position(), c.Position);
  }
}

TEST(XmlParser, ReadStringUntil) {
  struct TCase {
    std::string Source;
    std::string Terminator;
    std::string Result;
    char Next;  // the byte after the terminator (0: end of stream)
    std::string TMessage;
  };
  const TCase cases[] = {
      {"a-b--x-->rest", "-->", "a-b--x", 'r', ""},
      {"abcxYZdef", "xyz", "abc", 'd', ""},  // the rest of the terminator folds case
      {"abcXYZdef", "xyz", "", 0,
       "stream terminated prematurely at pos 9"},  // the first byte does not
      {"abc]]", "]]>", "", 0, "stream terminated prematurely at pos 5"},
      {"x--->", "-->", "x-", 0, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Source);
    TInput in(c.Source, 5);
    EXPECT_EQ(in.Parser.ReadStringUntil(c.Terminator), c.Result);
    if (c.TMessage.empty()) {
      EXPECT_TRUE(in.Owner.Messages.empty());
    } else {
      ASSERT_EQ(in.Owner.Messages.size(), 1u);
      EXPECT_EQ(in.Owner.Messages[0].Level, wsWarn);
      EXPECT_EQ(in.Owner.Messages[0].Text, c.TMessage);
    }
    EXPECT_EQ(in.Parser.NextChar(), c.Next);
  }
  // A long comment over many small chunks.
  const std::string body(5000, 'c');
  TInput in("<!--" + body + "-->x", 7);
  in.Parser.ReadStringUntil("<!--");
  EXPECT_EQ(in.Parser.ReadStringUntil("-->"), body);
  EXPECT_EQ(in.Parser.NextChar(), 'x');
}

// The first terminator from a start, overlapping runs of its bytes included.
TEST(XmlParser, FindTerminator) {
  constexpr auto cNone = std::string_view::npos;
  const struct {
    std::string_view Text;
    std::size_t From;
    std::string_view Terminator;
    std::size_t At;
  } cases[] = {
      {"c-->", 0, "-->", 1},    {"x--->", 0, "-->", 2},    {"->-->-->", 0, "-->", 2},
      {"-->", 1, "-->", cNone}, {"a-->b-->", 2, "-->", 5}, {"]]]>", 0, "]]>", 1},
      {"?>", 0, "?>", 0},       {"a>", 2, ">", cNone},     {"--", 0, "-->", cNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(xmlbytes::FindTerminator(c.Text, c.From, c.Terminator), c.At);
  }
}

TEST(XmlParser, ReadStringUntilCharAndQuotedString) {
  TInput in("text<\"" + std::string(3000, 'v') + "\" tail", 9);
  EXPECT_EQ(in.Parser.ReadStringUntilChar('<'), "text");
  EXPECT_EQ(in.Parser.NextChar(), '"');
  EXPECT_EQ(in.Parser.ReadQuotedString('"'), std::string(3000, 'v'));
  EXPECT_EQ(in.Parser.ReadStringUntilChar('<'), " tail");  // the rest, no message
  EXPECT_TRUE(in.Parser.InputEnded());
  EXPECT_TRUE(in.Owner.Messages.empty());
  EXPECT_EQ(in.Parser.ReadStringUntilChar('<'), "");
  // The separator as the very last byte: consumed, and the end is found only by
  // the next read that needs a byte.
  TInput last("abcd<");
  EXPECT_EQ(last.Parser.ReadStringUntilChar('<'), "abcd");
  EXPECT_FALSE(last.Parser.InputEnded());
  EXPECT_EQ(last.Parser.ReadStringUntilChar('<'), "");
  EXPECT_TRUE(last.Parser.InputEnded());
  TInput blanks("  x>>");
  std::string seen;
  EXPECT_EQ(blanks.Parser.NextCharSkipBlanks(seen), 'x');
  EXPECT_EQ(blanks.Parser.ReadStringUntilChar('>'), "");
  EXPECT_EQ(blanks.Parser.NextChar(), '>');
  EXPECT_FALSE(blanks.Parser.InputEnded());
  EXPECT_EQ(blanks.Parser.NextChar(), 0);
  EXPECT_TRUE(blanks.Parser.InputEnded());
}

TEST(XmlParser, ReadStringUntilBlankOrEndTag) {
  struct TCase {
    std::string Source;
    std::string Name;
    char Stop;
  };
  const TCase cases[] = {{"<svg>", "svg", '>'},      {"<svg/>", "svg", '/'},
                         {"<svg width", "svg", ' '}, {"<svg\tx", "svg", '\t'},
                         {"<xyz\n", "xyz", '\n'},    {"<a[b]", "a", '['},
                         {"<>abc", "", '>'}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Source);
    TInput in(c.Source, 5);
    EXPECT_EQ(in.Parser.NextChar(), '<');
    EXPECT_EQ(in.Parser.ReadStringUntilBlankOrEndTag(), c.Name);
    EXPECT_EQ(in.Parser.NextChar(), c.Stop);  // the stop byte was not consumed
  }
  TInput end("<svgxx");
  end.Parser.NextChar();
  EXPECT_EQ(end.Parser.ReadStringUntilBlankOrEndTag(), "");
  ASSERT_EQ(end.Owner.Messages.size(), 1u);
  EXPECT_EQ(end.Owner.Messages[0].Text, "stream terminated prematurely at pos 6");
  EXPECT_EQ(end.Owner.Messages[0].Level, wsWarn);

  // The skip stops where the read does, and says the same at the end.
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Source);
    TInput in(c.Source, 5);
    EXPECT_EQ(in.Parser.NextChar(), '<');
    in.Parser.SkipUntilBlankOrEndTag();
    EXPECT_EQ(in.Parser.NextChar(), c.Stop);
  }
  TInput skipEnd("<svgxx");
  skipEnd.Parser.NextChar();
  skipEnd.Parser.SkipUntilBlankOrEndTag();
  ASSERT_EQ(skipEnd.Owner.Messages.size(), 1u);
  EXPECT_EQ(skipEnd.Owner.Messages[0].Text, "stream terminated prematurely at pos 6");
}

// A name that is passed over costs no memory however long it is; one that is
// read grows the buffer, which is not kept for the next load.
TEST(XmlParser, SkippedNamesKeepNoTextAndGrownBuffersAreLetGo) {
  const std::string text = "<" + std::string(std::size_t{4} << 20, 'n') + ">";
  for (bool skip : {true, false}) {
    SCOPED_TRACE(skip);
    std::unique_ptr<TMemoryStream> stream = TMemoryStream::View(text);
    TXmlParserBuffers buffers;
    {
      TXmlParser parser(*stream, 4096, nullptr, &buffers);
      parser.ReadBOM();
      ASSERT_EQ(parser.NextChar(), '<');
      if (skip)
        parser.SkipUntilBlankOrEndTag();
      else
        EXPECT_EQ(parser.ReadStringUntilBlankOrEndTag().size(), text.size() - 2);
      EXPECT_EQ(parser.NextChar(), '>');
    }
    if (skip) {
      EXPECT_GT(buffers.Utf8.Capacity(), 0u);
      EXPECT_LE(buffers.Utf8.Capacity(), std::size_t{256} << 10);
    } else {
      EXPECT_EQ(buffers.Utf8.Capacity(), 0u);
    }
  }
}

TEST(XmlParser, ReadOpenTag) {
  struct TCase {
    std::string Source;  // read up to and including the first "<"
    TXmlElementType Type;
    std::int64_t Position;
    std::string TMessage;  // wsFail, when there is one
  };
  const TCase cases[] = {
      {"<!-- c -->", xeComment, 4, ""},
      {"<![CDATA[x]]>", xeCData, 9, ""},
      {"<![cdata[x]]>", xeCData, 9, ""},
      {"<!DOCTYPE svg>", xeDocType, 9, ""},
      {"<!doctypex>", xeDocType, 9, ""},
      {"<!ELEMENT x>", xeDtdElement, 9, ""},
      {"<!ENTITY x>", xeDtdEntity, 8, ""},
      {"<!ATTLIST x>", xeDtdAttList, 9, ""},
      {"<!NOTATION x>", xeDtdNotation, 10, ""},
      {"<!foo>", xeError, 3, "illegal tag (\"f\") at pos 3"},
      {"<!Foo>", xeError, 3, "illegal tag (\"f\") at pos 3"},
      {"  <!>x", xeError, 5, "illegal tag (\">\") at pos 5"},
      {"<!dog>", xeError, 3, ""},
      {"<!-x->", xeError, 3, ""},
      {"<!eek>", xeError, 3, ""},
      {"</svg>", xeEndTag, 2, ""},
      {"<?xml version?>", xeDeclaration, 5, ""},
      {"<?XmL version?>", xeDeclaration, 5, ""},
      {"<?xml-stylesheet href?>", xeStylesheet, 16, ""},
      {"<?xml-model x?>", xeDeclaration, 5, ""},
      {"<?xmlfoo?>", xeDeclaration, 5, ""},
      {"<?php x?>", xeInstruction, 2, ""},
      {"<svg/>", xeElement, 1, ""},
      {"xxxx<", xeError, 5, ""},
      {"xxxx<!", xeError, 6, "illegal tag (\"\") at pos 6"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Source);
    TInput in(c.Source, 5);
    in.Parser.ReadStringUntilChar('<');
    EXPECT_EQ(in.Parser.ReadOpenTag(), c.Type);
    EXPECT_EQ(in.Parser.Position(), c.Position);
    if (c.TMessage.empty()) {
      EXPECT_TRUE(in.Owner.Messages.empty());
    } else {
      ASSERT_EQ(in.Owner.Messages.size(), 1u);
      EXPECT_EQ(in.Owner.Messages[0].Level, wsFail);
      EXPECT_EQ(in.Owner.Messages[0].Text, c.TMessage);
      EXPECT_EQ(in.Owner.Messages[0].Sender, &in.Parser);
    }
  }
}

TEST(XmlParser, NextCharSkipBlanksMoveBackAndEnd) {
  TInput in(" \t\n x y   ");
  std::string blanks = "old";
  EXPECT_EQ(in.Parser.NextCharSkipBlanks(blanks), 'x');
  EXPECT_EQ(blanks, " \t\n ");
  EXPECT_EQ(in.Parser.NextCharSkipBlanks(blanks), 'y');
  EXPECT_EQ(in.Parser.NextCharSkipBlanks(blanks), 0);
  EXPECT_EQ(blanks, "   ");
  EXPECT_TRUE(in.Parser.InputEnded());
  const std::int64_t end = in.Parser.Position();
  EXPECT_EQ(in.Parser.NextChar(), 0);
  EXPECT_EQ(in.Parser.Position(), end);  // no move at the end
  in.Parser.MoveBack();
  EXPECT_EQ(in.Parser.NextChar(), ' ');  // the last byte can be read again

  TInput start("abcdef");
  start.Parser.MoveBack();  // at 0 the position stays at 0
  EXPECT_EQ(start.Parser.Position(), 0);
  EXPECT_EQ(start.Parser.NextChar(), 'a');
}

TEST(XmlParser, PositionAndLineNumberSurviveFlushes) {
  const std::string text = "<?xml?>\n<a>\n  <b x=\"1\"/>\n\n  text\n</a>\n";
  for (std::int32_t chunk : {5, 8, 13, 256}) {
    SCOPED_TRACE(chunk);
    TInput in(text, chunk);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (i % 3 == 0) {
        const std::int64_t pos = in.Parser.Position();
        const std::int64_t line = in.Parser.LineNumber();
        in.Parser.Flush();
        ASSERT_EQ(in.Parser.Position(), pos);
        ASSERT_EQ(in.Parser.LineNumber(), line);
      }
      ASSERT_EQ(in.Parser.NextChar(), text[i]);
      ASSERT_EQ(in.Parser.Position(), static_cast<std::int64_t>(i + 1));
      ASSERT_EQ(in.Parser.LineNumber(),
                std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(i + 1), '\n'));
    }
  }
  // Positions count decoded bytes: after a BOM and with CR LF turned into LF.
  TInput bom(
      "\xEF\xBB\xBF"
      "a\r\nb\r\nc");
  bom.Parser.ReadStringUntilChar('c');
  EXPECT_EQ(bom.Parser.Position(), 5);
  EXPECT_EQ(bom.Parser.LineNumber(), 2);
}

// Many flushes over a text far longer than what a flush leaves in the buffer:
// reads that span chunks, positions, line numbers and the step back all answer as
// if each flush had dropped the text before the latest chunk at once.
TEST(XmlParser, ReadsAndPositionsHoldOverManyFlushes) {
  std::string text;
  for (int i = 0; i < 6000; ++i)
    text += "<p d=\"" + std::string(static_cast<std::size_t>(i % 97), 'x') + "\"/>\n";
  for (std::int32_t chunk : {7, 256, 4096}) {
    SCOPED_TRACE(chunk);
    TInput in(text, chunk);
    std::int64_t line = 0;
    std::int64_t pos = 0;
    for (int i = 0; i < 6000; ++i) {
      ASSERT_EQ(in.Parser.NextChar(), '<');
      in.Parser.Flush();
      in.Parser.MoveBack();  // the latest chunk stays readable
      ASSERT_EQ(in.Parser.Position(), pos);
      ASSERT_EQ(in.Parser.NextChar(), '<');
      ASSERT_EQ(in.Parser.LineNumber(), line);
      ASSERT_EQ(in.Parser.ReadStringUntilChar('"'), "p d=");
      ASSERT_EQ(in.Parser.ReadStringUntil("\"/>"),
                std::string(static_cast<std::size_t>(i % 97), 'x'));
      ASSERT_EQ(in.Parser.NextChar(), '\n');
      pos += 10 + i % 97;
      ++line;
      ASSERT_EQ(in.Parser.Position(), pos);
      if (i % 50 == 0) {
        ASSERT_EQ(in.Parser.LineNumber(), line);
      }
    }
    EXPECT_EQ(in.Parser.NextChar(), 0);
  }
}

// Line numbers over long runs of line ends next to bytes that differ from LF in one
// bit, asked at long and short strides, forward and one byte back.
TEST(XmlParser, LineNumberCountsEveryLineEnd) {
  std::string text;
  for (int i = 0; i < 9000; ++i) {
    const int k = (i * 7919) % 13;
    text.push_back(k < 6 ? '\n' : k == 6 ? '\x8A' : k == 7 ? '\x0B' : k == 8 ? '\x0E' : 'a');
  }
  text += std::string(3000, '\n') + ">";
  for (std::size_t stride : {std::size_t{1}, std::size_t{9}, std::size_t{2500}}) {
    SCOPED_TRACE(stride);
    TInput in(text, 4096);
    for (std::size_t at = 0; at < text.size(); at += stride) {
      for (std::size_t k = 0; k < stride && in.Parser.NextChar() != 0; ++k) {
      }
      const auto pos = static_cast<std::ptrdiff_t>(in.Parser.Position());
      ASSERT_EQ(in.Parser.LineNumber(), std::count(text.begin(), text.begin() + pos, '\n'));
      in.Parser.MoveBack();
      ASSERT_EQ(in.Parser.LineNumber(), std::count(text.begin(), text.begin() + pos - 1, '\n'));
      in.Parser.NextChar();
    }
  }
}

TEST(XmlParser, NewCodePageDecodesTheLatestChunkAgain) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>";
  TInput in(decl + "<a>caf\xE9\x80</a>");
  EXPECT_EQ(in.Parser.ReadStringUntil("?>"), decl.substr(0, decl.size() - 2));
  in.Parser.SetEncoding(seAnsi);
  in.Parser.SetCodePage(1252);
  EXPECT_EQ(in.Parser.ReadStringUntilChar('/'), "<a>caf\xC3\xA9\xE2\x82\xAC<");

  // Decoding a big-endian chunk again gives the same text.
  TInput be("\xFE\xFF" + Utf16BE("<a>\r\n\xE9</a>"));
  EXPECT_EQ(be.Parser.NextChar(), '<');
  be.Parser.SetCodePage(1201);
  EXPECT_EQ(be.ReadAll(), "a>\n\xC3\xA9</a>");
}

TEST(XmlParser, IsBinaryXmlLooksAtTheFirstRead) {
  auto check = [](const std::string& ABytes) {
    auto stream = TMemoryStream::View(ABytes);
    TXmlParser parser(*stream, 256, nullptr);
    return parser.IsBinaryXml();
  };
  EXPECT_TRUE(check("$BXM\x01"));
  EXPECT_FALSE(check("$BXM"));
  EXPECT_FALSE(check("<svg/>"));
}

// Arbitrary bytes under arbitrary chunk sizes and call sequences: every read ends,
// the position never goes below 0, and (under the sanitizers) nothing is read out
// of bounds.
TEST(XmlParser, SurvivesArbitraryInputAndCallSequences) {
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const std::string prefixes[] = {"",     "\xEF\xBB\xBF", "\xFF\xFE",    "\xFE\xFF",
                                  "<?xm", Utf16LE("<?x"), Utf16BE("<?x")};
  const char alphabet[] = "<>!?-[]/='\" \t\r\nxmlDOCTYPEcdata\xC3\xA9\x00\xFF";
  for (int round = 0; round < 400; ++round) {
    std::string bytes = prefixes[next() % std::size(prefixes)];
    const std::size_t length = next() % 700;
    for (std::size_t i = 0; i < length; ++i)
      bytes.push_back(alphabet[next() % (sizeof alphabet - 1)]);
    TInput in(bytes, static_cast<std::int32_t>(1 + next() % 40));
    std::string blanks;
    for (int step = 0; step < 200 && !in.Parser.InputEnded(); ++step) {
      switch (next() % 11) {
        case 0:
          in.Parser.NextChar();
          break;
        case 1:
          in.Parser.MoveBack();
          break;
        case 2:
          in.Parser.CheckString("doctype");
          break;
        case 3:
          in.Parser.NextCharSkipBlanks(blanks);
          break;
        case 4:
          in.Parser.ReadStringUntilChar('>');
          break;
        case 5:
          in.Parser.ReadStringUntil("-->");
          break;
        case 6:
          in.Parser.ReadStringUntilBlankOrEndTag();
          break;
        case 7:
          in.Parser.ReadOpenTag();
          break;
        case 8:
          in.Parser.Flush();
          break;
        case 9:
          in.Parser.SetCodePage(next() % 2 ? 1252 : 0);
          break;
        default:
          in.Parser.LineNumber();
          break;
      }
      ASSERT_GE(in.Parser.Position(), 0);
    }
    in.ReadAll();
    EXPECT_TRUE(in.Parser.InputEnded());
  }
}

}  // namespace
