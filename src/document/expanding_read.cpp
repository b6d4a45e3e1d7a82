#include "document/expanding_read.h"

#include <qds/symbol_table.h>

#include <algorithm>
#include <iterator>

#include "expansion/replace_symbols.h"

namespace qds {

namespace {

// Characters kept on either side of the failure position.
constexpr uint32_t kContextSide = 25;

}  // namespace

ReadStatus ExpandingRead::Expand(std::u16string_view value, bool keyCut, char16_t* valueBuffer,
                                 uint32_t* valueLength) {
  // Documents before version 2 test "if" conditions the old way.
  uint32_t mode = state_.model.version < 2 ? ReplaceLegacy : 0;
  uint32_t position = 0;
  state_.expansionErrorPos = 0;
  ReplaceStatus status =
      ReplaceSymbols(state_.symbolTable->map(), value, valueBuffer, valueLength, mode, &position);
  state_.expansionErrorPos = static_cast<int32_t>(position);
  if (status == ReplaceStatus::Ok) return ReadStatus::Ok;
  if (status == ReplaceStatus::BufferTooSmall || keyCut) return ReadStatus::BufferTooSmall;

  std::u16string_view excerpt = ExpansionExcerpt(value, position);
  std::fill(std::copy(excerpt.begin(), excerpt.end(), state_.errorContext),
            std::end(state_.errorContext), 0);
  state_.expansionErrorStatus = static_cast<uint32_t>(status);
  return ReadStatus::ExpansionFailed;
}

std::u16string_view ExpansionExcerpt(std::u16string_view value, uint32_t position) {
  size_t start =
      std::min<size_t>(position > kContextSide ? position - kContextSide : 0, value.size());
  size_t end = std::min<size_t>(size_t{position} + kContextSide, value.size());
  return value.substr(start, end - start);
}

}  // namespace qds
