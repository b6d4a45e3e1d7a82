#include "expansion/replace_symbols.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <string_view>

#include "expansion/command_table.h"
#include "expansion/parse_args.h"
#include "expansion/symbol_map.h"

namespace qds {

namespace {

constexpr char16_t kBacktick = u'`';
constexpr uint64_t kMaxOutLen = std::numeric_limits<uint32_t>::max();

// Nesting depth of ReplaceSymbols on this thread. Handlers call back into the
// engine, so a defined command that calls itself would otherwise recurse
// until the stack ran out; the depth is back at 0 whenever no expansion runs.
thread_local int expansionDepth = 0;

class DepthScope {
 public:
  DepthScope() { ++expansionDepth; }
  ~DepthScope() { --expansionDepth; }
  DepthScope(const DepthScope&) = delete;
  DepthScope& operator=(const DepthScope&) = delete;
};

// One expansion: the scan position lives in the callers, the output side
// (position, capacity left, produced count) here.
class Expansion {
 public:
  Expansion(SymbolMap& table, std::u16string_view text, char16_t* out, uint32_t capacity,
            ExpandFlags flags)
      : table_(table), text_(text), out_(out), capacityLeft_(capacity), flags_(flags) {}

  ReplaceStatus Run();
  uint32_t produced() const { return static_cast<uint32_t>(produced_); }
  size_t errorAt() const { return errorAt_; }
  // True once a command's output did not fit. Usually the count then passes
  // the capacity, but a handler may pass on a nested failure of status 2
  // (a command name that is too long) with a length that would fit: the
  // expansion must not then succeed with its output cut short.
  bool outputCut() const { return outputCut_; }

 private:
  ReplaceStatus LiteralSpan(size_t* pos);
  ReplaceStatus SymbolOrEscape(size_t* pos);
  ReplaceStatus CommandCall(size_t* pos);

  // Counts `count` characters as produced and moves the output on by those of
  // them that fit; false, changing nothing, when the total would no longer
  // fit a 32-bit length.
  bool Advance(uint64_t count) {
    if (count > kMaxOutLen - produced_) return false;
    produced_ += count;
    uint32_t written = static_cast<uint32_t>(std::min<uint64_t>(count, capacityLeft_));
    out_ += written;
    capacityLeft_ -= written;
    return true;
  }
  bool Emit(std::u16string_view chars) {
    if (chars.size() > kMaxOutLen - produced_) return false;
    std::copy_n(chars.data(), std::min<size_t>(chars.size(), capacityLeft_), out_);
    return Advance(chars.size());
  }
  ReplaceStatus Fail(ReplaceStatus status, size_t at) {
    errorAt_ = at;
    return status;
  }

