#include "expansion/expression.h"

#include <gtest/gtest.h>

#include <string>

#include "common/utf8.h"

namespace qds {
namespace {

struct Evaluated {
  ReplaceStatus status;
  std::u16string result;
};

Evaluated Evaluate(std::u16string_view expression) {
  std::u16string scratch(expression);
  char16_t result[kExpressionResultSpace] = u"-";
  ReplaceStatus status = EvaluateExpression(scratch.data(), result);
  return {status, result};
}

std::string Printable(std::u16string_view text) { return EncodeUtf8(text); }

TEST(ExpressionTest, ComputesValuesOrFailsWithTheirStatus) {
  using enum ReplaceStatus;
  static const struct {
    std::u16string_view expression;
    std::u16string_view expected;  // "-": the result is left alone
    ReplaceStatus status = Ok;
  } cases[] = {
      // Precedence and left associativity.
      {u"1 + 2 * 3", u"7"},
      {u"10 - 2 * 3 + 1", u"5"},
      {u"10 - 2 * 3 - 4", u"0"},
      {u"1 + 2 * 3 = 8", u"0"},
      {u"(1 + 2) * 3", u"9"},
      {u"2*(3+(4-1))/3", u"4"},
      {u"1 < 2 & 3 > 4 | 1", u"1"},
      {u"8 / 2 / 2", u"2"},
      // Integer rules: truncation, wrap-around, automatic base.
      {u"7 / 2", u"3"},
      {u"-7 / 2", u"-3"},
      {u"2147483647 + 1", u"-2147483648"},
      {u"0 - 2147483647 - 2", u"2147483647"},
      {u"65536 * 65536", u"0"},
      {u"(0 - 2147483647 - 1) / -1", u"-2147483648"},
      {u"-(0 - 2147483647 - 1)", u"-2147483648"},
      {u"010 = 8", u"1"},
      {u"08 = 8", u"0"},
      {u"0x10", u"16"},
      {u"0x7fffffff + 0", u"2147483647"},
      {u"2147483648 = 2147483648", u"1"},  // too large for an integer: compared as texts
      // Quoted operands read as integers when they can.
      {u"'12' = 12", u"1"},
      {u"\" 7\"", u"7"},
      {u"'it''s' = \"it's\"", u"1"},
      {u"\"say \"\"hi\"\"\" = 'say \"hi\"'", u"1"},
      // Text rules.
      {u"abc < abd", u"1"},
      {u"ab < abc", u"1"},
      {u"ABC = abc", u"0"},
      {u"ABC ~= abc", u"1"},
      {u"abc ~< ABD", u"1"},
      {u"a ~!= A", u"0"},
      {u"10 ~= 010", u"0"},
      {u"b > a1", u"1"},
      {u"b ~> A", u"1"},
      {u"0 | no", u"0"},
      {u"2 & yes", u"1"},
      {u"0x0 & 1", u"0"},
      {u"! x", u"0"},
      {u"! ! 5", u"1"},
      {u"! 0x0", u"0"},  // "!" judges the text, and "0x0" is not "0"
      {u"- - 3", u"3"},
      {u"+ 3", u"3"},
      {u"1 - - 2", u"3"},
      // Results and truth of the last operand.
      {u"", u"0"},
      {u"  ", u"0"},
      {u"yes", u"1"},
      {u"no", u"0"},
      {u"('it')", u"1"},
      {u"1 2 +", u"3"},
      // Failures leave the result alone.
      {u"1 2", u"-", MalformedExpression},
      {u"1 !", u"-", MalformedExpression},
      {u"1 / 0", u"-", DivisionByZero},
      {u"1 / (2 - 2)", u"-", DivisionByZero},
      {u"()", u"-", MissingOperand},
      {u"1 +", u"-", MissingOperand},
      {u"* 2", u"-", MissingOperand},
      {u"-", u"-", MissingOperand},
      {u"(1", u"-", UnbalancedParen},
      {u"1)", u"-", UnbalancedParen},
      {u"((1)", u"-", UnbalancedParen},
      {u"'abc", u"-", BadQuotedString},
      {u"'a'b", u"-", BadQuotedString},
      {u"'a'\"b\"", u"-", BadQuotedString},
      {u"\"a\"'b'", u"-", BadQuotedString},
      {u"\"open", u"-", BadQuotedString},
      {u"a + 1", u"-", NotAnInteger},
      {u"- x", u"-", NotAnInteger},
      {u"08 * 1", u"-", NotAnInteger},
      {u"-2147483648", u"-", NotAnInteger},  // "-" is an operator, 2147483648 no integer
      {u"1 == 1", u"-", UnknownOperator},
      {u"1 <> 2", u"-", UnknownOperator},
      {u"1 ~+ 2", u"-", UnknownOperator},
      {u"1+-2", u"-", UnknownOperator},
      {u"!!5", u"-", UnknownOperator},
      {u"1 ~ 2", u"-", UnknownOperator},
      {u"a ~& b", u"-", UnknownOperator},
      {u"4 ~/ 2", u"-", UnknownOperator},
  };
  for (const auto& c : cases) {
    Evaluated e = Evaluate(c.expression);
    EXPECT_EQ(e.status, c.status) << Printable(c.expression);
    EXPECT_EQ(e.result, c.expected) << Printable(c.expression);
  }
}

TEST(ExpressionTest, IsTrueRejectsOnlyEmptyZeroAndWordBeginnings) {
  static const struct {
    std::u16string_view text;
    bool expected;
  } cases[] = {
      {u"", false},  {u"0", false},  {u"F", false},     {u"fal", false},   {u"FALSE", false},
      {u"n", false}, {u"No", false}, {u"falsey", true}, {u"nope", true},   {u"00", true},
      {u"-1", true}, {u"yes", true}, {u" 0", true},     {u"false ", true}, {u"\u00D1o", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTrue(c.text), c.expected) << Printable(c.text);
}

TEST(ExpressionTest, LegacyConditionComparesRawTexts) {
  static const struct {
    std::u16string_view text;
    int expected;
  } cases[] = {
      {u"a=a", 1},  {u"a = a", 0}, {u"a==a", 0}, {u"!0", 1},  {u"x!0", 1},
      {u"!yes", 0}, {u"abc", 1},   {u"", 0},     {u"no", 0},  {u"a!=b", 1},
      {u"a!=a", 0}, {u"a<b", 1},   {u"b<=b", 1}, {u"b>a", 1}, {u"a>=b", 0},
      {u"A=a", 0},  {u"10<9", 1},  {u"=", 1},    {u"<", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EvaluateLegacyCondition(c.text), c.expected) << Printable(c.text);
  }
}

}  // namespace
}  // namespace qds
