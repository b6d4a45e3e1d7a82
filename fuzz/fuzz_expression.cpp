// Evaluates arbitrary expressions and checks the evaluator's contract:
//   - the result space of 32 characters is never written past (it is
//     allocated at its exact size), and is left untouched on failure;
//   - a result is a terminated decimal 32-bit integer, and evaluating it
//     again gives itself (but for -2147483648, read as "-" and a number out
//     of range);
//   - a successful expression that is not empty has the same value in
//     parentheses.
// The same text also feeds IsTrue, EvaluateLegacyCondition and CompareTexts:
// the legacy condition is 0 or 1, and comparison is antisymmetric.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "common/text.h"
#include "expansion/expression.h"
#include "expansion/number_text.h"
#include "fuzz_support.h"

namespace qds::fuzz {
namespace {

constexpr char16_t kUntouched = u'\xA5A5';

struct Evaluation {
  ReplaceStatus status;
  std::u16string value;
};

Evaluation Evaluate(std::u16string expression) {
  std::unique_ptr<char16_t[]> result(new char16_t[kExpressionResultSpace]);
  std::fill_n(result.get(), kExpressionResultSpace, kUntouched);
  expression.push_back(u'\0');
  ReplaceStatus status = EvaluateExpression(expression.data(), result.get());
  std::u16string_view space(result.get(), kExpressionResultSpace);
  if (status != ReplaceStatus::Ok) {
    Check(space.find_first_not_of(kUntouched) == std::u16string_view::npos,
          "a failed evaluation leaves the result untouched");
    return {status, {}};
  }
  size_t zero = space.find(u'\0');
  Check(zero != std::u16string_view::npos && zero <= 11, "a result is at most 11 characters");
  std::u16string value(space.substr(0, zero));
  int32_t number = 0;
  Check(ParseInteger(value, &number), "a result is an integer");
  return {status, value};
}

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  using fuzz::Check;
  std::u16string text = fuzz::Input(data, size).RestAsText();
  text = text.substr(0, text.find(u'\0'));  // the evaluator reads a terminated text

  const fuzz::Evaluation plain = fuzz::Evaluate(text);
  if (plain.status == ReplaceStatus::Ok) {
    // "-" is an operator, and 2147483648 no integer: the least result alone
    // does not evaluate.
    if (plain.value != u"-2147483648") {
      Check(fuzz::Evaluate(plain.value).value == plain.value, "a result evaluates to itself");
    }
    if (std::any_of(text.begin(), text.end(), [](char16_t c) { return !IsWhiteSpace(c); })) {
      const fuzz::Evaluation grouped = fuzz::Evaluate(u"( " + text + u" )");
      Check(grouped.status == ReplaceStatus::Ok && grouped.value == plain.value,
            "parentheses around an expression keep its value");
    }
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