  SymbolMap& table_;
  std::u16string_view text_;
  char16_t* out_;
  uint32_t capacityLeft_;
  uint64_t produced_ = 0;
  ExpandFlags flags_;
  size_t errorAt_ = 0;
  bool outputCut_ = false;
};

ReplaceStatus Expansion::Run() {
  size_t pos = 0;
  for (;;) {
    size_t percent = text_.find(u'%', pos);
    if (percent == std::u16string_view::npos) break;
    if (!Emit(text_.substr(pos, percent - pos))) return Fail(ReplaceStatus::OutputTooLong, pos);
    pos = percent + 1;
    char16_t next = pos < text_.size() ? text_[pos] : u'\0';
    ReplaceStatus status = next == u'!'        ? CommandCall(&pos)
                           : next == kBacktick ? LiteralSpan(&pos)
                                               : SymbolOrEscape(&pos);
    if (status != ReplaceStatus::Ok) return status;
  }
  if (!Emit(text_.substr(pos)) || !Emit(std::u16string_view(u"", 1))) {
    return Fail(ReplaceStatus::OutputTooLong, pos);
  }
  return ReplaceStatus::Ok;
}

// *pos is on the opening backquote.
ReplaceStatus Expansion::LiteralSpan(size_t* pos) {
  size_t open = *pos + 1;
  size_t close = open;
  for (;; ++close) {
    close = text_.find(kBacktick, close);
    if (close == std::u16string_view::npos) return Fail(ReplaceStatus::NotClosed, open);
    if (close + 1 < text_.size() && text_[close + 1] == u'%') break;
  }
  // "`%%`" inside a span stands for "`%": emit through the first "%" and let
  // the second one open the next span.
  bool joined =
      close + 3 < text_.size() && text_[close + 2] == u'%' && text_[close + 3] == kBacktick;
  size_t stop = joined ? close + 2 : close;
  if (!Emit(text_.substr(open, stop - open))) return Fail(ReplaceStatus::OutputTooLong, open);
  *pos = close + 2;
  return ReplaceStatus::Ok;
}

// *pos is on the character after a "%" that opens neither a call nor a span.
ReplaceStatus Expansion::SymbolOrEscape(size_t* pos) {
  size_t start = *pos;
  size_t close = text_.find(u'%', start);
  if (close == std::u16string_view::npos) return Fail(ReplaceStatus::NotClosed, start);
  *pos = close + 1;
  if (close == start) {
    return Emit(u"%") ? ReplaceStatus::Ok : Fail(ReplaceStatus::OutputTooLong, start);
  }
  std::u16string_view name = text_.substr(start, close - start);
  if (name.size() > kMaxSymbolName) return Fail(ReplaceStatus::NameTooLong, start);
  const std::u16string* value = table_.Find(name);
  if (value != nullptr && !Emit(*value)) {
    return Fail(ReplaceStatus::OutputTooLong, start);
  }
  return ReplaceStatus::Ok;
}

// *pos is on the "!".
ReplaceStatus Expansion::CommandCall(size_t* pos) {
  if (Has(flags_, ExpandFlags::NoCommands)) return Fail(ReplaceStatus::CommandsDisabled, *pos);
  const size_t nameStart = *pos + 1;
  const char16_t* const begin = text_.data();
  const char16_t* const end = begin + text_.size();

  // First pass: check the whole call and keep only the name, so that a syntax
  // error anywhere in the call is reported before an unknown name.
  char16_t name[kMaxCommandName + 1];
  const char16_t* nameArg = nullptr;
  const char16_t* cursor = begin + nameStart;
  uint64_t count = 0;
  ReplaceStatus parsed = ParseArgs(&cursor, end, name, kMaxCommandName + 1, &nameArg, 1, &count);
  if (parsed != ReplaceStatus::Ok) return Fail(parsed, cursor - begin);

  const CommandTable* commands = table_.commands();
  std::u16string_view definition;
  CommandHandler handler = FindBuiltinCommand(commands, nameArg);
  bool builtin = handler != nullptr;
  if (!builtin) handler = FindUserCommand(commands, table_, nameArg, &definition);
  if (handler == nullptr) return Fail(ReplaceStatus::UnknownCommand, nameStart);

  // Second pass: no stored argument is longer than the text it came from, so
  // the characters of the call hold them all. A defined command's definition
  // follows them, copied, as the command may define itself anew while it runs.
  size_t consumed = static_cast<size_t>(cursor - (begin + nameStart));
  size_t space = builtin ? consumed : consumed + definition.size() + 1;
  std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[space]);
  std::unique_ptr<const char16_t*[]> args(count > std::numeric_limits<uint32_t>::max()
                                              ? nullptr
                                              : new (std::nothrow)
                                                    const char16_t*[static_cast<size_t>(count)]);
  if (buffer == nullptr || args == nullptr) return Fail(ReplaceStatus::OutOfMemory, nameStart);
  const char16_t* again = begin + nameStart;
  uint64_t stored = 0;
  (void)ParseArgs(&again, end, buffer.get(), consumed, args.get(), static_cast<size_t>(count),
                  &stored);

  uint32_t length = capacityLeft_;
  ReplaceStatus status;
  if (builtin) {
    status =
        handler(table_, args.get() + 1, static_cast<uint32_t>(count - 1), out_, &length, flags_);
  } else {
    char16_t* copy = std::copy(definition.begin(), definition.end(), buffer.get() + consumed);
    *copy = u'\0';
    args[0] = buffer.get() + consumed;
    status = handler(table_, args.get(), static_cast<uint32_t>(count), out_, &length, flags_);
  }
  args.reset();
  buffer.reset();

  if (status == ReplaceStatus::BufferTooSmall) {
    capacityLeft_ = 0;  // from here on the expansion only counts
    outputCut_ = true;
  } else if (status != ReplaceStatus::Ok) {
    return Fail(status, nameStart);
  }
  if (!Advance(length)) return Fail(ReplaceStatus::OutputTooLong, nameStart);
  *pos = static_cast<size_t>(cursor - begin);
  return ReplaceStatus::Ok;
}

}  // namespace

ReplaceStatus ReplaceSymbols(SymbolMap& table, std::u16string_view text, char16_t* out,
                             uint32_t* outLen, ExpandFlags flags, uint32_t* errorPos) {
  if (errorPos != nullptr) *errorPos = 0;
  if (out == nullptr) *outLen = 0;
  if (expansionDepth >= kMaxExpansionDepth) {
    *outLen = 0;
    return ReplaceStatus::NestedTooDeep;
  }
  DepthScope depth;
  const uint32_t capacity = *outLen;
  Expansion expansion(table, text, out, capacity, flags);
  ReplaceStatus status = expansion.Run();
  *outLen = expansion.produced();
  if (status != ReplaceStatus::Ok) {
    if (errorPos != nullptr) *errorPos = static_cast<uint32_t>(expansion.errorAt());
    return status;
  }
  bool fits = !expansion.outputCut() && expansion.produced() <= capacity;
  return fits ? ReplaceStatus::Ok : ReplaceStatus::BufferTooSmall;
}

}  // namespace qds
