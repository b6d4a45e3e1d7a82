#include "document/expanding_read.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "expansion/replace_symbols.h"
#include "expansion/symbol_undo.h"

namespace qds {

namespace {

// Characters kept on either side of the failure position.
constexpr uint32_t kContextSide = 25;
// The room of an expansion's first run: most values need far less.
constexpr uint32_t kFirstRoom = 65536;

}  // namespace

ReadStatus ExpandingRead::Expand(std::u16string_view value, bool keyCut, char16_t* valueBuffer,
                                 uint32_t* valueLength) {
  uint32_t position = 0;
  state_.expansionErrorPos = 0;
  ReplaceStatus status = ReplaceSymbols(detail::Internals::Map(table_), value, valueBuffer,
                                        valueLength, ExpansionMode(state_), &position);
  state_.expansionErrorPos = static_cast<int32_t>(position);
  if (status == ReplaceStatus::Ok) return ReadStatus::Ok;
  if (status == ReplaceStatus::BufferTooSmall || keyCut) return ReadStatus::BufferTooSmall;
  RecordExpansionFailure(state_, value, status);
  return ReadStatus::ExpansionFailed;
}

ExpandFlags ExpansionMode(const detail::DocumentState& state) {
  return state.model.version < 2 ? ExpandFlags::Legacy : ExpandFlags::None;
}

void RecordExpansionFailure(detail::DocumentState& state, std::u16string_view value,
                            ReplaceStatus status) {
  std::u16string_view excerpt =
      ExpansionExcerpt(value, static_cast<uint32_t>(state.expansionErrorPos));
  std::fill(std::copy(excerpt.begin(), excerpt.end(), state.errorContext),
            std::end(state.errorContext), 0);
  state.expansionErrorStatus = static_cast<uint32_t>(status);
}

ReplaceStatus ExpandWithRetry(SymbolMap& table, std::u16string_view text, ExpandFlags flags,
                              std::u16string* out, uint32_t* errorPos) {
  // The second run must find the symbols as the first found them, or the
  // first run's commands would take effect twice (a counter raised twice).
  // Commands change nothing but the table (the path commands only read the
  // file system), so putting back the symbols that the first run changed is
  // enough, and cheaper than an engine that writes into growing room.
  SymbolUndo undo(table);
  std::vector<char16_t> buffer(kFirstRoom);
  uint32_t length = kFirstRoom;
  ReplaceStatus status = ReplaceSymbols(table, text, buffer.data(), &length, flags, errorPos);
  if (status == ReplaceStatus::BufferTooSmall) {
    undo.Restore();
    buffer.assign(length, u'\0');
    status = ReplaceSymbols(table, text, buffer.data(), &length, flags, errorPos);
  }
  size_t produced = std::min<size_t>(length, buffer.size());
  if (status == ReplaceStatus::Ok) --produced;  // the terminating zero
  out->assign(buffer.data(), produced);
  return status;
}

std::u16string_view ExpansionExcerpt(std::u16string_view value, uint32_t position) {
  size_t start =
      std::min<size_t>(position > kContextSide ? position - kContextSide : 0, value.size());
  size_t end = std::min<size_t>(size_t{position} + kContextSide, value.size());
  return value.substr(start, end - start);
}

}  // namespace qds
