#include "qdsfile/token_scanner.h"

#include <algorithm>
#include <initializer_list>

#include "common/text.h"
#include "model/qds_nodes.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/stop_search.h"

namespace qds {
namespace {

inline std::u16string_view TrimEnd(std::u16string_view text) {
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

inline std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  return TrimEnd(text);
}

// Whether `c`, right after a line's "=", is where its value starts: neither
// ignored nor the end of the line, nor a failure.
inline bool OpensValue(char16_t c) { return c != format::kIgnoredUnit && c != u'\r' && c != 0; }

}  // namespace

void TokenScanner::Scan(uint32_t from) {
  if (line_ == 1 && !lineFeedFirst_) {
    lineFeedFirst_ =
        std::u16string_view(chars_ + from, count_ - from).find(u'\n') != std::u16string_view::npos;
  }
  for (uint32_t at = from; at < count_ && running_;) {
    at = SkipOrdinary(at);
    if (at == count_) break;
    at = Step(chars_[at], at);
  }
}

bool TokenScanner::LineTooLong(uint64_t end) {
  if (end <= lineStart_ || end - lineStart_ <= maxLine_) return false;
  running_ = false;
  events_.Failed(LoadStatus::LineTooLong, Reason::None);
  return true;
}

uint32_t TokenScanner::FirstKept() const {
  uint32_t keep = count_;
  for (const Token* token : {&name_, &key_, &value_, &comment_}) {
    if (token->InUse()) keep = std::min(keep, token->start);
  }
  return keep;
}

void TokenScanner::Moved(uint32_t keep) {
  for (Token* token : {&name_, &key_, &value_, &comment_}) {
    if (!token->InUse()) continue;
    token->start -= keep;
    if (token->end != kNoPosition) token->end -= keep;
  }
  before_ += keep;
}

std::u16string_view TokenScanner::TakeComment(uint32_t end) { return Take(comment_, end); }

std::u16string_view TokenScanner::PendingComment() const { return ClosedText(comment_); }

void TokenScanner::EndText(uint32_t end) {
  if (value_.IsOpen()) events_.Value(Trim(Take(value_, end)));
}

// The first position from `at` whose character Step must see: inside an
// open token or an ignored line only a few characters do anything (U+001A
// included, which Step would skip too).
[[gnu::always_inline]] inline uint32_t TokenScanner::SkipOrdinary(uint32_t at) const {
  switch (place_) {
    case Place::Value:
      return value_.IsOpen() ? FindStop(chars_, at, count_, u'\r', 0, 0) : at;
    case Place::Comment:
    case Place::AfterHeader:
      return FindStop(chars_, at, count_, u'\r', 0, 0);
    case Place::Key:
      return FindStop(chars_, at, count_, format::kKeyValueSeparator, u'\r', 0);
    case Place::SectionName:
      return name_.IsOpen()
                 ? FindStop(chars_, at, count_, format::kSectionClose, format::kSectionOpen, 0)
                 : at;
    case Place::Indent:
      // Indentation is a few spaces or tabs: a plain loop beats a search.
      while (at < count_ && (chars_[at] == u' ' || chars_[at] == u'\t')) ++at;
      return at;
    default:
      return at;
  }
}

// The scan loop runs it for most characters that it does not skip: inlined, it
// costs no call each. It answers where the scan goes on: after `at`, or after
// more characters that it saw to at once.
[[gnu::always_inline]] inline uint32_t TokenScanner::Step(char16_t c, uint32_t at) {
  if (c == format::kIgnoredUnit) return at + 1;
  if (c == 0) {
    SyntaxError(Reason::NulCharacter);
    return at + 1;
  }
  if (place_ == Place::HeaderLf || place_ == Place::BlankLf) {
    EndLine(c, at);
    return at + 1;
  }
  if (c == u'\r' && place_ != Place::SectionName) return BeginLineEnd(at);

  switch (place_) {
    case Place::LineStart:
      if (c == format::kSectionOpen) {
        Close(comment_, at);
        place_ = Place::SectionName;
      } else if (c == format::kCommentMark) {
        MarkComment(at);
        place_ = Place::Comment;
      } else if (c == format::kKeyValueSeparator) {
        SyntaxError(Reason::LineStartsWithEquals);
      } else if (IsWhiteSpace(c)) {
        MarkComment(at);
        place_ = Place::Indent;
      } else {
        StartEntry(at);
      }
      return at + 1;
    case Place::SectionName:
      if (c == format::kSectionClose) {
        events_.Header(Take(name_, at), at);
        place_ = Place::AfterHeader;
      } else if (c == format::kSectionOpen) {
        SyntaxError(Reason::BracketInSectionName);
      } else {
        name_.OpenAt(at);  // a CR and LF here belong to the name
      }
      return at + 1;
    case Place::Indent:
      if (c == format::kCommentMark) {
        place_ = Place::Comment;
      } else if (c == format::kKeyValueSeparator) {
        SyntaxError(Reason::LineStartsWithEquals);
      } else if (!IsWhiteSpace(c)) {
        StartEntry(at);
      }
      return at + 1;
    case Place::Key:
      if (c == format::kKeyValueSeparator) {
        events_.Key(TrimEnd(Take(key_, at)));
        place_ = Place::Value;
        // Most values start right after "=": the value's first character
        // opens it here, as its own step would, which spares that step.
        if (at + 1 < count_ && OpensValue(chars_[at + 1])) {
          value_.OpenAt(at + 1);
          return at + 2;
        }
      }
      return at + 1;
    case Place::Value:
      value_.OpenAt(at);  // so the value starts right after "="
      return at + 1;
    case Place::AfterHeader:
    case Place::Comment:
    case Place::HeaderLf:
    case Place::BlankLf:
      return at + 1;
  }
  return at + 1;
}

// A CR outside a section name: the line ends here, and must go on with LF.
// Where that LF follows at once, the line ends without a step of its own.
inline uint32_t TokenScanner::BeginLineEnd(uint32_t at) {
  EndLineAt(at);
  const bool lineFeedNext = at + 1 < count_ && chars_[at + 1] == u'\n';
  if (!running_ || !lineFeedNext) return at + 1;
  EndLine(u'\n', at + 1);
  return at + 2;
}

// What a CR at `at` does in each place but a section name.
inline void TokenScanner::EndLineAt(uint32_t at) {
  switch (place_) {
    case Place::LineStart:
      MarkComment(at);
      [[fallthrough]];
    case Place::Comment:
    case Place::Indent:
      place_ = Place::BlankLf;
      return;
    case Place::AfterHeader:
      place_ = Place::HeaderLf;
      return;
    case Place::Key:  // a key without "=": a bare key, if allowed
      if (!lenient_) return SyntaxError(Reason::KeyWithoutEquals);
      events_.Key(TrimEnd(Take(key_, at)));
      events_.Value(kBareKeyValue);
      place_ = Place::HeaderLf;
      return;
    case Place::Value:
      events_.Value(Trim(Take(value_, at)));
      place_ = Place::HeaderLf;
      return;
    case Place::SectionName:
    case Place::HeaderLf:
    case Place::BlankLf:
      return;
  }
}

// The character after a line's CR, at `at`: only LF completes the line.
inline void TokenScanner::EndLine(char16_t c, uint32_t at) {
  if (c != u'\n') return SyntaxError(Reason::LoneCarriageReturn);
  if (LineTooLong(before_ + at - 1)) return;  // up to the CR
  ++line_;
  lineStart_ = before_ + at + 1;
  if (reportLineEnds_) events_.LineEnded();
  place_ = Place::LineStart;
}

// The first character of an entry line's key.
inline void TokenScanner::StartEntry(uint32_t at) {
  if (!events_.EntryStarts()) return;
  Close(comment_, at);  // the comment text before the line ends here
  key_.OpenAt(at);
  place_ = Place::Key;
}

inline void TokenScanner::MarkComment(uint32_t at) {
  if (keepComments_) comment_.OpenAt(at);
}

void TokenScanner::SyntaxError(Reason reason) {
  running_ = false;
  events_.Failed(LoadStatus::SyntaxError, reason);
}

// The whole text of `token`, up to `end` when it is still open (a closed
// token keeps its own end), which leaves it unused.
inline std::u16string_view TokenScanner::Take(Token& token, uint32_t end) {
  Close(token, end);
  std::u16string_view text = ClosedText(token);
  token = Token();
  return text;
}

// The text of a closed token; empty for one not in use.
inline std::u16string_view TokenScanner::ClosedText(const Token& token) const {
  if (!token.InUse()) return {};
  return {chars_ + token.start, token.end - token.start};
}

// Closes `token` at `end`; it keeps its place until it is taken.
inline void TokenScanner::Close(Token& token, uint32_t end) {
  if (token.IsOpen()) token.end = end;
}

}  // namespace qds
