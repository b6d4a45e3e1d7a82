#include <cstdint>
#include <new>

#include "common/text.h"
#include "expansion/expression_token.h"

namespace qds {

TokenChain::~TokenChain() {
  while (!Empty()) PopFront();
}

void TokenChain::PushBack(std::unique_ptr<ExprToken> token) {
  ExprToken* node = token.release();
  node->next = nullptr;
  if (tail_ == nullptr) {
    head_ = node;
  } else {
    tail_->next = node;
  }
  tail_ = node;
}

void TokenChain::PushFront(std::unique_ptr<ExprToken> token) {
  ExprToken* node = token.release();
  node->next = head_;
  head_ = node;
  if (tail_ == nullptr) tail_ = node;
}

std::unique_ptr<ExprToken> TokenChain::PopFront() {
  ExprToken* node = head_;
  if (node == nullptr) return nullptr;
  head_ = node->next;
  if (head_ == nullptr) tail_ = nullptr;
  node->next = nullptr;
  return std::unique_ptr<ExprToken>(node);
}

ReplaceStatus ClassifyOperator(std::u16string_view text, ExprToken* token) {
  static const struct {
    std::u16string_view written;
    Operator op;
    bool comparison;
  } kOperators[] = {
      {u"!", Operator::Not, false},          {u"*", Operator::Multiply, false},
      {u"/", Operator::Divide, false},       {u"+", Operator::Plus, false},
      {u"-", Operator::Minus, false},        {u"&", Operator::And, false},
      {u"|", Operator::Or, false},           {u"=", Operator::Equal, true},
      {u"!=", Operator::NotEqual, true},     {u"<", Operator::Less, true},
      {u"<=", Operator::LessEqual, true},    {u">", Operator::Greater, true},
      {u">=", Operator::GreaterEqual, true},
  };
  bool ignoreCase = !text.empty() && text.front() == u'~';
  if (ignoreCase) text.remove_prefix(1);
  for (const auto& row : kOperators) {
    if (row.written == text && (row.comparison || !ignoreCase)) {
      token->op = row.op;
      token->ignoreCase = ignoreCase;
      return ReplaceStatus::Ok;
    }
  }
  return ReplaceStatus::UnknownOperator;
}

namespace {

// Character classes of the tokenizer.
enum CharClass { kBlank, kOpen, kClose, kOperatorChar, kDoubleQuote, kSingleQuote, kOther };

enum class Act : uint8_t { Skip, Keep, Finish, Start, Fail };

struct Transition {
  uint8_t next;
  Act act;
};

// The next state and action for each state (row) and character class.
// States: 0 between tokens, 1 after "(", 2 after ")", 3 in a word, 4 in an
// operator, 5 in a single-quoted string, 6 after a quote in it, 7 in a
// double-quoted string, 8 after a quote in it.
// clang-format off
constexpr Transition kTransitions[9][7] = {
    // blank           "("               ")"               operator          double quote      single quote      other
    {{0, Act::Skip}, {1, Act::Start}, {2, Act::Start}, {4, Act::Start}, {7, Act::Start}, {5, Act::Start}, {3, Act::Start}},
    {{0, Act::Finish}, {1, Act::Start}, {2, Act::Start}, {4, Act::Start}, {7, Act::Start}, {5, Act::Start}, {3, Act::Start}},
    {{0, Act::Finish}, {1, Act::Start}, {2, Act::Start}, {4, Act::Start}, {7, Act::Start}, {5, Act::Start}, {3, Act::Start}},
    {{0, Act::Finish}, {1, Act::Start}, {2, Act::Start}, {4, Act::Start}, {3, Act::Keep}, {3, Act::Keep}, {3, Act::Keep}},
    {{0, Act::Finish}, {1, Act::Start}, {2, Act::Start}, {4, Act::Keep}, {7, Act::Start}, {5, Act::Start}, {3, Act::Start}},
    {{5, Act::Keep}, {5, Act::Keep}, {5, Act::Keep}, {5, Act::Keep}, {5, Act::Keep}, {6, Act::Skip}, {5, Act::Keep}},
    {{0, Act::Finish}, {1, Act::Start}, {2, Act::Start}, {4, Act::Start}, {0, Act::Fail}, {5, Act::Keep}, {0, Act::Fail}},
    {{7, Act::Keep}, {7, Act::Keep}, {7, Act::Keep}, {7, Act::Keep}, {8, Act::Skip}, {7, Act::Keep}, {7, Act::Keep}},
    {{0, Act::Finish}, {1, Act::Start}, {2, Act::Start}, {4, Act::Start}, {7, Act::Keep}, {0, Act::Fail}, {0, Act::Fail}},
};
// clang-format on

CharClass Classify(char16_t c) {
  constexpr std::u16string_view kOperatorChars = u"+-*/=!<>|&~";
  if (IsWhiteSpace(c)) return kBlank;
  if (c == u'(') return kOpen;
  if (c == u')') return kClose;
  if (c == u'"') return kDoubleQuote;
  if (c == u'\'') return kSingleQuote;
  return kOperatorChars.find(c) != std::u16string_view::npos ? kOperatorChar : kOther;
}

TokenKind KindOfState(uint8_t state) {
  switch (state) {
    case 1:
      return TokenKind::OpenParen;
    case 2:
      return TokenKind::CloseParen;
    case 4:
      return TokenKind::Operator;
    case 5:
    case 7:
      return TokenKind::Quoted;
    default:
      return TokenKind::Word;
  }
}

// The tokenizer's state: the token being read is [start, write) of the
// expression; kept characters are written down at `write`, so a quoted
// string closes up over the quotes it drops.
class Tokenizer {
 public:
  Tokenizer(char16_t* expression, TokenChain* tokens) : text_(expression), tokens_(tokens) {}

