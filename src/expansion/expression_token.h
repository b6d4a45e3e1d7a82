// The tokens of the expression language and the tokenizer that makes them.
// Shared by the tokenizer (expression_tokenizer.cpp) and the evaluator
// (expression.cpp).

#ifndef KNITFOLD_EXPANSION_EXPRESSION_TOKEN_H_
#define KNITFOLD_EXPANSION_EXPRESSION_TOKEN_H_

#include <memory>
#include <string_view>

#include "expansion/expression.h"

namespace qds {

enum class TokenKind { Word, Quoted, Operator, OpenParen, CloseParen };

// Which operator a token is. Plus, Minus and Not are as written; the
// evaluator turns Plus and Minus into their unary forms where an operand is
// expected.
enum class Operator {
  None,
  UnaryPlus,
  UnaryMinus,
  Not,
  Multiply,
  Divide,
  Plus,
  Minus,
  Equal,
  NotEqual,
  Less,
  LessEqual,
  Greater,
  GreaterEqual,
  And,
  Or,
};

// One token, which also serves as an operand. Its text lies in the
// expression buffer or, once an operator has written a result into it, in
// its own resultBuffer.
struct ExprToken {
  ExprToken* next = nullptr;
  TokenKind kind = TokenKind::Word;
  Operator op = Operator::None;
  bool ignoreCase = false;  // written with the prefix "~"
  std::u16string_view text;
  char16_t resultBuffer[kExpressionResultSpace] = {};
};

// A chain of tokens that owns them: a queue (PushBack, PopFront) or a stack
// (PushFront, PopFront).
class TokenChain {
 public:
  TokenChain() = default;
  TokenChain(const TokenChain&) = delete;
  TokenChain& operator=(const TokenChain&) = delete;
  ~TokenChain();

  bool Empty() const { return head_ == nullptr; }
  const ExprToken* Front() const { return head_; }
  void PushBack(std::unique_ptr<ExprToken> token);
  void PushFront(std::unique_ptr<ExprToken> token);
  std::unique_ptr<ExprToken> PopFront();

 private:
  ExprToken* head_ = nullptr;
  ExprToken* tail_ = nullptr;
};

// Splits the terminated `expression` into `tokens`, ending quoted strings
// in place (doubled quotes folded). BadQuotedString, UnknownOperator or
// OutOfMemory on failure.
[[nodiscard]] ReplaceStatus TokenizeExpression(char16_t* expression, TokenChain* tokens);

// Sets token->op and token->ignoreCase from the operator text `text`;
// UnknownOperator when it is none of the operators.
[[nodiscard]] ReplaceStatus ClassifyOperator(std::u16string_view text, ExprToken* token);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_EXPRESSION_TOKEN_H_
