// The expression language of the "if" and "eval" commands, and the truth of
// a text.
//
// Operands are words and quoted strings ('...' or "...", a doubled quote
// standing for one). An operand is an integer when it reads as one with
// ParseInteger (automatic base: 0x.. hexadecimal, 0.. octal); an operator
// applies its integer rule when all its operands are integers and its text
// rule otherwise. Operators, tightest first, all left-associative:
//   unary + - !    * /    + -    = != < <= > >=    & |
// A comparison may carry the prefix "~" to compare texts with A-Z folded.
// Every result is a 32-bit integer; arithmetic wraps around.

#ifndef KNITFOLD_EXPANSION_EXPRESSION_H_
#define KNITFOLD_EXPANSION_EXPRESSION_H_

#include <string_view>

#include "expansion/replace_status.h"

namespace qds {

// The result space that callers give EvaluateExpression, in characters.
inline constexpr size_t kExpressionResultSpace = 32;

// Evaluates the terminated `expression` and writes its value in decimal into
// `result` (kExpressionResultSpace characters; at most 11 and a zero are
// written). Works in place: the expression's text is changed, so callers pass
// a scratch copy. On failure (MalformedExpression ... OutOfMemory) `result`
// is untouched. The empty expression gives "0".
[[nodiscard]] ReplaceStatus EvaluateExpression(char16_t* expression, char16_t* result);

// False for the empty text, "0", and a non-empty beginning of "false" or
// "no" in any letter case ("F", "fal", "No"); true otherwise ("falsey", "00").
bool IsTrue(std::u16string_view text);

// The condition test of documents of version 1: at most one comparison
// (= < <= > >= != between the texts on either side, exactly as written,
// blanks included) or a "!" that negates IsTrue of the text after it; without
// an operator, IsTrue of the whole text. Returns 1 or 0.
int EvaluateLegacyCondition(std::u16string_view text);

// Three-way comparison of texts by UTF-16 unit, a prefix being the lesser;
// with `ignoreCase`, A-Z compare equal to a-z.
int CompareTexts(std::u16string_view a, std::u16string_view b, bool ignoreCase);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_EXPRESSION_H_
