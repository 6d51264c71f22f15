// Extraction of the record from SVG text: what a drawing may begin with, the root choice,
// lookups with ASCII case folding, the embedded-image test, the RDF metadata path,
// the application comment, the cut of every record text, and the example drawings.
#include "extract/SvgExtractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "base/Utf8.h"
#include "extract/Dimensions.h"
#include "extract/SvgFields.h"
#include "platform/HostPlatform.h"
#include "support/TestSupport.h"
#include "xml/XmlDocument.h"

namespace {

using namespace std::literals;

// Every non-empty text of the record, in field order, as "Name=value" parts (the
// field's name without blanks, "Name*=" for a text from the drawing's own
// element, a line break in the platform's form as "|n", any other CR or LF as
// itself), then the size and the image flag; so a table states the whole
// expected record and any stray value shows.
std::string Dump(const TVexmeta& AR) {
  std::string out;
  auto text = [&out](std::string_view AName, const std::u16string& AValue) {
    if (AValue.empty()) return;
    if (!out.empty()) out += '|';
    for (char c : AName)
      if (c != ' ') out += c;
    out += '=';
    std::u16string value = AValue;
    for (std::size_t at = value.find(platform::cLineBreak); at != std::u16string::npos;
         at = value.find(platform::cLineBreak, at))
      value.replace(at, platform::cLineBreak.size(), u"|n");
    out += platform::Utf16ToUtf8(value);
  };
  for (const TRecordText& field : cRecordTexts) {
    std::string name(field.Name);
    for (std::int32_t i = 0; i < cFieldCount; ++i)
      if (cFieldRows[i].Text == field.Member && (AR.FromFallback >> i & 1) != 0) name += '*';
    text(name, AR.*field.Member);
  }
  if (AR.IntWidth != 0 || AR.IntHeight != 0)
    out.append(out.empty() ? "" : "|")
        .append("Size=")
        .append(std::to_string(AR.IntWidth))
        .append("x")
        .append(std::to_string(AR.IntHeight));
  if (AR.EmbeddedImage) out += out.empty() ? "Image" : "|Image";
  return out;
}

struct TParsed {
  bool Ok;
  TVexmeta Record;
};

// The filtered load, held to the whole tree's answer.
TParsed Parse(std::string_view ASvg, bool AParseImageNode = true) {
  auto stream = TMemoryStream::View(ASvg);
  TParsed result{false, {}};
  result.Ok = ParseSvgDocument(*stream, result.Record, AParseImageNode);
  TVexmeta whole;
  const bool wholeOk = ParseSvgDocument(*TMemoryStream::View(ASvg), whole, AParseImageNode,
                                        TDocumentLoad::dlWholeTree);
  EXPECT_EQ(wholeOk, result.Ok);
  EXPECT_TRUE(SameRecord(whole, result.Record)) << Dump(whole) << " vs " << Dump(result.Record);
  return result;
}

TEST(ParseSvgDocument, RecordFromSvgText) {
  struct TCase {
    const char* Label;
    std::string_view Svg;
    bool Ok;
    std::string_view Record;  // Dump of the record when Ok
  } cases[] = {
      // What a drawing may begin with, and the root it must have.
      {"empty stream", "", false, ""},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF<svg width='1' height='1'/>", true,
       "Width=1|Height=1|Size=1x1"},
      {"UTF-16 byte-order mark", "\xFF\xFE<\0s\0v\0g\0 \0i\0d\0=\0'\0a\0'\0/\0>\0"sv, true, "ID=a"},
      {"UTF-16BE byte-order mark, blanks",
       "\xFE\xFF\0\n\0 \0<\0s\0v\0g\0 \0i\0d\0=\0'\0a\0'\0/\0>"sv, true, "ID=a"},
      {"UTF-16BE without a mark", "\0<\0?\0x\0m\0l\0?\0>\0<\0s\0v\0g\0/\0>"sv, true, ""},
      {"line break first", "\n<?xml version='1.0'?><svg width='1' height='1'/>", true,
       "Width=1|Height=1|Size=1x1"},
      {"mark, then blanks", "\xEF\xBB\xBF \t\r\n<svg id='a'/>", true, "ID=a"},
      {"blanks, then a mark", " \xEF\xBB\xBF<svg id='a'/>", false, ""},
      {"mark only", "\xEF\xBB\xBF", false, ""},
      {"blanks only", std::string_view("\n\n\t   \r\n"), false, ""},
      {"UTF-16 mark, then a NUL", "\xFF\xFE\0\0<\0s\0v\0g\0/\0>\0"sv, false, ""},
      {"UTF-16 mark, then an odd byte", "\xFF\xFE<"sv, false, ""},
      {"form feed first", "\f<svg id='a'/>", false, ""},
      {"no-break space first", "\xC2\xA0<svg id='a'/>", false, ""},
      {"not markup", "svg", false, ""},
      {"upper-case root", "<SVG width='1' height='1'/>", false, ""},
      {"other root", "<html><svg width='1' height='1'/></html>", false, ""},
      {"prefixed root", "<svg:svg xmlns:svg='http://www.w3.org/2000/svg' width='10' height='20'/>",
       true, "Width=10|Height=20|Size=10x20"},
      {"root after prolog",
       "<?xml version='1.0'?><!DOCTYPE svg><?pi x?><svg version='1.1' id='a'/>", true,
       "SVGVersion=1.1|ID=a"},
      // The nine values, found with ASCII letter case folded, never trimmed.
      {"all root values",
       "<svg viewBox='0 0 8 6' width='4' height='3' version='1.1' id='d' inkscape:version='0.92' "
       "sodipodi:version='0.32' sodipodi:docbase='/home/d' sodipodi:docname='d.svg'/>",
       true,
       "SVGVersion=1.1|Application=Inkscape 0.92|Width=4|Height=3|ViewBox=0 0 8 "
       "6|ID=d|InkscapeVersion=0.92|SodipodiVersion=0.32|SodipodiDocbase=/home/"
       "d|SodipodiDocname=d.svg|Size=4x3"},
      {"folded names", "<svg WIDTH='5' ViewBox='0 0 5 6' HeIgHt='7' ID='x'/>", true,
       "Width=5|Height=7|ViewBox=0 0 5 6|ID=x|Size=5x7"},
      {"values as written, trimmed", "<svg width=' 10 ' height='2' id='a&amp;b&#x41;'/>", true,
       "Width=10|Height=2|ID=a&bA|Size=10x2"},
      {"invalid UTF-8",
       "<svg id='a\xFF"
       "b'/>",
       true,
       "ID=a\xEF\xBF\xBD"
       "b"},
      {"child element width", "<svg height='3'><width>40</width></svg>", true,
       "Width=40|Height=3|Size=40x3"},
      {"attribute before child", "<svg width='1' height='1'><width>40</width></svg>", true,
       "Width=1|Height=1|Size=1x1"},
      {"sizes from the viewBox", "<svg viewBox='0 0 640 480'/>", true,
       "ViewBox=0 0 640 480|Size=640x480"},
      // The embedded image: any "image" inside the root, either link.
      {"data image", "<svg><image xlink:href='data:image/png;base64,AAAA'/></svg>", true, "Image"},
      {"folded image element", "<svg><IMAGE XLINK:HREF='data:image/gif,'/></svg>", true, "Image"},
      {"upper-case data URL", "<svg><image xlink:href='DATA:IMAGE/png;base64,AAAA'/></svg>", true,
       ""},
      {"external image", "<svg><image xlink:href='photo.png'/></svg>", true, ""},
      {"short href", "<svg><image xlink:href='data:imag'/></svg>", true, ""},
      {"plain href", "<svg><image href='data:image/png,'/></svg>", true, "Image"},
      {"image in a group", "<svg><g><image xlink:href='data:image/png,'/></g></svg>", true,
       "Image"},
      {"second image",
       "<svg><image xlink:href='a.png'/><image xlink:href='data:image/png,'/></svg>", true,
       "Image"},
      {"second link of an image", "<svg><image xlink:href='a.png' href='data:image/png,'/></svg>",
       true, "Image"},
      {"only the first link of a name", "<svg><image href='a.png' href='data:image/png,'/></svg>",
       true, ""},
      {"deep in other elements",
       "<svg><defs><pattern><g><a><image href='data:image/jpeg,'/></a></g></pattern></defs>"
       "<image href='b.png'/></svg>",
       true, "Image"},
      {"inside an image", "<svg><image href='a.png'><image href='data:image/png,'/></image></svg>",
       true, "Image"},
      {"inside the metadata and title",
       "<svg><metadata><g><image href='data:image/png,'/></g></metadata><title>T</title></svg>",
       true, "MetadataTitle*=T|Image"},
      {"image element bound on the root",
       "<svg xmlns:s='http://www.w3.org/2000/svg'><g><s:image href='data:image/png,'/></g></svg>",
       true, "Image"},
      {"image element of another namespace",
       "<svg xmlns:s='urn:other'><g><s:image href='data:image/png,'/></g></svg>", true, ""},
      {"link after many characters", "<svg><image href=' data:image/png,'/></svg>", true, ""},
      {"link written with references", "<svg><image href='data&#58;image/png,'/></svg>", true,
       "Image"},
      {"image outside the root", "<svg/><image href='data:image/png,'/>", true, ""},
      // RDF metadata along the first metadata, rdf:RDF and cc:Work only.
      {"metadata",
       "<svg><metadata><rdf:RDF><cc:Work><dc:title>Harbour</dc:title>"
       "<dc:description>Boats &amp; sea</dc:description><dc:date>2019-03-17T15:14:01</dc:date>"
       "</cc:Work></rdf:RDF></metadata></svg>",
       true,
       "MetadataTitle=Harbour|MetadataDescription=Boats & sea|MetadataDate=2019-03-17 15:14:01"},
      {"date with two T",
       "<svg><metadata><rdf:RDF><cc:Work><dc:date>2019T10T11t</dc:date></cc:Work></rdf:RDF>"
       "</metadata></svg>",
       true, "MetadataDate=2019 10T11t"},
      {"title in a second cc:Work",
       "<svg><metadata><rdf:RDF><cc:Work/><cc:Work><dc:title>B</dc:title></cc:Work></rdf:RDF>"
       "</metadata></svg>",
       true, ""},
      {"title in a second metadata",
       "<svg><metadata/><metadata><rdf:RDF><cc:Work><dc:title>B</dc:title></cc:Work></rdf:RDF>"
       "</metadata></svg>",
       true, ""},
      {"title outside cc:Work",
       "<svg><metadata><rdf:RDF><dc:title>B</dc:title></rdf:RDF></metadata></svg>", true, ""},
      // The drawing's own title and description, when the work gives none.
      {"own title and description", "<svg><title>Chart</title><desc>Sales\n2020</desc></svg>", true,
       "MetadataTitle*=Chart|MetadataDescription*=Sales|n2020"},
      {"work title, own description",
       "<svg><title>Own</title><desc>Own text</desc><metadata><rdf:RDF><cc:Work>"
       "<dc:title>Work</dc:title><dc:description> </dc:description></cc:Work></rdf:RDF>"
       "</metadata></svg>",
       true, "MetadataTitle=Work|MetadataDescription*=Own text"},
      {"first title only", "<svg><title/><title>Second</title></svg>", true, ""},
      {"a group's title", "<svg><g><title>Group</title></g><desc xmlns='urn:x'>D</desc></svg>",
       true, "MetadataDescription*=D"},
      {"title attribute", "<svg title='Attribute'/>", true, ""},
      {"title bound on the root",
       "<svg:svg xmlns:svg='http://www.w3.org/2000/svg'><svg:title>Bound</svg:title></svg:svg>",
       true, "MetadataTitle*=Bound"},
      // Texts in an RDF container's items.
      {"rdf:Alt with x-default",
       "<svg><metadata><rdf:RDF><cc:Work><dc:title><rdf:Alt><rdf:li xml:lang='de'>Hafen</rdf:li>"
       "<rdf:li xml:lang='x-default'>Harbour</rdf:li></rdf:Alt></dc:title></cc:Work></rdf:RDF>"
       "</metadata></svg>",
       true, "MetadataTitle=Harbour"},
      {"rdf:Bag without x-default",
       "<svg><metadata><rdf:RDF><cc:Work><dc:description>\n <rdf:Bag><rdf:li>One</rdf:li>"
       "<rdf:li>Two</rdf:li></rdf:Bag></dc:description></cc:Work></rdf:RDF></metadata></svg>",
       true, "MetadataDescription=One"},
      {"rdf:Seq of a date, the first x-default",
       "<svg><metadata><rdf:RDF><cc:Work><dc:date><rdf:Seq><rdf:li>2001</rdf:li>"
       "<rdf:li xml:lang='x-default'>2002T1</rdf:li><rdf:li xml:lang='x-default'>2003</rdf:li>"
       "</rdf:Seq></dc:date></cc:Work></rdf:RDF></metadata></svg>",
       true, "MetadataDate=2002 1"},
      {"empty container, own title",
       "<svg><title>Own</title><metadata><rdf:RDF><cc:Work><dc:title><rdf:Alt/></dc:title>"
       "</cc:Work></rdf:RDF></metadata></svg>",
       true, "MetadataTitle*=Own"},
      // Elements found by the namespaces their prefixes are bound to above them.
      {"other prefixes",
       "<svg:svg xmlns:svg='http://www.w3.org/2000/svg' xmlns:ns2='http://creativecommons.org/ns#'>"
       "<svg:metadata xmlns:r='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><r:RDF>"
       "<ns2:Work xmlns:d='http://purl.org/dc/elements/1.1/'><d:title>Bound</d:title>"
       "<d:date>2020</d:date></ns2:Work></r:RDF></svg:metadata></svg:svg>",
       true, "MetadataTitle=Bound|MetadataDate=2020"},
      {"the old Creative Commons namespace",
       "<svg xmlns:c='http://web.resource.org/cc/'><metadata><rdf:RDF><c:Work>"
       "<dc:title>Old</dc:title></c:Work></rdf:RDF></metadata></svg>",
       true, "MetadataTitle=Old"},
      {"the nearest declaration binds",
       "<svg xmlns:c='http://creativecommons.org/ns#'><metadata xmlns:c='urn:other'><rdf:RDF>"
       "<c:Work><dc:title>Hidden</dc:title></c:Work></rdf:RDF></metadata></svg>",
       true, ""},
      {"a declaration on the element itself",
       "<svg><metadata><rdf:RDF><c:Work xmlns:c='http://creativecommons.org/ns#'>"
       "<dc:title>Self</dc:title></c:Work></rdf:RDF></metadata></svg>",
       true, "MetadataTitle=Self"},
      {"a declaration on the element itself wins over one above",
       "<svg xmlns:d='http://purl.org/dc/elements/1.1/'><metadata><rdf:RDF><cc:Work>"
       "<d:title xmlns:d='urn:other'>Other</d:title><d:title>Second</d:title>"
       "<d:date xmlns:e='urn:other'>2020</d:date></cc:Work></rdf:RDF></metadata></svg>",
       true, "MetadataTitle=Second|MetadataDate=2020"},
      {"the default namespace in scope",
       "<svg><metadata><rdf:RDF xmlns='http://web.resource.org/cc/'><Work rdf:about=''>"
       "<dc:title>Lemon</dc:title></Work></rdf:RDF></metadata></svg>",
       true, "MetadataTitle=Lemon"},
      {"the default namespace on the element, and its items",
       "<svg><metadata><rdf:RDF><cc:Work><title xmlns='http://purl.org/dc/elements/1.1/'>"
       "<Alt xmlns='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><li>Lime</li></Alt></title>"
       "</cc:Work></rdf:RDF></metadata></svg>",
       true, "MetadataTitle=Lime"},
      {"a default namespace undeclared, or another one",
       "<svg><metadata><rdf:RDF xmlns='http://web.resource.org/cc/'><Work xmlns=''>"
       "<dc:title>No</dc:title></Work><Work xmlns='urn:other'><dc:title>No</dc:title></Work>"
       "<Work><title>Not dc</title><dc:date>Yes</dc:date></Work></rdf:RDF></metadata></svg>",
       true, "MetadataDate=Yes"},
      {"only the first candidates are looked at",
       "<svg><metadata><rdf:RDF><x:Work/><x:Work/><x:Work/><x:Work/><x:Work/><x:Work/><x:Work/>"
       "<x:Work/><Work xmlns='http://creativecommons.org/ns#'><dc:title>Late</dc:title></Work>"
       "</rdf:RDF></metadata></svg>",
       true, ""},
      {"the usual prefixes bound elsewhere",
       "<svg xmlns:dc='urn:other'><metadata><rdf:RDF><cc:Work><dc:title>Usual</dc:title>"
       "</cc:Work></rdf:RDF></metadata></svg>",
       true, "MetadataTitle=Usual"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TParsed got = Parse(c.Svg);
    EXPECT_EQ(got.Ok, c.Ok);
    if (got.Ok) {
      EXPECT_EQ(Dump(got.Record), c.Record);
    }
  }
}

// Texts as people read them: trimmed, line breaks in the platform's form
// whatever the drawing wrote, attribute values as XML normalises them.
TEST(ParseSvgDocument, TextsAreReadyToShow) {
  struct TCase {
    const char* Label;
    std::string_view Svg;
    std::string_view Record;
  } cases[] = {
      {"a title on its own line", "<svg><title>\n    Lemon tree\n  </title></svg>",
       "MetadataTitle*=Lemon tree"},
      {"blanks and tabs around", "<svg><title> \t Lemon \t </title></svg>", "MetadataTitle*=Lemon"},
      {"only white space is no text", "<svg><title>\n\t \r\n</title><desc>&#32;&#10;</desc></svg>",
       ""},
      {"line breaks as LF", "<svg><desc>one\ntwo\n\nfour</desc></svg>",
       "MetadataDescription*=one|ntwo|n|nfour"},
      {"line breaks as CR LF", "<svg><desc>one\r\ntwo\r\n\r\nfour</desc></svg>",
       "MetadataDescription*=one|ntwo|n|nfour"},
      {"line breaks as CR", "<svg><desc>one\rtwo\r\rfour</desc></svg>",
       "MetadataDescription*=one|ntwo|n|nfour"},
      {"line breaks as references", "<svg><desc>one&#13;&#10;two&#13;three&#10;four</desc></svg>",
       "MetadataDescription*=one|ntwo|nthree|nfour"},
      {"a work's text",
       "<svg><metadata><rdf:RDF><cc:Work><dc:title>\r\n Lemon\r\n</dc:title>"
       "<dc:description>a\r\nb</dc:description><dc:date> 2020-01-02T </dc:date></cc:Work>"
       "</rdf:RDF></metadata></svg>",
       "MetadataTitle=Lemon|MetadataDescription=a|nb|MetadataDate=2020-01-02"},
      {"attributes: line breaks and tabs are blanks",
       "<svg width=' 10\n' height='\t20\r\n' viewBox='0\n0\t10\r\n20' id='a\rb'"
       " inkscape:version='\n 1.2 (dc2aeda, 2022-05-15)\n'/>",
       "Application=Inkscape 1.2 (dc2aeda, 2022-05-15)|Width=10|Height=20|ViewBox=0 0 10 20|"
       "ID=a b|InkscapeVersion=1.2 (dc2aeda, 2022-05-15)|Size=10x20"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TParsed got = Parse(c.Svg);
    EXPECT_TRUE(got.Ok);
    EXPECT_EQ(Dump(got.Record), c.Record);
  }
}

// Application: the first statement of who wrote the drawing, in the order of
// its places, else the editor that recorded itself.
TEST(ParseSvgDocument, ApplicationFromTheFirstStatement) {
  struct TCase {
    const char* Label;
    std::string_view Svg;
    std::string_view Application;
  } cases[] = {
      // Each phrase, letter case ignored, with an optional opening.
      {"Created with", "<!--   Created with   Tool 1.0 \t--><svg/>", "Tool 1.0"},
      {"Created using", "<!-- Created using Karbon14 --><svg/>", "Karbon14"},
      {"Created by", "<!-- CREATED BY potrace 1.16 --><svg/>", "potrace 1.16"},
      {"Generated by", "<!-- generated by graphviz version 2.43.0 (0)\n --><svg/>",
       "graphviz version 2.43.0 (0)"},
      {"Generated with", "<!-- Generated with pygal 2.4.0 (etree) --><svg/>",
       "pygal 2.4.0 (etree)"},
      {"Generated at ... by",
       "<!-- Generated at Mon Jan 1 10:00:00 2024 by:\tGraph::Easy v0.76 "
       "--><svg/>",
       "Graph::Easy v0.76"},
      {"Generated at, no by on its line", "<!-- Generated at noon\nby Tool --><svg/>", ""},
      {"Produced by", "<svg><!--Produced by GNUPLOT 5.4 patchlevel 4 --></svg>",
       "GNUPLOT 5.4 patchlevel 4"},
      {"Made with", "<!-- Made with Tool --><svg/>", "Tool"},
      {"Exported from", "<!-- Exported from Tool 3 --><svg/>", "Tool 3"},
      {"Generator:", "<!-- Generator: Adobe-like 1.0, SVG Export Plug-In --><svg/>",
       "Adobe-like 1.0, SVG Export Plug-In"},
      {"Creator:", "<?xml version='1.0'?><!-- creator:Hand --><svg/>", "Hand"},
      {"a colon after the phrase", "<!-- Created with: Tool --><svg/>", "Tool"},
      {"This file was", "<!-- This file was generated by dvisvgm 1.9.2 --><svg/>", "dvisvgm 1.9.2"},
      {"This drawing was", "<!-- this  drawing was created with Tool --><svg/>", "Tool"},
      {"This image was", "<!-- This image was made with Tool --><svg/>", "Tool"},
      {"the first line ends it", "<!--\r\n\tCreated with Tool\r\n on a Tuesday--><svg/>", "Tool"},
      {"a reference in the phrase", "<!-- Created&#32;with Tool --><svg/>", "Tool"},
      // What is no statement.
      {"a phrase in the middle", "<!-- Licence: free, created with care --><svg/>", ""},
      {"a phrase inside a word", "<!-- Created byte by byte --><svg/>", ""},
      {"the phrase alone", "<!-- Generator: --><svg/>", ""},
      {"another wording", "<!-- Made by Tool --><svg/>", ""},
      // The places, in order.
      {"a comment before the root first",
       "<!-- Creator: A --><svg><!-- Generator: B --><desc>Made with C</desc></svg>", "A"},
      {"after a licence", "<!-- Licence: CC0 --><!-- Created with Editor 3 --><svg/>", "Editor 3"},
      {"a comment after the root is none", "<svg/><!-- Created with Late -->", ""},
      {"the root's comments next",
       "<svg><!-- hello --><!-- Generator: B --><g><!-- Creator: "
       "Deep --></g></svg><!-- Creator: Late -->",
       "B"},
      {"plain text in metadata next",
       "<svg><desc>Made with C</desc><metadata>\nCreated by potrace 1.16, written by Peter\n"
       "<rdf:RDF/></metadata></svg>",
       "potrace 1.16, written by Peter"},
      {"a later text run in metadata",
       "<svg><metadata>A note<rdf:RDF/>Exported from Tool 9</metadata></svg>", "Tool 9"},
      {"the root's desc last", "<svg><desc>\n  Produced by GNUPLOT 5.4\n  more</desc></svg>",
       "GNUPLOT 5.4"},
      {"a group's desc is none", "<svg><g><desc>Produced by GNUPLOT</desc></g></svg>", ""},
      {"text in the RDF is none",
       "<svg><metadata><rdf:RDF><cc:Work><dc:description>Created with X</dc:description>"
       "</cc:Work></rdf:RDF></metadata></svg>",
       ""},
      // The editor that recorded itself, when no statement names a writer.
      {"an editor's version alone", "<svg inkscape:version='0.92.4 (5da689c313, 2019-01-14)'/>",
       "Inkscape 0.92.4 (5da689c313, 2019-01-14)"},
      {"the older editor", "<svg sodipodi:version='0.32'/>", "Sodipodi 0.32"},
      {"both editors", "<svg sodipodi:version='0.32' inkscape:version='1.0'/>", "Inkscape 1.0"},
      {"a statement first", "<!-- Created with Tool --><svg inkscape:version='1.0'/>", "Tool"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TParsed got = Parse(c.Svg);
    EXPECT_TRUE(got.Ok);
    EXPECT_EQ(platform::Utf16ToUtf8(got.Record.Application), c.Application);
  }
}

TEST(ParseSvgDocument, ImageTestOnlyWhenSwitchedOn) {
  constexpr std::string_view cSvg = "<svg><image xlink:href='data:image/png;base64,AAAA'/></svg>";
  EXPECT_TRUE(Parse(cSvg, true).Record.EmbeddedImage);
  TParsed off = Parse(cSvg, false);
  EXPECT_TRUE(off.Ok);
  EXPECT_FALSE(off.Record.EmbeddedImage);
}

TEST(ParseSvgDocument, EmptiesTheRecordFirst) {
  TVexmeta record;
  record.Width = u"stale";
  record.IntWidth = 5;
  record.EmbeddedImage = true;
  auto refused = TMemoryStream::View("\n<html/>");
  EXPECT_FALSE(ParseSvgDocument(*refused, record, true));
  EXPECT_EQ(Dump(record), "");

  record.MetadataTitle = u"stale";
  auto accepted = TMemoryStream::View("<svg id='new'/>");
  EXPECT_TRUE(ParseSvgDocument(*accepted, record, true));
  EXPECT_EQ(Dump(record), "ID=new");
}

// One extractor reads drawing after drawing, keeping the reader's memory; what
// it answers never depends on what it read before, also after a read failed
// inside the reader or a drawing larger than what it keeps.
TEST(SvgExtractor, AnswersAsAFreshReaderWhateverCameBefore) {
  // The first byte reads; every later read fails, the parser input's first one.
  class TFailsAfterFirstByte : public TStream {
   public:
    std::size_t Read(void* ABuffer, std::size_t ACount) override {
      if (FRead || ACount == 0) throw EStreamError("read failed");
      FRead = true;
      *static_cast<char*>(ABuffer) = '<';
      return 1;
    }
    std::int64_t Position() const override { return 0; }
    void Seek(std::int64_t) override {}
    std::int64_t Size() const override { return -1; }

   private:
    bool FRead = false;
  };
  const std::string big = "<svg id='big' width='3in'><!-- Created with Big -->" +
                          std::string(600000, ' ') + "<g/></svg>";
  const char* const drawings[] = {"<svg id='a'/>", nullptr, "<svg id='b' width='2in'/>",
                                  big.c_str(),     nullptr, "<svg id='c'/>"};
  TSvgExtractor extractor;
  for (const char* drawing : drawings) {
    SCOPED_TRACE(drawing ? std::string(drawing).substr(0, 30) : "a failing stream");
    TVexmeta record;
    if (drawing == nullptr) {
      TFailsAfterFirstByte failing;
      EXPECT_FALSE(extractor.Parse(failing, record, true));
      continue;
    }
    TVexmeta fresh;
    const bool expected = ParseSvgDocument(*TMemoryStream::View(drawing), fresh, true);
    EXPECT_EQ(extractor.Parse(*TMemoryStream::View(drawing), record, true), expected);
    EXPECT_EQ(Dump(record), Dump(fresh));
  }
}

// A stream whose reads fail the way a file that vanishes under the reader does.
class TFailingStream : public TStream {
 public:
  explicit TFailingStream(std::size_t AGoodBytes) : FGoodBytes(AGoodBytes) {}
  std::size_t Read(void* ABuffer, std::size_t ACount) override {
    if (FPosition >= FGoodBytes) throw EStreamError("read failed");
    std::size_t n = std::min(ACount, FGoodBytes - FPosition);
    std::fill_n(static_cast<char*>(ABuffer), n, '<');
    FPosition += n;
    return n;
  }
  std::int64_t Position() const override { return static_cast<std::int64_t>(FPosition); }
  void Seek(std::int64_t APosition) override { FPosition = static_cast<std::size_t>(APosition); }
  std::int64_t Size() const override { return 1 << 20; }

 private:
  std::size_t FGoodBytes;
  std::size_t FPosition = 0;
};

TEST(ParseSvgDocument, StreamErrorsGiveFalse) {
  for (std::size_t good : {0, 1, 100}) {
    SCOPED_TRACE(good);
    TFailingStream stream(good);
    TVexmeta record;
    EXPECT_FALSE(ParseSvgDocument(stream, record, true));
  }
}

// Every record text is cut, so a hostile drawing cannot pin megabytes in the cache.
TEST(ParseSvgDocument, CutsEveryRecordText) {
  const std::string huge(1 << 20, 'x');
  const std::string svg = "<!--  Created with " + std::string(5000, ' ') + huge +
                          " --><svg width='" + huge + "' height='" + huge + "' id='" + huge +
                          "'><metadata><rdf:RDF><cc:Work><dc:date>" + huge + "T</dc:date>" +
                          "<dc:title>" + huge + "</dc:title></cc:Work></rdf:RDF></metadata></svg>";
  TParsed got = Parse(svg);
  ASSERT_TRUE(got.Ok);
  const std::u16string cut(cMaxRecordText, u'x');
  EXPECT_EQ(got.Record.Width, cut);
  EXPECT_EQ(got.Record.Height, cut);
  EXPECT_EQ(got.Record.ID, cut);
  EXPECT_EQ(got.Record.MetadataTitle, cut);
  EXPECT_EQ(got.Record.MetadataDate, cut);
  // Trimmed and stripped of its prefix before the cut.
  EXPECT_EQ(got.Record.Application, cut);
  EXPECT_LE(got.Record.Width.capacity(), 2 * cMaxRecordText);

  // A character outside the basic plane straddling the cut is dropped whole.
  const std::string id = std::string(cMaxRecordText - 1, 'a') + "\xF0\x9F\x98\x80" + "bbb";
  TParsed pair = Parse("<svg id='" + id + "'/>");
  ASSERT_TRUE(pair.Ok);
  EXPECT_EQ(pair.Record.ID, std::u16string(cMaxRecordText - 1, u'a'));
}

// Only the start of a long value is converted; the text kept is the same as if
// the whole value were, for characters of every length and for ill-formed bytes
// up to and across where the conversion stops.
TEST(ParseSvgDocument, LongTextsAreCutAsIfConvertedWhole) {
  auto repeat = [](std::string_view AUnit, int ACount) {
    std::string s;
    for (int i = 0; i < ACount; ++i) s += AUnit;
    return s;
  };
  const std::string emoji = "\xF0\x9F\x98\x80";
  const std::string cases[] = {
      repeat(emoji, 5000),
      repeat("\xE6\xB8\xAF", 9000),
      std::string(20000, '\x80'),
      "a" + repeat(emoji, 5000),
      std::string(4 * 4096 - 2, '\x80') + emoji + "tail",
      std::string(4 * 4096 - 1, 'b') + "\xE6\xB8" + std::string(10, 'c'),
  };
  for (const std::string& value : cases) {
    SCOPED_TRACE(value.size());
    std::u16string want = utf8::ToUtf16(value);
    CutRecordText(want);
    TParsed got = Parse("<!--Created with " + value + "--><svg id='" + value +
                        "'><metadata><rdf:RDF><cc:Work><dc:title>" + value +
                        "</dc:title></cc:Work></rdf:RDF></metadata></svg>");
    ASSERT_TRUE(got.Ok);
    EXPECT_EQ(got.Record.ID, want);
    EXPECT_EQ(got.Record.MetadataTitle, want);
    EXPECT_EQ(got.Record.Application, want);
  }
}

// Every text of the record is decoded alike on every platform: one U+FFFD per
// maximal ill-formed subpart, whether in an attribute, the metadata or a comment.
TEST(ParseSvgDocument, IllFormedUtf8GivesTheSameTextEverywhere) {
  const std::string svg =
      "<!-- Created with Tool \xED\xA0\xBD\xED\xB8\x80 -->"
      "<svg id='A\xF4\x90\x80\x80"
      "B' sodipodi:docname='\xE2\x82.svg' width='\xC0\xAF'>"
      "<metadata><rdf:RDF><cc:Work><dc:title>x\xF0\x9F\x98</dc:title>"
      "<dc:description>\xF0\x9F\x98\x80\x80</dc:description></cc:Work></rdf:RDF></metadata>"
      "</svg>";
  TParsed got = Parse(svg);
  ASSERT_TRUE(got.Ok);
  const TVexmeta& r = got.Record;
  EXPECT_EQ(r.ID, u"A\uFFFD\uFFFD\uFFFD\uFFFDB");
  EXPECT_EQ(r.Application, u"Tool \uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(r.SodipodiDocname, u"\uFFFD.svg");
  EXPECT_EQ(r.Width, u"\uFFFD\uFFFD");
  EXPECT_EQ(r.MetadataTitle, u"x\uFFFD");
  EXPECT_EQ(r.MetadataDescription, u"\U0001F600\uFFFD");
}

// A host's worker thread may have a small stack; deep nesting must not matter.
TEST(ParseSvgDocument, DeepNestingOnASmallStack) {
  constexpr int cDepth = 100000;
  std::string svg = "<svg width='2' height='3'>";
  for (int i = 0; i < cDepth; ++i) svg += "<g>";
  svg += "<image xlink:href='data:image/png,'/>";
  for (int i = 0; i < cDepth; ++i) svg += "</g>";
  svg += "<!-- Generator: Deep --></svg>";
  TParsed got{false, {}};
  ASSERT_TRUE(platform::RunOnThreadWithStack(256 * 1024, [&] { got = Parse(svg); }));
  EXPECT_TRUE(got.Ok);
  EXPECT_EQ(Dump(got.Record), "Application=Deep|Width=2|Height=3|Size=2x3|Image");
}

// The fixtures made for where real drawings keep their facts: embedded images
// in groups, generator comments however phrased, the drawing's own title and
// description, RDF container items, other prefixes, numbers as SVG writes them.
TEST(ParseSvgDocument, FixturesOfWhereDrawingsKeepTheirFacts) {
  const std::map<std::string, std::string> expected = {
      {"image-in-group.svg",
       "SVGVersion=1.1|Application=Chartsmith 4.1 (plotting)|Width=120pt|Height=90pt|ViewBox=0 0 "
       "160 120|Size=160x120|Image"},
      {"image-href-after-link.svg", "Width=64|Height=32|ViewBox=0 0 64 32|Size=64x32|Image"},
      {"generated-by-graph-layout.svg",
       "Application=graphviz version 2.43.0 (0)|Width=62pt|Height=116pt|ViewBox=0.00 0.00 62.00 "
       "116.00|Size=83x155"},
      {"licence-then-generator.svg",
       "Application=Iconforge 2.3|Width=24|Height=24|ViewBox=0 0 24 "
       "24|MetadataTitle*=Bell|MetadataDescription*=A bell for notifications|Size=24x24"},
      {"numbers-with-exponents.svg",
       "Application=hand|Width=1e2|Height=5E1|ViewBox=0 0 1560 1e3|Size=100x50"},
      {"half-pixel-at-90.svg", "Width=1454pt|Height=1e3|ViewBox=0 0 1454 1000|Size=1939x1000"},
      {"viewbox-exponent.svg", "ViewBox=0 0 1560 1e3|ID=wide-sheet|Size=1560x1000"},
      {"sizes-with-blanks.svg",
       "Application=Handmade|Width=100|Height=50|ViewBox=0 0 100 600|Size=100x50"},
      {"title-in-an-alternative.svg",
       "Width=40|Height=30|MetadataTitle=Lock gate|MetadataDescription=First of two|Size=40x30"},
      {"other-prefixes.svg",
       "Application=Inkscape 1.2.2|Width=48|Height=48|InkscapeVersion=1.2.2|MetadataTitle="
       "Prefixes of its own|MetadataDate=2022-11-03|Size=48x48|Image"},
      // Texts as people read them, names in every namespace form, every writer named.
      {"title-on-its-own-line.svg",
       "Width=32|Height=32|ViewBox=0 0 32 32|MetadataTitle*=Lemon tree|MetadataDescription*=A "
       "small tree with three lemons,|n    drawn for an icon set.|Size=32x32"},
      {"description-crlf.svg",
       "Width=20|Height=10|MetadataTitle*=Lines written with CR LF|MetadataDescription*=First "
       "line|nsecond line|n|nafter an empty one|Size=20x10"},
      {"description-cr.svg",
       "Width=20|Height=10|MetadataTitle*=Lines written with CR|MetadataDescription*=First "
       "line|nsecond line|n|nafter an empty one|Size=20x10"},
      {"description-lf.svg",
       "Width=20|Height=10|MetadataTitle*=Lines written with LF|MetadataDescription*=First "
       "line|nsecond line|n|nafter an empty one|Size=20x10"},
      {"attribute-line-break.svg",
       "Width=40|Height=30|ViewBox=0 0               40 30|ID=wrapped-id|SodipodiDocname=two "
       "lines.svg|Size=40x30"},
      {"work-default-namespace.svg",
       "Width=64|Height=64|MetadataTitle=Lemon|MetadataDescription=A lemon, cut in "
       "half|MetadataDate=2005-08-30|Size=64x64"},
      {"title-declared-on-itself.svg",
       "Width=16|Height=16|MetadataTitle=Declared on itself|MetadataDescription=In the default "
       "namespace|Size=16x16"},
      {"editor-version-alone.svg",
       "Application=Inkscape 1.2.2 (b0a8486541, 2022-12-01)|Width=24|Height=24|ViewBox=0 0 24 "
       "24|InkscapeVersion=1.2.2 (b0a8486541, 2022-12-01)|SodipodiDocname=star.svg|Size=24x24"},
      {"statement-before-the-root.svg",
       "Application=dvisvgm 1.9.2|Width=12pt|Height=9pt|ViewBox=0 0 12 9|Size=16x12"},
      {"statement-in-the-root.svg", "Application=Graph::Easy v0.76|Width=80|Height=40|Size=80x40"},
      {"statement-in-metadata.svg",
       "Application=potrace 1.16, written by its authors 2001-2019|Width=100pt|Height=50pt|"
       "ViewBox=0 0 100 50|Size=133x67"},
      {"statement-in-desc.svg",
       "Application=GNUPLOT 5.4 patchlevel 4|Width=600|Height=400|ViewBox=0 0 600 "
       "400|MetadataTitle*=Plot|MetadataDescription*=Produced by GNUPLOT 5.4 patchlevel "
       "4|Size=600x400"},
  };
  const std::filesystem::path folder = std::filesystem::path(VX_SOURCE_DIR) / "tests" / "fixtures";
  for (const auto& [name, record] : expected) {
    SCOPED_TRACE(name);
    TParsed got = Parse(testing_support::ReadFile(folder / name));
    EXPECT_TRUE(got.Ok);
    EXPECT_EQ(Dump(got.Record), record);
  }
  // At 90 dpi the half pixel rounds to even too.
  TVexmeta half = Parse(testing_support::ReadFile(folder / "half-pixel-at-90.svg")).Record;
  CalcDimensions(half, 90);
  EXPECT_EQ(half.IntWidth, 1818);
}

TEST(CutRecordText, KeepsAtMostTheLimitAndWholePairs) {
  const std::u16string pair = u"\U0001F600";
  struct TCase {
    const char* Label;
    std::u16string Text;
    std::u16string Expected;
  } cases[] = {
      {"short", u"abc", u"abc"},
      {"at the limit", std::u16string(cMaxRecordText, u'a'), std::u16string(cMaxRecordText, u'a')},
      {"one over", std::u16string(cMaxRecordText + 1, u'a'), std::u16string(cMaxRecordText, u'a')},
      {"pair across the cut", std::u16string(cMaxRecordText - 1, u'a') + pair,
       std::u16string(cMaxRecordText - 1, u'a')},
      {"pair before the cut", std::u16string(cMaxRecordText - 2, u'a') + pair + u"b",
       std::u16string(cMaxRecordText - 2, u'a') + pair},
      {"pair at the end, not cut", std::u16string(cMaxRecordText - 2, u'a') + pair,
       std::u16string(cMaxRecordText - 2, u'a') + pair},
      {"1 MiB", std::u16string(1 << 20, u'z'), std::u16string(cMaxRecordText, u'z')},
  };
  for (TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    CutRecordText(c.Text);
    EXPECT_EQ(c.Text, c.Expected);
  }
}

// The lookups on a tree the reader built.
TEST(NodeLookups, FoldOnlyAsciiAndFollowPaths) {
  TXmlDocument document;
  auto stream = TMemoryStream::View(
      "<svg \xC3\x84x='attr' Metadata='attr'>"
      "<metadata><a><b>deep</b></a></metadata><metadata><a><c>second</c></a></metadata>"
      "<\xC3\xA4x>element</\xC3\xA4x></svg>");
  document.LoadFromStream(*stream);
  ASSERT_GT(document.RootNodes().Count(), 0);
  TXmlNode* root = nullptr;
  for (std::int32_t i = 0; i < document.RootNodes().Count(); ++i)
    if (document.RootNodes().Items(i)->ElementType() == xeElement)
      root = document.RootNodes().Items(i);
  ASSERT_NE(root, nullptr);

  // Multi-byte characters match only as they stand: "\xC3\x84" (A-umlaut) is not
  // folded to "\xC3\xA4" (a-umlaut).
  EXPECT_EQ(GetChildValue(root, "\xC3\x84x"), u"attr");
  EXPECT_EQ(GetChildValue(root, "\xC3\xA4x"), u"element");
  EXPECT_EQ(GetChildValue(root, "\xC3\xA4X"), u"element");
  EXPECT_EQ(GetChildValue(root, "missing"), u"");
  EXPECT_EQ(FindChildByName(root, "metadat"), nullptr);
  EXPECT_EQ(FindChildByName(nullptr, "svg"), nullptr);
  // An attribute and a child element are found alike; the first in list order wins.
  ASSERT_NE(FindChildByName(root, "metadata"), nullptr);
  EXPECT_EQ(FindChildByName(root, "metadata")->ElementType(), xeAttribute);

  struct TCase {
    std::string_view Path;
    const char* Value;  // null: nothing found
  } cases[] = {
      {"a\\b", "deep"},    {"A\\B\\", "deep"},    {"a\\c", nullptr}, {"a\\\\b", nullptr},
      {"\\a\\b", nullptr}, {"a\\b\\\\", nullptr}, {"", nullptr},     {"\\", nullptr},
  };
  TXmlNode* metadata = root->Nodes(root->NodeCount() - 3);
  ASSERT_EQ(metadata->Name(), "metadata");
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Path));
    TXmlNode* found = FindNodeByPath(metadata, c.Path);
    if (c.Value == nullptr) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->Value(), c.Value);
    }
  }
}

