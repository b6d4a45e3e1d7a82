// Evaluates arbitrary expressions and checks the evaluator's contract: the
// result space (allocated at its exact size) is never written past, and is
// left untouched on failure; a result is a terminated 32-bit integer that
// evaluates to itself (but -2147483648: "-" and a number out of range), and
// keeps its value in parentheses. The same text feeds the legacy condition
// (0 or 1) and the comparison of texts (antisymmetric).

#include <algorithm>
#include <memory>
#include <string>

#include "common/text.h"
#include "expansion/expression.h"
#include "expansion/number_text.h"
#include "fuzz_support.h"

namespace qds::fuzz {
namespace {

// The result, or "" on failure.
std::u16string Evaluate(std::u16string expression) {
  constexpr char16_t kUntouched = u'\xA5A5';
  std::unique_ptr<char16_t[]> result(new char16_t[kExpressionResultSpace]);
  std::fill_n(result.get(), kExpressionResultSpace, kUntouched);
  expression.push_back(u'\0');
  ReplaceStatus status = EvaluateExpression(expression.data(), result.get());
  std::u16string_view space(result.get(), kExpressionResultSpace);
  if (status != ReplaceStatus::Ok) {
    Check(space.find_first_not_of(kUntouched) == std::u16string_view::npos,
          "a failed evaluation leaves the result untouched");
    return {};
  }
  size_t zero = space.find(u'\0');
  Check(zero != std::u16string_view::npos && zero <= 11, "a result is at most 11 characters");
  int32_t number = 0;
  Check(zero > 0 && ParseInteger(space.substr(0, zero), &number), "a result is an integer");
  return std::u16string(space.substr(0, zero));
}

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  using fuzz::Check;
  std::u16string text = fuzz::Input(data, size).RestAsText();
  text = text.substr(0, text.find(u'\0'));  // the evaluator reads a terminated text

  const std::u16string value = fuzz::Evaluate(text);
  if (!value.empty() && value != u"-2147483648") {
    Check(fuzz::Evaluate(value) == value, "a result evaluates to itself");
  }
  if (!value.empty() &&
      std::any_of(text.begin(), text.end(), [](char16_t c) { return !IsWhiteSpace(c); })) {
    Check(fuzz::Evaluate(u"( " + text + u" )") == value, "parentheses keep an expression's value");
  }
  int legacy = EvaluateLegacyCondition(text);
  Check(legacy == 0 || legacy == 1, "a legacy condition is 0 or 1");
  (void)IsTrue(text);
  std::u16string_view left = std::u16string_view(text).substr(0, text.size() / 2);
  std::u16string_view right = std::u16string_view(text).substr(text.size() / 2);
  for (bool ignoreCase : {false, true}) {
    Check(fuzz::Sign(CompareTexts(left, right, ignoreCase)) ==
              -fuzz::Sign(CompareTexts(right, left, ignoreCase)),
          "comparison is antisymmetric");
  }
  return 0;
}
