#include "expansion/expression.h"

#include <cstdint>
#include <limits>

#include "common/wide_format.h"
#include "expansion/expression_token.h"
#include "expansion/number_text.h"

namespace qds {

namespace {

using IntegerRule = ReplaceStatus (*)(int32_t left, int32_t right, int32_t* result);
using TextRule = bool (*)(std::u16string_view left, std::u16string_view right, bool ignoreCase);

int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

ReplaceStatus Divide(int32_t left, int32_t right, int32_t* result) {
  if (right == 0) return ReplaceStatus::DivisionByZero;
  // The one quotient beyond the range, INT32_MIN / -1, wraps to INT32_MIN.
  *result = Wrap(int64_t{left} / right);
  return ReplaceStatus::Ok;
}

int Order(int32_t a, int32_t b) { return (a > b) - (a < b); }

// How each operator binds and what it computes. A unary operator reads only
// its left operand. An operator without a text rule needs integers; one
// without an integer rule applies its text rule to integers too.
struct OperatorRule {
  int level;
  bool unary;
  IntegerRule onIntegers;
  TextRule onTexts;
};

// Indexed by Operator; level 0 is kept for "(", which no operator crosses.
// clang-format off
const OperatorRule kRules[] = {
  /* None */         {0, false, nullptr, nullptr},
  /* UnaryPlus */    {8, true, [](int32_t a, int32_t, int32_t* r) { *r = a; return ReplaceStatus::Ok; }, nullptr},
  /* UnaryMinus */   {8, true, [](int32_t a, int32_t, int32_t* r) { *r = Wrap(-int64_t{a}); return ReplaceStatus::Ok; }, nullptr},
  /* Not */          {8, true, nullptr, [](std::u16string_view a, std::u16string_view, bool) { return !IsTrue(a); }},
  /* Multiply */     {7, false, [](int32_t a, int32_t b, int32_t* r) { *r = Wrap(int64_t{a} * b); return ReplaceStatus::Ok; }, nullptr},
  /* Divide */       {7, false, Divide, nullptr},
  /* Plus */         {6, false, [](int32_t a, int32_t b, int32_t* r) { *r = Wrap(int64_t{a} + b); return ReplaceStatus::Ok; }, nullptr},
  /* Minus */        {6, false, [](int32_t a, int32_t b, int32_t* r) { *r = Wrap(int64_t{a} - b); return ReplaceStatus::Ok; }, nullptr},
  /* Equal */        {5, false, [](int32_t a, int32_t b, int32_t* r) { *r = Order(a, b) == 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool ic) { return CompareTexts(a, b, ic) == 0; }},
  /* NotEqual */     {5, false, [](int32_t a, int32_t b, int32_t* r) { *r = Order(a, b) != 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool ic) { return CompareTexts(a, b, ic) != 0; }},
  /* Less */         {5, false, [](int32_t a, int32_t b, int32_t* r) { *r = Order(a, b) < 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool ic) { return CompareTexts(a, b, ic) < 0; }},
  /* LessEqual */    {5, false, [](int32_t a, int32_t b, int32_t* r) { *r = Order(a, b) <= 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool ic) { return CompareTexts(a, b, ic) <= 0; }},
  /* Greater */      {5, false, [](int32_t a, int32_t b, int32_t* r) { *r = Order(a, b) > 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool ic) { return CompareTexts(a, b, ic) > 0; }},
  /* GreaterEqual */ {5, false, [](int32_t a, int32_t b, int32_t* r) { *r = Order(a, b) >= 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool ic) { return CompareTexts(a, b, ic) >= 0; }},
  /* And */          {4, false, [](int32_t a, int32_t b, int32_t* r) { *r = a != 0 && b != 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool) { return IsTrue(a) && IsTrue(b); }},
  /* Or */           {4, false, [](int32_t a, int32_t b, int32_t* r) { *r = a != 0 || b != 0; return ReplaceStatus::Ok; },
                      [](std::u16string_view a, std::u16string_view b, bool) { return IsTrue(a) || IsTrue(b); }},
};
// clang-format on
static_assert(sizeof(kRules) / sizeof(kRules[0]) == static_cast<size_t>(Operator::Or) + 1);

const OperatorRule& RuleOf(const ExprToken& token) { return kRules[static_cast<size_t>(token.op)]; }

// The level of the operator-stack token: "(" binds nothing.
int LevelOf(const ExprToken& token) {
  return token.kind == TokenKind::OpenParen ? 0 : RuleOf(token).level;
}

void SetResult(ExprToken* token, int32_t value) {
  FormatWide(token->resultBuffer, kExpressionResultSpace, u"%d", {value});
  token->text = token->resultBuffer;
}

// Applies `op` to the operands on top of `operands` and pushes the result.
ReplaceStatus ApplyOperator(const ExprToken& op, TokenChain* operands) {
  const OperatorRule& rule = RuleOf(op);
  std::unique_ptr<ExprToken> right;
  if (!rule.unary) right = operands->PopFront();
  std::unique_ptr<ExprToken> left = operands->PopFront();
  if (left == nullptr || (!rule.unary && right == nullptr)) return ReplaceStatus::MissingOperand;

  std::u16string_view rightText = right != nullptr ? right->text : std::u16string_view();
  int32_t leftValue = 0;
  int32_t rightValue = 0;
  bool integers =
      (rule.unary || ParseInteger(rightText, &rightValue)) && ParseInteger(left->text, &leftValue);
  int32_t value = 0;
  if (integers && rule.onIntegers != nullptr) {
    ReplaceStatus status = rule.onIntegers(leftValue, rightValue, &value);
    if (status != ReplaceStatus::Ok) return status;
  } else if (rule.onTexts != nullptr) {
    value = rule.onTexts(left->text, rightText, op.ignoreCase) ? 1 : 0;
  } else {
    return ReplaceStatus::NotAnInteger;
  }
  SetResult(left.get(), value);
  operands->PushFront(std::move(left));
  return ReplaceStatus::Ok;
}

// The operator-precedence pass over the token queue.
class Evaluator {
 public:
  ReplaceStatus Run(TokenChain* tokens) {
    while (std::unique_ptr<ExprToken> token = tokens->PopFront()) {
      ReplaceStatus status = Take(std::move(token));
      if (status != ReplaceStatus::Ok) return status;
    }
    while (std::unique_ptr<ExprToken> op = operators_.PopFront()) {
      if (op->kind == TokenKind::OpenParen) return ReplaceStatus::UnbalancedParen;
      ReplaceStatus status = ApplyOperator(*op, &operands_);
      if (status != ReplaceStatus::Ok) return status;
    }
    return ReplaceStatus::Ok;
  }

