#include "expansion/expression.h"

#include <gtest/gtest.h>

#include <string>

#include "common/utf8.h"
#include "expansion/number_text.h"

namespace qds {
namespace {

struct Evaluated {
  ReplaceStatus status;
  std::u16string result;
};

Evaluated Evaluate(std::u16string_view expression) {
  std::u16string scratch(expression);
  char16_t result[kExpressionResultSpace] = u"untouched";
  ReplaceStatus status = EvaluateExpression(scratch.data(), result);
  return {status, result};
}

std::string Printable(std::u16string_view text) { return EncodeUtf8(text); }

TEST(ExpressionTest, ComputesValues) {
  static const struct {
    std::u16string_view expression;
    std::u16string_view expected;
  } cases[] = {
      // Precedence and left associativity.
      {u"1 + 2 * 3", u"7"}, {u"10 - 2 * 3 + 1", u"5"}, {u"10 - 2 * 3 - 4", u"0"},
      {u"1 + 2 * 3 = 8", u"0"}, {u"(1 + 2) * 3", u"9"}, {u"2*(3+(4-1))/3", u"4"},
      {u"1 < 2 & 3 > 4 | 1", u"1"}, {u"8 / 2 / 2", u"2"},
      // Integer rules: truncation, wrap-around, automatic base.
      {u"7 / 2", u"3"}, {u"-7 / 2", u"-3"}, {u"2147483647 + 1", u"-2147483648"},
      {u"0 - 2147483647 - 2", u"2147483647"}, {u"65536 * 65536", u"0"},
      {u"(0 - 2147483647 - 1) / -1", u"-2147483648"}, {u"-(0 - 2147483647 - 1)", u"-2147483648"},
      {u"010 = 8", u"1"}, {u"08 = 8", u"0"}, {u"0x10", u"16"}, {u"0x7fffffff + 0", u"2147483647"},
      {u"2147483648 = 2147483648", u"1"},  // too large for an integer: compared as texts
      // Quoted operands read as integers when they can.
      {u"'12' = 12", u"1"}, {u"\" 7\"", u"7"}, {u"'it''s' = \"it's\"", u"1"},
      {u"\"say \"\"hi\"\"\" = 'say \"hi\"'", u"1"},
      // Text rules.
      {u"abc < abd", u"1"}, {u"ab < abc", u"1"}, {u"ABC = abc", u"0"}, {u"ABC ~= abc", u"1"},
      {u"abc ~< ABD", u"1"}, {u"a ~!= A", u"0"}, {u"10 ~= 010", u"0"}, {u"b > a1", u"1"},
      {u"0 | no", u"0"}, {u"2 & yes", u"1"}, {u"0x0 & 1", u"0"}, {u"! x", u"0"}, {u"! ! 5", u"1"},
      {u"! 0x0", u"0"},  // "!" judges the text, and "0x0" is not "0"
      {u"- - 3", u"3"}, {u"+ 3", u"3"}, {u"1 - - 2", u"3"},
      // Results and truth of the last operand.
      {u"", u"0"}, {u"  ", u"0"}, {u"yes", u"1"}, {u"no", u"0"}, {u"('it')", u"1"},
      {u"1 2 +", u"3"},
  };
  for (const auto& c : cases) {
    Evaluated e = Evaluate(c.expression);
    EXPECT_EQ(e.status, ReplaceStatus::Ok) << Printable(c.expression);
    EXPECT_EQ(e.result, c.expected) << Printable(c.expression);
  }
}

TEST(ExpressionTest, FailsWithTheRightStatusAndLeavesResultAlone) {
  static const struct {
    std::u16string_view expression;
    ReplaceStatus status;
  } cases[] = {
      {u"1 2", ReplaceStatus::MalformedExpression}, {u"1 !", ReplaceStatus::MalformedExpression},
      {u"1 / 0", ReplaceStatus::DivisionByZero}, {u"1 / (2 - 2)", ReplaceStatus::DivisionByZero},
      {u"()", ReplaceStatus::MissingOperand}, {u"1 +", ReplaceStatus::MissingOperand},
      {u"* 2", ReplaceStatus::MissingOperand}, {u"-", ReplaceStatus::MissingOperand},
      {u"(1", ReplaceStatus::UnbalancedParen}, {u"1)", ReplaceStatus::UnbalancedParen},
      {u"((1)", ReplaceStatus::UnbalancedParen}, {u"'abc", ReplaceStatus::BadQuotedString},
      {u"'a'b", ReplaceStatus::BadQuotedString}, {u"'a'\"b\"", ReplaceStatus::BadQuotedString},
      {u"\"a\"'b'", ReplaceStatus::BadQuotedString}, {u"\"open", ReplaceStatus::BadQuotedString},
      {u"a + 1", ReplaceStatus::NotAnInteger}, {u"- x", ReplaceStatus::NotAnInteger},
      {u"08 * 1", ReplaceStatus::NotAnInteger},
      {u"-2147483648", ReplaceStatus::NotAnInteger},  // "-" is an operator; 2147483648 no integer
      {u"1 == 1", ReplaceStatus::UnknownOperator}, {u"1 <> 2", ReplaceStatus::UnknownOperator},
      {u"1 ~+ 2", ReplaceStatus::UnknownOperator}, {u"1+-2", ReplaceStatus::UnknownOperator},
      {u"!!5", ReplaceStatus::UnknownOperator}, {u"1 ~ 2", ReplaceStatus::UnknownOperator},
      {u"a ~& b", ReplaceStatus::UnknownOperator},
  };
  for (const auto& c : cases) {
    Evaluated e = Evaluate(c.expression);
    EXPECT_EQ(e.status, c.status) << Printable(c.expression);
    EXPECT_EQ(e.result, u"untouched") << Printable(c.expression);
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

TEST(ParseIntegerTest, AcceptsOnlyWholeInRangeNumbers) {
  static const struct {
    std::u16string_view text;
    bool reads;
    int32_t value;
  } cases[] = {
      {u"0", true, 0}, {u"-2147483648", true, INT32_MIN}, {u"2147483647", true, INT32_MAX},
      {u"0x7FFFFFFF", true, INT32_MAX}, {u"-0x80000000", true, INT32_MIN}, {u" \t+017", true, 15},
      {u"0X1f", true, 31}, {u"2147483648", false, 0}, {u"-2147483649", false, 0},
      {u"99999999999999999999", false, 0}, {u"0x", false, 0}, {u"0xg", false, 0}, {u"08", false, 0},
      {u"1.5", false, 0}, {u"12 ", false, 0}, {u"", false, 0}, {u" ", false, 0}, {u"-", false, 0},
      {u"+-1", false, 0},
      {u"\uFF11", false, 0},  // a full-width digit is no digit
  };
  for (const auto& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(ParseInteger(c.text, &value), c.reads) << Printable(c.text);
    EXPECT_EQ(value, c.reads ? c.value : 12345) << Printable(c.text);
  }
}

TEST(ParseIntegerTest, UnsignedWrapsNegativesAndRejectsOverflow) {
  uint32_t value = 0;
  EXPECT_TRUE(ParseUnsigned(u"-1", &value));
  EXPECT_EQ(value, 4294967295u);
  EXPECT_TRUE(ParseUnsigned(u"0xFFFFFFFF", &value));
  EXPECT_EQ(value, 4294967295u);
  EXPECT_FALSE(ParseUnsigned(u"4294967296", &value));
  EXPECT_FALSE(ParseUnsigned(u"-4294967296", &value));
}

}  // namespace
}  // namespace qds
