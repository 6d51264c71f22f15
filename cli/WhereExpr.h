// The expressions of the host tool's --where: a condition over a drawing's
// fields, parsed once against the plugin's field table (before any file is
// read) and then asked of each file with the values the plugin gave for the
// fields it names. No OS call and no state: the host tool hands in the field
// table and the values, and the platform layer's case folding serves "~".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace where {

// A field of the plugin's table as an expression names it.
struct TFieldName {
  std::string Name;                // as the plugin reports it ("Calculated Width")
  std::vector<std::string> Units;  // its units in order, none for most fields
  bool Boolean = false;            // a bare mention asks "true", not only "present"
};

// A field and unit an expression reads; the caller asks the plugin for it.
struct TFieldUse {
  std::int32_t Field = 0;
  std::int32_t Unit = 0;
  bool operator==(const TFieldUse&) const = default;
};

// Where and why an expression could not be read: Offset is the byte of the
// expression the message is about.
struct TParseError {
  std::size_t Offset = 0;
  std::string Message;
};

enum class TCompare : std::uint8_t {
  coEqual,
  coNotEqual,
  coLess,
  coLessEqual,
  coGreater,
  coGreaterEqual,
  coContains,  // "~": the left text holds the right one, letter case ignored
};

// A parsed expression. The grammar, loosest first:
//   or-expr  := and-expr { "or" and-expr }
//   and-expr := not-expr { "and" not-expr }
//   not-expr := "not" not-expr | "(" or-expr ")" | operand [ op operand ]
//   op       := "=" | "!=" | "<" | "<=" | ">" | ">=" | "~"
//   operand  := field [ ":" unit ] | number | "text" | 'text' | word
// Keywords and field names are matched in any letter case; a field name's
// blanks match any run of blanks, and the longest field name that fits is
// taken, so names with blanks need no quotes. A word that names no field is a
// text; every comparison names at least one field, and an operand alone must
// be a field (true when it has a value; a boolean field when it is true).
class TExpression {
 public:
  // Null when AText is no expression; AError then says where and why.
  static std::optional<TExpression> Parse(std::string_view AText,
                                          const std::vector<TFieldName>& AFields,
                                          TParseError& AError);

  // The fields and units the expression reads, each once.
  const std::vector<TFieldUse>& Uses() const { return FUses; }

  // Whether a file whose values these are matches. AValues[i] is the value of
  // Uses()[i] as the host tool prints it (an integer in decimal, a boolean as
  // true or false, a text as UTF-8), none when the file has none. A comparison
  // with a field that has no value is false, whatever the operator.
  bool Matches(const std::vector<std::optional<std::string>>& AValues) const;

 private:
  enum class TNodeKind : std::uint8_t { nkOr, nkAnd, nkNot, nkPresent, nkCompare };
  // A field (Use from 0: an index into FUses) or a text.
  struct TOperand {
    std::int32_t Use = -1;
    std::string Text;
  };
  struct TNode {
    TNodeKind Kind = TNodeKind::nkPresent;
    std::vector<std::int32_t> Children;  // or, and: two or more; not: one
    TCompare Compare = TCompare::coEqual;
    TOperand First;  // present, compare
    TOperand Second;
    bool Boolean = false;  // present: the field is a boolean
  };
  friend class TParser;

  bool Evaluate(std::int32_t ANode, const std::vector<std::optional<std::string>>& AValues) const;

  std::vector<TNode> FNodes;
  std::int32_t FRoot = -1;
  std::vector<TFieldUse> FUses;
};

// A parse error as the host tool reports it: the message, then the expression
// and a caret under the place on the lines below.
std::string DescribeError(std::string_view AText, const TParseError& AError);

}  // namespace where
