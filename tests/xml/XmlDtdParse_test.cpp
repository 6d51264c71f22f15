// DOCTYPE and internal-subset parsing: external identifiers, declarations kept as
// text, entities never substituted, and the broken forms that leave the rest of a
// declaration to the root level.
#include <gtest/gtest.h>

#include "XmlTestLoad.h"

using xml_test::ExpectLoads;
using xml_test::TLoadOptions;
using xml_test::TXmlLoad;

namespace {

TEST(ParseDtd, DocTypeForms) {
  ExpectLoads({
      {"<!DOCTYPE svg><svg/>", {}, "!DOCTYPE svg,svg", ""},
      {"<!DOCTYPE svg PUBLIC '-//A//DTD B//EN' 'b.dtd'><svg/>",
       {},
       "!DOCTYPE svg PUBLIC Q'-//A//DTD B//EN' Q'b.dtd',svg",
       ""},
      // Keywords match in any case and as prefixes; the stored form is capitals.
      {"<!doctype svg system \"b.dtd\"><svg/>", {}, "!DOCTYPE svg SYSTEM Q\"\" Q\"b.dtd\",svg", ""},
      {"<!DOCTYPE svg SYSTEMATIC 'b.dtd'><svg/>",
       {},
       "!DOCTYPE svg SYSTEM Q\"\" Q\"\",T\"IC 'b.dtd'>\",svg",
       "W:quote char expected at pos 21 | W:illegal tag (\"T\") at pos 22"},
      // Neither keyword: the rest of the declaration becomes root-level text.
      {"<!DOCTYPE svg FOO><svg/>",
       {},
       "!DOCTYPE svg,T\"FOO>\",svg",
       "W:illegal tag (\"F\") at pos 14"},
      // A PUBLIC identifier without system literal: that reader eats the ">", the
      // DOCTYPE then eats the "<" of the next tag, and the root level reads on.
      {"<!DOCTYPE html PUBLIC '-//A//EN'>\n<html>x</html>",
       {},
       "!DOCTYPE html PUBLIC Q'-//A//EN' Q\"\",T\"html>x\"",
       "W:quote char expected at pos 33 | W:illegal tag (\"<\") at pos 35 | "
       "W:unsupported tag (\"EndTag\") at pos 43"},
  });
}

TEST(ParseDtd, InternalSubset) {
  ExpectLoads({
      {"<!DOCTYPE svg [ <!ENTITY st0 'fill:none'> ]><svg a='&st0;'/>",
       {},
       "!DOCTYPE svg(!ENTITY st0(Q'fill:none')),svg(@a=&st0;)",
       ""},
      {"<!DOCTYPE svg [<!ELEMENT svg (g|path)* >]><svg/>",
       {},
       "!DOCTYPE svg(!ELEMENT svg(T\"(g|path)* \")),svg",
       ""},
      {"<!DOCTYPE svg [<!ATTLIST svg xmlns CDATA #FIXED 'x'>]><svg/>",
       {},
       "!DOCTYPE svg(!ATTLIST svg(T\"xmlns CDATA #FIXED 'x'\")),svg",
       ""},
      {"<!DOCTYPE svg [<!NOTATION gif SYSTEM 'image/gif'><!-- c --><?pi?>]><svg/>",
       {},
       "!DOCTYPE svg(!NOTATION gif(T\"SYSTEM 'image/gif'\"),C\" c \",P\"pi\"),svg",
       ""},
      // A body ends at the first ">", even inside a quoted default. The rest is
      // skipped token by token ("]" is no stop byte), to the end of the input.
      {"<!DOCTYPE s [<!ATTLIST s a CDATA 'x>y'>]><s/>",
       {},
       "!DOCTYPE s(!ATTLIST s(T\"a CDATA 'x\"))",
       "W:illegal tag (\"y\") at pos 37 | W:illegal tag (\">\") at pos 39 | "
       "W:illegal tag (\">\") at pos 41 | W:illegal tag (\"/\") at pos 44 | "
       "W:illegal tag (\">\") at pos 45 | W:stream terminated prematurely at pos 45 | "
       "F:stream terminated prematurely at pos 45 | W:illegal tag (\"\\0\") at pos 45"},
      // Unquoted words of an entity: one empty literal per byte, each with a warning.
      {"<!DOCTYPE s [<!ENTITY % p 'v'>]><s/>",
       {},
       "!DOCTYPE s(!ENTITY %(Q\"\",Q'v')),s",
       "W:quote char expected at pos 25"},
      {"<!DOCTYPE s [<!ENTITY a 'x'  >]><s/>",
       {},
       "!DOCTYPE s(!ENTITY a(Q'x')),s",
       "H:non-default chardata at line 0 (pos 30)"},
      {"<!DOCTYPE s [<!ENTITY a 'x'/]><s/>",
       {},
       "!DOCTYPE s(!ENTITY a(Q'x')),s",
       "F:illegal end tag (\"/\") at line 0 (streampos 28)"},
      // Parameter-entity references between declarations are skipped.
      {"<!DOCTYPE s [%ents; <!ELEMENT a ANY>]><s/>",
       {},
       "!DOCTYPE s(!ELEMENT a(T\"ANY\")),s",
       "W:illegal tag (\"%\") at pos 14"},
      // Line breaks between declarations are kept as white space when preserved;
      // a single space is not.
      {"<!DOCTYPE s [<!ELEMENT a ANY>\n<!ELEMENT b ANY> <!ELEMENT c ANY>]><s/>",
       TLoadOptions{.Preserve = true},
       "!DOCTYPE s(!ELEMENT a(T\"ANY\"),W\"\\n\",!ELEMENT b(T\"ANY\"),!ELEMENT c(T\"ANY\")),s", ""},
      // Markup that a subset does not allow ends it.
      {"<!DOCTYPE s [<a/>]><s/>",
       {},
       "!DOCTYPE s,T\"/>]>\",s",
       "W:illegal tag (\"Element\") at pos 14 | W:illegal tag (\"a\") at pos 15"},
      // A subset the input never closes keeps what it read; the load ends normally.
      {"<!DOCTYPE s [<!ELEMENT a ANY>",
       {},
       "!DOCTYPE s(!ELEMENT a(T\"ANY\"))",
       "F:stream terminated prematurely at pos 29 | W:illegal tag (\"\\0\") at pos 29"},
  });
}

TEST(ParseDtd, DeclarationValuesAndAccessors) {
  TXmlLoad l(
      "<!DOCTYPE svg PUBLIC \"-//P\" 'u.dtd' [\n<!ENTITY st0 'fill:\nnone'>\n"
      "<!ELEMENT svg ANY>]>\n<svg a='&st0;'/>");
  TXmlDocType* d = l.Doc->DocType();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Name(), "svg");
  EXPECT_EQ(d->Value(), "");
  EXPECT_EQ(d->ExternalID()->Value(), "PUBLIC");
  EXPECT_EQ(d->PubIDLiteral()->Value(), "-//P");
  EXPECT_EQ(d->SystemLiteral()->Value(), "u.dtd");
  ASSERT_EQ(d->NodeCount(), 2);
  // Declarations give their body as written, quotes included, line ends in the
  // document's style; they count as elements of the DOCTYPE.
  EXPECT_EQ(d->Nodes(0)->ElementType(), xeDtdEntity);
  EXPECT_EQ(d->Nodes(0)->Value(), "'fill:\r\nnone'");
  EXPECT_EQ(d->Nodes(1)->Value(), "ANY");
  EXPECT_EQ(d->ElementCount(), 2);
  // No declared entity is ever substituted.
  EXPECT_EQ(l.Doc->Root()->AttributeValueByName("a"), "&st0;");
  EXPECT_EQ(l.NodeMessages(), "");
}

}  // namespace