// The bundled example drawings that are plain SVG files.
TEST(ParseSvgDocument, ExampleDrawings) {
  const std::map<std::string, std::string> expected = {
      {"editor-drawing.svg",
       "SVGVersion=1.1|Application=Quillpath Studio "
       "(https://quillpath.example/)|Width=320|Height=240|ViewBox=0 0 320 "
       "240|ID=harbour-at-dusk|InkscapeVersion=0.92.4 (5da689c313, "
       "2019-01-14)|SodipodiVersion=0.32|SodipodiDocbase=/home/marta/"
       "drawings|SodipodiDocname=harbour-at-dusk.svg|MetadataTitle=Harbour at "
       "dusk|MetadataDescription=Two boats & a lighthouse, flat colours|MetadataDate=2019-03-17 "
       "15:14:01|Size=320x240"},
      {"paper-a4-mm.svg",
       "SVGVersion=1.1|Application=Platewright Layout 3.2|Width=210mm|Height=297mm|ViewBox=0 0 210 "
       "297|ID=a4-sheet|Size=794x1123"},
      {"badge-points.svg",
       "SVGVersion=1.1|Application=Hand-written in a text editor|Width=72pt|Height=36pt|ViewBox=0 "
       "0 96 48|ID=badge|MetadataTitle*=Badge with a Latin-1 caf\xC3\xA9 sign|Size=96x48"},
      {"scaled-percent.svg", "Width=50%|Height=25%|ViewBox=0 0 800 600|Size=400x150"},
      {"embedded-photo.svg",
       "SVGVersion=1.1|Application=Pixelweave 2.0|Width=1in|Height=0.75in|ViewBox=0 0 96 "
       "72|Size=96x72|Image"},
      {"compressed-icon.svg",
       "SVGVersion=1.1|Application=Quillpath Studio|Width=4.5cm|Height=4.5cm|ViewBox=0 0 170 "
       "170|ID=gear-icon|Size=170x170"},
      {"zipped-map.svg",
       "SVGVersion=1.2|Application=Contourmaker 1.4|ViewBox=0,0,640,480|ID=trail-map|Size=640x480"},
  };
  // The plain drawings, and the sources of the compressed ones.
  const std::filesystem::path root(VX_SOURCE_DIR);
  std::vector<std::filesystem::path> files;
  for (const auto& folder : {root / "examples", root / "scripts" / "example-sources"})
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      if (entry.is_regular_file() && entry.path().extension() == ".svg")
        files.push_back(entry.path());
  ASSERT_FALSE(files.empty());
  std::size_t checked = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    const std::string bytes = testing_support::ReadFile(file);
    TParsed got = Parse(bytes);
    EXPECT_TRUE(got.Ok);
    auto it = expected.find(file.filename().string());
    if (it != expected.end()) {
      EXPECT_EQ(Dump(got.Record), it->second);
      ++checked;
    }
  }
  EXPECT_EQ(checked, expected.size());
}

}  // namespace
