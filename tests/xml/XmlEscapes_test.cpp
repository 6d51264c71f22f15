// Character references, markup escaping and line-end conversion of raw values.
#include "xml/XmlEscapes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Escapes, UnescapeResolvesPredefinedAndNumericReferences) {
  struct TCase {
    std::string Raw;
    std::string Expected;
  };
  const TCase cases[] = {
      {"a &amp; b &lt;c&gt;", "a & b <c>"},
      {"&amp;amp;", "&amp;"},  // one pass: a replacement is never looked at again
      {"&apos;&quot;", "'\""},
      {"&#65;&#x42;&#X43;", "ABC"},
      {"&#233;", "\xC3\xA9"},
      {"&#0x44;&#$45;&#+70;&# 71;", "DEFG"},
      {"&#65535;", "\xEF\xBF\xBF"},
      {"&#10;&#13;", "\n\r"},
      // Left as written: out of range, negative, not a number, empty, unknown names.
      {"&#65536;", "&#65536;"},
      {"&#x1F600;", "&#x1F600;"},
      {"&#-1;", "&#-1;"},
      {"&#12a;", "&#12a;"},
      {"&#;", "&#;"},
      {"&AMP;", "&AMP;"},
      {"&nbsp;", "&nbsp;"},
      {"&ns_svg;", "&ns_svg;"},
      // An "&" with no ";" before the next "&" or the end stays itself.
      {"a & b", "a & b"},
      {"&amp &lt;", "&amp <"},
      {"x&", "x&"},
      {"&&amp;", "&&"},
      {";&;", ";&;"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Raw);
    std::string buffer;
    EXPECT_EQ(UnescapeText(c.Raw, buffer), c.Expected);
  }
}

TEST(Escapes, SurrogateAndNulReferencesAreConsumed) {
  for (std::string raw : {"a&#55357;b", "a&#xDFFF;b", "a&#0;b"}) {
    SCOPED_TRACE(raw);
    std::string buffer;
    std::string_view out = UnescapeText(raw, buffer);
    EXPECT_EQ(out.find("&#"), std::string_view::npos);
    EXPECT_EQ(out.front(), 'a');
    EXPECT_EQ(out.back(), 'b');
  }
}

TEST(Escapes, NothingToChangeReturnsTheInputItself) {
  const std::string plain = "plain text without markup";
  std::string buffer;
  EXPECT_EQ(UnescapeText(plain, buffer).data(), plain.data());
  EXPECT_EQ(EscapeText(plain, buffer).data(), plain.data());
  EXPECT_EQ(NormaliseLineEnds(plain, buffer).data(), plain.data());
  EXPECT_EQ(ApplyEolStyle(plain, esCRLF, buffer).data(), plain.data());
  const std::string lines = "a\nb";
  EXPECT_EQ(ApplyEolStyle(lines, esLF, buffer).data(), lines.data());
  EXPECT_TRUE(buffer.empty());
}

TEST(Escapes, EscapeReplacesTheFiveMarkupCharacters) {
  std::string buffer;
  EXPECT_EQ(EscapeText("x < y & z", buffer), "x &lt; y &amp; z");
  EXPECT_EQ(EscapeText("&amp;'\">", buffer), "&amp;amp;&apos;&quot;&gt;");
  std::string back;
  EXPECT_EQ(UnescapeText(EscapeText("a<'&\">b", buffer), back), "a<'&\">b");
}

TEST(Escapes, LineEnds) {
  struct TCase {
    std::string In;
    TXmlEolStyle Style;
    std::string Expected;
  };
  const TCase apply[] = {{"a\nb", esCRLF, "a\r\nb"},
                         {"a\nb", esLF, "a\nb"},
                         {"\n\n", esCR, "\r\r"},
                         {"\na\n", esCRLF, "\r\na\r\n"}};
  for (const TCase& c : apply) {
    SCOPED_TRACE(c.In);
    std::string buffer;
    EXPECT_EQ(ApplyEolStyle(c.In, c.Style, buffer), c.Expected);
    EXPECT_EQ(EolText(c.Style).size(), c.Style == esCRLF ? 2u : 1u);
  }
  const std::pair<std::string, std::string> normalise[] = {
      {"a\r\nb", "a\nb"}, {"a\rb", "a\nb"}, {"\r\r\n\n", "\n\n\n"}, {"x\r", "x\n"}};
  for (const auto& [in, expected] : normalise) {
    SCOPED_TRACE(in);
    std::string buffer;
    EXPECT_EQ(NormaliseLineEnds(in, buffer), expected);
  }
}

TEST(Escapes, DecodeRawValueConvertsLineEndsBeforeReferences) {
  EXPECT_EQ(DecodeRawValue("a\nb", esCRLF), "a\r\nb");
  EXPECT_EQ(DecodeRawValue("a\nb", esLF), "a\nb");
  // A line end written as a reference keeps its code whatever the style.
  EXPECT_EQ(DecodeRawValue("a&#10;b\n&lt;", esCRLF), "a\nb\r\n<");
  EXPECT_EQ(DecodeRawValue("&#13;", esLF), "\r");
  EXPECT_EQ(DecodeRawValue("", esCRLF), "");
  EXPECT_EQ(DecodeRawValue("plain", esCR), "plain");
}

}  // namespace