  ReplaceStatus Run() {
    uint8_t state = 0;
    for (size_t i = 0; text_[i] != 0; ++i) {
      const Transition& t = kTransitions[state][Classify(text_[i])];
      ReplaceStatus status = ReplaceStatus::Ok;
      switch (t.act) {
        case Act::Skip:
          break;
        case Act::Keep:
          text_[write_++] = text_[i];
          break;
        case Act::Finish:
          status = EndToken();
          break;
        case Act::Start:
          status = EndToken();
          Begin(KindOfState(t.next), i);
          break;
        case Act::Fail:
          return ReplaceStatus::BadQuotedString;
      }
      if (status != ReplaceStatus::Ok) return status;
      state = t.next;
    }
    if (state == 5 || state == 7) return ReplaceStatus::BadQuotedString;
    return EndToken();
  }

 private:
  void Begin(TokenKind kind, size_t at) {
    inToken_ = true;
    kind_ = kind;
    start_ = kind == TokenKind::Quoted ? at + 1 : at;
    write_ = at + 1;
  }

  ReplaceStatus EndToken() {
    if (!inToken_) return ReplaceStatus::Ok;
    inToken_ = false;
    std::unique_ptr<ExprToken> token(new (std::nothrow) ExprToken);
    if (token == nullptr) return ReplaceStatus::OutOfMemory;
    token->kind = kind_;
    token->text = std::u16string_view(text_ + start_, write_ - start_);
    if (kind_ == TokenKind::Operator) {
      ReplaceStatus status = ClassifyOperator(token->text, token.get());
      if (status != ReplaceStatus::Ok) return status;
    }
    tokens_->PushBack(std::move(token));
    return ReplaceStatus::Ok;
  }

  char16_t* text_;
  TokenChain* tokens_;
  bool inToken_ = false;
  TokenKind kind_ = TokenKind::Word;
  size_t start_ = 0;
  size_t write_ = 0;
};

}  // namespace

ReplaceStatus TokenizeExpression(char16_t* expression, TokenChain* tokens) {
  return Tokenizer(expression, tokens).Run();
}

}  // namespace qds
