// The --where expressions (see WhereExpr.h): a recursive-descent parser over
// the bytes of the expression, whose nesting is bounded so that no expression
// can exhaust the stack, and the evaluation over one file's values.
#include "WhereExpr.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "base/Ascii.h"
#include "platform/HostPlatform.h"

namespace where {

namespace {

// Parentheses and "not"s deeper than this are refused: no one writes them,
// and the parser and the evaluation recurse on them.
constexpr int cMaxNesting = 64;

bool IsBlank(char AC) {
  return AC == ' ' || AC == '\t' || AC == '\n' || AC == '\r';
}

// What ends a word: a blank or a character of the grammar.
bool EndsWord(char AC) {
  return IsBlank(AC) || std::string_view("()=!<>~:\"'").find(AC) != std::string_view::npos;
}

// A decimal number, as a whole text: an optional minus, digits with an
// optional fraction, an optional exponent.
std::optional<double> AsNumber(const std::string& AText) {
  std::size_t i = 0;
  const std::size_t n = AText.size();
  auto digits = [&] {
    const std::size_t from = i;
    while (i < n && AText[i] >= '0' && AText[i] <= '9') ++i;
    return i - from;
  };
  if (i < n && AText[i] == '-') ++i;
  std::size_t count = digits();
  if (i < n && AText[i] == '.') {
    ++i;
    count += digits();
  }
  if (count == 0) return std::nullopt;
  if (i < n && (AText[i] == 'e' || AText[i] == 'E')) {
    ++i;
    if (i < n && (AText[i] == '+' || AText[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  // The host tool never sets a locale: the decimal point is a point.
  return std::strtod(AText.c_str(), nullptr);
}

bool Compare(TCompare AHow, const std::string& ALeft, const std::string& ARight) {
  if (AHow == TCompare::coContains) {
    const std::u16string text = platform::FoldCase(platform::Utf8ToUtf16(ALeft));
    const std::u16string part = platform::FoldCase(platform::Utf8ToUtf16(ARight));
    return text.find(part) != std::u16string::npos;
  }
  int order = 0;
  const std::optional<double> left = AsNumber(ALeft);
  const std::optional<double> right = left ? AsNumber(ARight) : std::nullopt;
  if (left && right)
    order = *left < *right ? -1 : (*left > *right ? 1 : 0);
  else
    order = ALeft.compare(ARight) < 0 ? -1 : (ALeft == ARight ? 0 : 1);  // UTF-8: code point order
  switch (AHow) {
    case TCompare::coEqual:
      return order == 0;
    case TCompare::coNotEqual:
      return order != 0;
    case TCompare::coLess:
      return order < 0;
    case TCompare::coLessEqual:
      return order <= 0;
    case TCompare::coGreater:
      return order > 0;
    case TCompare::coGreaterEqual:
      return order >= 0;
    case TCompare::coContains:
      break;
  }
  return false;
}

}  // namespace

class TParser {
 public:
  TParser(std::string_view AText, const std::vector<TFieldName>& AFields, TExpression& AOut)
      : FText(AText), FFields(AFields), FOut(AOut) {}

  bool Run(TParseError& AError) {
    Blanks();
    if (FPos == FText.size()) return Fail(FPos, "the expression is empty", AError);
    const std::int32_t root = Or(0, AError);
    if (root < 0) return false;
    Blanks();
    if (FPos < FText.size()) return Fail(FPos, "expected \"and\", \"or\" or the end here", AError);
    FOut.FRoot = root;
    return true;
  }

 private:
  using TNode = TExpression::TNode;
  using TNodeKind = TExpression::TNodeKind;
  using TOperand = TExpression::TOperand;

  static bool Fail(std::size_t AOffset, std::string AMessage, TParseError& AError) {
    AError = {AOffset, std::move(AMessage)};
    return false;
  }

  void Blanks() {
    while (FPos < FText.size() && IsBlank(FText[FPos])) ++FPos;
  }

  // Takes the keyword AWord (any case) when it stands whole at the position.
  bool Keyword(std::string_view AWord) {
    Blanks();
    if (FText.size() - FPos < AWord.size()) return false;
    if (!ascii::EqualsIgnoreCase(FText.substr(FPos, AWord.size()), AWord)) return false;
    const std::size_t end = FPos + AWord.size();
    if (end < FText.size() && !EndsWord(FText[end])) return false;
    FPos = end;
    return true;
  }

  std::int32_t Add(TNode ANode) {
    FOut.FNodes.push_back(std::move(ANode));
    return static_cast<std::int32_t>(FOut.FNodes.size() - 1);
  }

  // A chain of one kind ("or" of "and"s, "and" of "not"s) is one node.
  template <class TNext>
  std::int32_t Chain(TNodeKind AKind, std::string_view AWord, const TNext& ANext) {
    std::int32_t first = ANext();
    if (first < 0) return -1;
    TNode chain;
    chain.Kind = AKind;
    chain.Children.push_back(first);
    while (Keyword(AWord)) {
      const std::int32_t next = ANext();
      if (next < 0) return -1;
      chain.Children.push_back(next);
    }
    return chain.Children.size() == 1 ? first : Add(std::move(chain));
  }

  std::int32_t Or(int ADepth, TParseError& AError) {
    return Chain(TNodeKind::nkOr, "or", [&] {
      return Chain(TNodeKind::nkAnd, "and", [&] { return Not(ADepth, AError); });
    });
  }

  std::int32_t Not(int ADepth, TParseError& AError) {
    Blanks();
    const std::size_t start = FPos;
    if (ADepth >= cMaxNesting) {
      Fail(start, "nested too deeply", AError);
      return -1;
    }
    if (Keyword("not")) {
      const std::int32_t operand = Not(ADepth + 1, AError);
      if (operand < 0) return -1;
      TNode node;
      node.Kind = TNodeKind::nkNot;
      node.Children.push_back(operand);
      return Add(std::move(node));
    }
    if (FPos < FText.size() && FText[FPos] == '(') {
      ++FPos;
      const std::int32_t inner = Or(ADepth + 1, AError);
      if (inner < 0) return -1;
      Blanks();
      if (FPos >= FText.size() || FText[FPos] != ')') {
        Fail(FPos, "expected \")\" to close the \"(\" at column " + std::to_string(start + 1),
             AError);
        return -1;
      }
      ++FPos;
      return inner;
    }
    return Condition(AError);
  }

  // operand [op operand]
  std::int32_t Condition(TParseError& AError) {
    Blanks();
    const std::size_t firstAt = FPos;
    TNode node;
    if (!Operand(node.First, AError)) return -1;
    Blanks();
    const std::size_t opAt = FPos;
    if (!Operator(node.Compare)) {
      if (node.First.Use < 0) {
        Fail(firstAt, NoField(node.First.Text), AError);
        return -1;
      }
      node.Kind = TNodeKind::nkPresent;
      node.Boolean = FBoolean[static_cast<std::size_t>(node.First.Use)];
      return Add(std::move(node));
    }
    Blanks();
    if (FPos >= FText.size()) {
      Fail(FPos,
           "expected a field name or a value after \"" +
               std::string(FText.substr(opAt, FPos - opAt)) + "\"",
           AError);
      return -1;
    }
    if (!Operand(node.Second, AError)) return -1;
    if (node.First.Use < 0 && node.Second.Use < 0) {
      Fail(firstAt, NoField(node.First.Text), AError);
      return -1;
    }
    node.Kind = TNodeKind::nkCompare;
    return Add(std::move(node));
  }

  static std::string NoField(const std::string& AWord) {
    return "no field \"" + AWord + "\" (vexmeta --fields lists them)";
  }

  bool Operator(TCompare& AOut) {
    struct TSpelling {
      std::string_view Text;
      TCompare Compare;
    };
    // Longer spellings first, so that "<=" is not read as "<".
    static constexpr TSpelling cSpellings[] = {
        {"!=", TCompare::coNotEqual},     {"<=", TCompare::coLessEqual},
        {">=", TCompare::coGreaterEqual}, {"=", TCompare::coEqual},
        {"<", TCompare::coLess},          {">", TCompare::coGreater},
        {"~", TCompare::coContains},
    };
    for (const TSpelling& spelling : cSpellings) {
      if (FText.substr(FPos).starts_with(spelling.Text)) {
        FPos += spelling.Text.size();
        AOut = spelling.Compare;
        return true;
      }
    }
    return false;
  }

  // The length of AName matched at the position, letter case ignored and each
  // blank of the name matching a run of blanks; 0 when it does not match or
  // does not end at the end of a word.
  std::size_t MatchName(std::string_view AName) const {
    std::size_t at = FPos;
    for (std::size_t i = 0; i < AName.size(); ++i) {
      if (AName[i] == ' ') {
        if (at >= FText.size() || !IsBlank(FText[at])) return 0;
        while (at < FText.size() && IsBlank(FText[at])) ++at;
        continue;
      }
      if (at >= FText.size() || ascii::ToLower(FText[at]) != ascii::ToLower(AName[i])) return 0;
      ++at;
    }
    if (at < FText.size() && !EndsWord(FText[at])) return 0;
    return at - FPos;
  }

  bool Operand(TOperand& AOut, TParseError& AError) {
    const std::size_t start = FPos;
    if (start >= FText.size()) return Fail(start, "expected a field name or a value", AError);
    const char first = FText[start];
    if (first == '"' || first == '\'') {
      // A quote written twice inside stands for one.
      std::string text;
      for (std::size_t i = start + 1; i < FText.size(); ++i) {
        if (FText[i] != first) {
          text.push_back(FText[i]);
        } else if (i + 1 < FText.size() && FText[i + 1] == first) {
          text.push_back(first);
          ++i;
        } else {
          FPos = i + 1;
          AOut.Text = std::move(text);
          return true;
        }
      }
      return Fail(start, "this quoted text has no closing quote", AError);
    }
    // The longest field name that fits.
    std::size_t best = 0;
    std::int32_t field = -1;
    for (std::size_t f = 0; f < FFields.size(); ++f) {
      const std::size_t length = MatchName(FFields[f].Name);
      if (length > best) {
        best = length;
        field = static_cast<std::int32_t>(f);
      }
    }
    if (field >= 0) {
      FPos += best;
      return FieldUse(field, AOut, AError);
    }
    std::size_t end = start;
    while (end < FText.size() && !EndsWord(FText[end])) ++end;
    if (end == start) return Fail(start, "expected a field name or a value here", AError);
    AOut.Text.assign(FText.substr(start, end - start));
    FPos = end;
    return true;
  }

  // The field just read, with the unit a ":" after it names (the first one
  // when none is named).
  bool FieldUse(std::int32_t AField, TOperand& AOut, TParseError& AError) {
    const TFieldName& field = FFields[static_cast<std::size_t>(AField)];
    std::int32_t unit = 0;
    if (FPos < FText.size() && FText[FPos] == ':') {
      const std::size_t start = ++FPos;
      while (FPos < FText.size() && !EndsWord(FText[FPos])) ++FPos;
      const std::string_view name = FText.substr(start, FPos - start);
      auto found = std::find_if(field.Units.begin(), field.Units.end(), [&](const std::string& AU) {
        return ascii::EqualsIgnoreCase(AU, name);
      });
      if (found == field.Units.end()) {
        std::string units;
        for (const std::string& u : field.Units) units += (units.empty() ? "" : ", ") + u;
        return Fail(start,
                    "field \"" + field.Name + "\" has no unit \"" + std::string(name) + "\"" +
                        (units.empty() ? " (it has no units)" : " (its units: " + units + ")"),
                    AError);
      }
      unit = static_cast<std::int32_t>(found - field.Units.begin());
    }
    const TFieldUse use{AField, unit};
    auto known = std::find(FOut.FUses.begin(), FOut.FUses.end(), use);
    if (known == FOut.FUses.end()) {
      FOut.FUses.push_back(use);
      FBoolean.push_back(field.Boolean);
      known = FOut.FUses.end() - 1;
    }
    AOut.Use = static_cast<std::int32_t>(known - FOut.FUses.begin());
    return true;
  }

  std::string_view FText;
  const std::vector<TFieldName>& FFields;
  TExpression& FOut;
  std::vector<bool> FBoolean;  // per use: the field is a boolean
  std::size_t FPos = 0;
};

std::optional<TExpression> TExpression::Parse(std::string_view AText,
                                              const std::vector<TFieldName>& AFields,
                                              TParseError& AError) {
  TExpression expression;
  TParser parser(AText, AFields, expression);
  if (!parser.Run(AError)) return std::nullopt;
  return expression;
}

bool TExpression::Matches(const std::vector<std::optional<std::string>>& AValues) const {
  return FRoot >= 0 && Evaluate(FRoot, AValues);
}

bool TExpression::Evaluate(std::int32_t ANode,
                           const std::vector<std::optional<std::string>>& AValues) const {
  const TNode& node = FNodes[static_cast<std::size_t>(ANode)];
  auto value = [&](const TOperand& AOperand) -> const std::string* {
    if (AOperand.Use < 0) return &AOperand.Text;
    const auto use = static_cast<std::size_t>(AOperand.Use);
    return use < AValues.size() && AValues[use] ? &*AValues[use] : nullptr;
  };
  switch (node.Kind) {
    case TNodeKind::nkOr:
      return std::any_of(node.Children.begin(), node.Children.end(),
                         [&](std::int32_t AChild) { return Evaluate(AChild, AValues); });
    case TNodeKind::nkAnd:
      return std::all_of(node.Children.begin(), node.Children.end(),
                         [&](std::int32_t AChild) { return Evaluate(AChild, AValues); });
    case TNodeKind::nkNot:
      return !Evaluate(node.Children.front(), AValues);
    case TNodeKind::nkPresent: {
      const std::string* v = value(node.First);
      return v != nullptr && (!node.Boolean || *v == "true");
    }
    case TNodeKind::nkCompare: {
      const std::string* left = value(node.First);
      const std::string* right = value(node.Second);
      return left != nullptr && right != nullptr && Compare(node.Compare, *left, *right);
    }
  }
  return false;
}

std::string DescribeError(std::string_view AText, const TParseError& AError) {
  // The caret stands under the character: one column per character of UTF-8
  // before it, tabs and line breaks shown as blanks.
  std::string shown(AText);
  for (char& c : shown)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  std::size_t column = 0;
  for (std::size_t i = 0; i < std::min(AError.Offset, AText.size()); ++i)
    if ((static_cast<unsigned char>(AText[i]) & 0xC0) != 0x80) ++column;
  return AError.Message + " (column " + std::to_string(column + 1) + ")\n  " + shown + "\n  " +
         std::string(column, ' ') + "^\n";
}

}  // namespace where
