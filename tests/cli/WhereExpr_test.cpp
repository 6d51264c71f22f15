// The host tool's --where expressions: what they select from one drawing's
// values (names in any case and with any blanks, units, numbers against texts,
// "~" with letter case folded, fields without a value, precedence), the fields
// they ask for, and where a bad expression is reported.
#include "WhereExpr.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using where::TExpression;
using where::TFieldName;
using where::TFieldUse;
using where::TParseError;

namespace {

// A few rows of the plugin's table, with the names that share words.
const std::vector<TFieldName> cFields = {
    {"Width", {}, false},                        // 0
    {"ID", {}, false},                           // 1
    {"Have Embedded Image", {}, true},           // 2
    {"Metadata Title", {}, false},               // 3
    {"Sodipodi Docname", {}, false},             // 4
    {"Calculated Width", {"96", "90"}, false},   // 5
    {"Calculated Height", {"96", "90"}, false},  // 6
};

using TValues = std::map<std::pair<int, int>, std::string>;

// One drawing's values by field and unit; Sodipodi Docname has none.
const TValues cDrawing = {
    {{0, 0}, "2in"},
    {{1, 0}, "quay"},
    {{2, 0}, "false"},
    {{3, 0},
     "Quay, \"north\" \xC3\x89"
     "COLE STRASSE"},
    {{5, 0}, "1200"},
    {{5, 1}, "990"},
    {{6, 0}, "96"},
    {{6, 1}, "90"},
};

std::optional<bool> Select(const std::string& AText, const TValues& AValues = cDrawing) {
  TParseError error;
  std::optional<TExpression> expression = TExpression::Parse(AText, cFields, error);
  if (!expression) {
    ADD_FAILURE() << AText << ": " << error.Message;
    return std::nullopt;
  }
  std::vector<std::optional<std::string>> values;
  for (const TFieldUse& use : expression->Uses()) {
    auto found = AValues.find({use.Field, use.Unit});
    values.push_back(found == AValues.end() ? std::nullopt : std::optional(found->second));
  }
  return expression->Matches(values);
}

TEST(WhereExpr, SelectsByTheValues) {
  struct TCase {
    const char* Text;
    bool Selected;
  };
  const TCase cases[] = {
      // Names in any case, blanks as any run of blanks, the longest name first.
      {"Calculated Width >= 1000", true},
      {"calculated   WIDTH>=1000", true},
      {"Width = 2in", true},
      {"Calculated Width:90 < 1000", true},
      {"Calculated Width:96 < 1000", false},
      // Numbers as numbers (as texts "1200" < "900"), texts as texts.
      {"Calculated Width > 900", true},
      {"Calculated Width = 1200.0", true},
      {"Calculated Width > 1e4", false},
      {"1000 <= Calculated Width", true},
      {"Calculated Width > Calculated Height", true},
      {"ID = quay", true},
      {"ID = Quay", false},
      {"ID != quay", false},
      {"ID < quaz", true},
      {"Width < 10", false},  // "2in" is no number: compared as a text
      // "~": a part of the text, letter case ignored, beyond ASCII too.
      {"Metadata Title ~ NORTH", true},
      {"Metadata Title ~ 'quay, \"north'", true},
      {"Metadata Title ~ \"\"\"north\"\"\"", true},
      {"Metadata Title ~ \xC3\xA9"
       "cole",
       true},
      {"Metadata Title ~ south", false},
      // A bare field: present, a boolean only when true.
      {"ID", true},
      {"Sodipodi Docname", false},
      {"Have Embedded Image", false},
      {"not Have Embedded Image", true},
      {"Have Embedded Image = false", true},
      // No value: every comparison is false; "not" turns it.
      {"Sodipodi Docname = x", false},
      {"Sodipodi Docname != x", false},
      {"not Sodipodi Docname = x", true},
      // "not" before "and" before "or"; parentheses first.
      {"ID = x or ID = quay and Calculated Width < 10", false},
      {"(ID = x or ID = quay) and Calculated Width > 10", true},
      {"not ID = x and not (Width = 1in or Width = 3in)", true},
      {"NOT not ID AND ID Or Sodipodi Docname", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Select(c.Text), c.Selected);
  }
#if !defined(_WIN32)
  // Full case folding: "ß" is "ss" (ICU); the Windows build lower-cases.
  EXPECT_EQ(Select("Metadata Title ~ stra\xC3\x9F"
                   "e"),
            true);
#endif
}

TEST(WhereExpr, AsksForEachFieldAndUnitOnce) {
  TParseError error;
  auto expression = TExpression::Parse(
      "Calculated Width > 1 and calculated width:96 < 5 or (ID and Calculated Width:90)", cFields,
      error);
  ASSERT_TRUE(expression) << error.Message;
  const std::vector<TFieldUse> expected = {{5, 0}, {1, 0}, {5, 1}};
  EXPECT_EQ(expression->Uses(), expected);
}

TEST(WhereExpr, BadExpressionsPointAtThePlace) {
  struct TCase {
    std::string Text;
    std::size_t Offset;
    const char* Message;  // a part of it
  };
  const TCase cases[] = {
      {"", 0, "empty"},
      {"   ", 3, "empty"},
      {"Widht >= 3", 0, "no field \"Widht\""},
      {"Calculated Widht >= 3", 0, "no field \"Calculated\""},
      {"3 = 4", 0, "no field \"3\""},
      {"Calculated Width >=", 19, "after \">=\""},
      {"Calculated Width:72 > 1", 17, "no unit \"72\" (its units: 96, 90)"},
      {"ID:96", 3, "it has no units"},
      {"(ID = x", 7, "\")\""},
      {"ID = 'x", 5, "no closing quote"},
      {"ID ID", 3, "expected \"and\", \"or\""},
      {"ID and", 6, "expected a field name"},
      {"ID = )", 5, "expected a field name or a value here"},
      {std::string(100, '(') + "ID" + std::string(100, ')'), 64, "nested too deeply"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    TParseError error;
    EXPECT_FALSE(TExpression::Parse(c.Text, cFields, error));
    EXPECT_EQ(error.Offset, c.Offset);
    EXPECT_NE(error.Message.find(c.Message), std::string::npos) << error.Message;
  }
}

TEST(WhereExpr, ErrorShowsACaretUnderThePlace) {
  TParseError error;
  ASSERT_FALSE(TExpression::Parse("Title ~ x and Widht > 3", cFields, error));
  // "Title" alone is no field: only whole names count.
  EXPECT_EQ(where::DescribeError("Title ~ x and Widht > 3", error),
            "no field \"Title\" (vexmeta --fields lists them) (column 1)\n"
            "  Title ~ x and Widht > 3\n"
            "  ^\n");
  ASSERT_FALSE(TExpression::Parse("ID ~ \xC3\xA9t\xC3\xA9 Widht", cFields, error));
  EXPECT_EQ(where::DescribeError("ID ~ \xC3\xA9t\xC3\xA9 Widht", error),
            "expected \"and\", \"or\" or the end here (column 10)\n"
            "  ID ~ \xC3\xA9t\xC3\xA9 Widht\n"
            "           ^\n");
}

}  // namespace
