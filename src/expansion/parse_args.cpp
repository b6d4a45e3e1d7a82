#include "expansion/parse_args.h"

#include "common/text.h"

namespace qds {

namespace {

enum class State {
  InName,
  AfterName,
  ArgStart,
  InBare,
  InDouble,
  AfterDouble,
  InSingle,
  AfterSingle,
  AfterQuoted,
  AfterClose,
  // Inside a nested form of an argument, which is stored as written.
  NestStart,
  NestSymbol,
  NestLiteral,
  NestLiteralTick,
  NestCommand,
  NestCommandParen,
};

enum class Action { Skip, Keep, End, Done, FailNotClosed, FailJunk, FailBadName };

constexpr char16_t kBacktick = u'`';

bool IsNameChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

class ArgParser {
 public:
  ArgParser(char16_t* buffer, size_t capacity, const char16_t** args, size_t maxArgs)
      : buffer_(buffer), capacity_(capacity), args_(args), maxArgs_(maxArgs) {}

  uint64_t count() const { return count_; }

  // Moves to the next state for `c` and tells what to do with it.
  Action Step(char16_t c, bool nextIsPercent) {
    switch (state_) {
      case State::InName:
        if (c == u'(') return Go(State::ArgStart, Action::End);
        if (IsNameChar(c)) return Action::Keep;
        if (IsWhiteSpace(c)) return Go(State::AfterName, Action::End);
        return Action::FailBadName;
      case State::AfterName:
        if (c == u'(') return Go(State::ArgStart, Action::Skip);
        if (IsWhiteSpace(c)) return Action::Skip;
        return Action::FailBadName;
      case State::ArgStart:
        if (c == u'"') return Go(State::InDouble, Action::Skip);
        if (c == u'\'') return Go(State::InSingle, Action::Skip);
        if (c == u',') return Action::End;
        if (c == u')') return Go(State::AfterClose, Action::End);
        if (c == u'%') return Nest(State::InBare);
        if (IsWhiteSpace(c)) return Action::Skip;
        return Go(State::InBare, Action::Keep);
      case State::InBare:
        if (c == u'%') {
          blankRun_ = false;
          return Nest(State::InBare);
        }
        if (c == u',') return Go(State::ArgStart, Action::End);
        if (c == u')' && nextIsPercent) return Go(State::AfterClose, Action::End);
        if (IsWhiteSpace(c)) {
          if (!blankRun_) {
            blankRun_ = true;
            blankStart_ = write_;
          }
        } else {
          blankRun_ = false;
        }
        return Action::Keep;
      case State::InDouble:
      case State::InSingle:
        if (c == u'%') return Nest(state_);
        if (c == Quote())
          return Go(state_ == State::InDouble ? State::AfterDouble : State::AfterSingle,
                    Action::Skip);
        return Action::Keep;
      case State::AfterDouble:
      case State::AfterSingle:
        if (c == Quote())
          return Go(state_ == State::AfterDouble ? State::InDouble : State::InSingle, Action::Keep);
        if (c == u',') return Go(State::ArgStart, Action::End);
        if (c == u')') return Go(State::AfterClose, Action::End);
        return Go(State::AfterQuoted, Action::End);
      case State::AfterQuoted:
        if (c == u',') return Go(State::ArgStart, Action::Skip);
        if (c == u')') return Go(State::AfterClose, Action::Skip);
        if (IsWhiteSpace(c)) return Action::Skip;
        return Action::FailJunk;
      case State::AfterClose:
        return c == u'%' ? Action::Done : Action::FailNotClosed;
      case State::NestStart:
        if (c == u'!') return Go(State::NestCommand, Action::Keep);
        if (c == u'%') return CloseNested();
        if (c == kBacktick) return Go(State::NestLiteral, Action::Keep);
        return Go(State::NestSymbol, Action::Keep);
      case State::NestSymbol:
        return c == u'%' ? CloseNested() : Action::Keep;
      case State::NestLiteral:
        if (c == kBacktick) return Go(State::NestLiteralTick, Action::Keep);
        return Action::Keep;
      case State::NestLiteralTick:
        return c == u'%' ? CloseNested() : Go(State::NestLiteral, Action::Keep);
      case State::NestCommand:
        if (c == u'%') {
          ++depth_;
          return Go(State::NestStart, Action::Keep);
        }
        if (c == u')') return Go(State::NestCommandParen, Action::Keep);
        return Action::Keep;
      case State::NestCommandParen:
        return c == u'%' ? CloseNested() : Go(State::NestCommand, Action::Keep);
    }
    return Action::FailNotClosed;
  }

  // Stores `c` in the current argument; false when the buffer is full.
  bool Keep(char16_t c) {
    if (static_cast<uint64_t>(count_) >= maxArgs_) return true;
    if (write_ >= capacity_) return false;
    buffer_[write_++] = c;
    return true;
  }

  // Ends the current argument; false when the buffer is full.
  bool End() {
    if (static_cast<uint64_t>(count_) < maxArgs_) {
      if (blankRun_) write_ = blankStart_;
      if (write_ >= capacity_) return false;
      buffer_[write_++] = 0;
      args_[count_] = buffer_ + argStart_;
      argStart_ = write_;
    }
    blankRun_ = false;
    ++count_;
    return true;
  }

 private:
  Action Go(State next, Action action) {
    state_ = next;
    return action;
  }
  Action Nest(State returnTo) {
    depth_ = 1;
    returnState_ = returnTo;
    return Go(State::NestStart, Action::Keep);
  }
  Action CloseNested() {
    --depth_;
    return Go(depth_ == 0 ? returnState_ : State::NestCommand, Action::Keep);
  }
  char16_t Quote() const {
    return state_ == State::InDouble || state_ == State::AfterDouble ? u'"' : u'\'';
  }

  State state_ = State::InName;
  State returnState_ = State::InBare;
  uint64_t depth_ = 0;
  char16_t* buffer_;
  size_t capacity_;
  size_t write_ = 0;
  size_t argStart_ = 0;
  bool blankRun_ = false;
  size_t blankStart_ = 0;
  uint64_t count_ = 0;
  const char16_t** args_;
  size_t maxArgs_;
};

}  // namespace

ReplaceStatus ParseArgs(const char16_t** cursor, const char16_t* end, char16_t* argBuffer,
                        size_t bufferChars, const char16_t** args, size_t maxArgs,
                        uint64_t* count) {
  ArgParser parser(argBuffer, bufferChars, args, maxArgs);
  for (const char16_t* p = *cursor; p != end; ++p) {
    bool nextIsPercent = p + 1 != end && p[1] == u'%';
    switch (parser.Step(*p, nextIsPercent)) {
      case Action::Skip:
        break;
      case Action::Keep:
        if (!parser.Keep(*p)) return ReplaceStatus::BufferTooSmall;
        break;
      case Action::End:
        if (!parser.End()) return ReplaceStatus::BufferTooSmall;
        break;
      case Action::Done:
        *cursor = p + 1;
        *count = parser.count();
        return {};
      case Action::FailNotClosed:
        *cursor = p;
        return ReplaceStatus::NotClosed;
      case Action::FailJunk:
        *cursor = p;
        return ReplaceStatus::JunkAfterQuote;
      case Action::FailBadName:
        *cursor = p;
        return ReplaceStatus::BadCommandName;
    }
  }
  return ReplaceStatus::NotClosed;
}

}  // namespace qds