  // The single operand left, or the status that says why there is not one.
  ReplaceStatus Result(const ExprToken** result) const {
    if (operands_.Empty()) return ReplaceStatus::MissingOperand;
    if (operands_.Front()->next != nullptr) return ReplaceStatus::MalformedExpression;
    *result = operands_.Front();
    return ReplaceStatus::Ok;
  }

 private:
  ReplaceStatus Take(std::unique_ptr<ExprToken> token) {
    switch (token->kind) {
      case TokenKind::Word:
      case TokenKind::Quoted:
        operands_.PushFront(std::move(token));
        expectOperand_ = false;
        if (!operators_.Empty() && operators_.Front()->kind == TokenKind::Operator &&
            RuleOf(*operators_.Front()).unary) {
          return ApplyTop();
        }
        return ReplaceStatus::Ok;
      case TokenKind::OpenParen:
        operators_.PushFront(std::move(token));
        expectOperand_ = true;
        return ReplaceStatus::Ok;
      case TokenKind::CloseParen:
        expectOperand_ = false;
        for (;;) {
          std::unique_ptr<ExprToken> op = operators_.PopFront();
          if (op == nullptr) return ReplaceStatus::UnbalancedParen;
          if (op->kind == TokenKind::OpenParen) return ReplaceStatus::Ok;
          ReplaceStatus status = ApplyOperator(*op, &operands_);
          if (status != ReplaceStatus::Ok) return status;
        }
      case TokenKind::Operator:
        return TakeOperator(std::move(token));
    }
    return ReplaceStatus::Ok;
  }

  ReplaceStatus TakeOperator(std::unique_ptr<ExprToken> token) {
    if (expectOperand_) {
      if (token->op == Operator::Plus) token->op = Operator::UnaryPlus;
      if (token->op == Operator::Minus) token->op = Operator::UnaryMinus;
    } else if (token->op == Operator::Not) {
      return ReplaceStatus::MalformedExpression;
    }
    if (RuleOf(*token).unary) {
      operators_.PushFront(std::move(token));
      return ReplaceStatus::Ok;
    }
    int level = RuleOf(*token).level;
    while (!operators_.Empty() && LevelOf(*operators_.Front()) >= level) {
      ReplaceStatus status = ApplyTop();
      if (status != ReplaceStatus::Ok) return status;
    }
    operators_.PushFront(std::move(token));
    expectOperand_ = true;
    return ReplaceStatus::Ok;
  }

  ReplaceStatus ApplyTop() {
    std::unique_ptr<ExprToken> op = operators_.PopFront();
    return ApplyOperator(*op, &operands_);
  }

  TokenChain operands_;
  TokenChain operators_;
  bool expectOperand_ = true;
};

}  // namespace

ReplaceStatus EvaluateExpression(char16_t* expression, char16_t* result) {
  TokenChain tokens;
  ReplaceStatus status = TokenizeExpression(expression, &tokens);
  if (status != ReplaceStatus::Ok) return status;
  if (tokens.Empty()) {
    FormatWide(result, kExpressionResultSpace, u"0", {});
    return ReplaceStatus::Ok;
  }
  Evaluator evaluator;
  const ExprToken* value = nullptr;
  status = evaluator.Run(&tokens);
  if (status == ReplaceStatus::Ok) status = evaluator.Result(&value);
  if (status != ReplaceStatus::Ok) return status;
  int32_t number = 0;
  if (!ParseInteger(value->text, &number)) number = IsTrue(value->text) ? 1 : 0;
  FormatWide(result, kExpressionResultSpace, u"%d", {number});
  return ReplaceStatus::Ok;
}

}  // namespace qds
