// The expanding end of an entry read: the value goes through the symbol
// engine instead of being copied, and a failure leaves an excerpt of the
// value around the failure in the document.

#include <algorithm>

#include "document/qds_document.h"
#include "symbols/replace_symbols.h"

namespace qds {

namespace {

// Characters kept on either side of the failure position.
constexpr uint32_t kContextSide = 25;

}  // namespace

ReadStatus QdsDocument::ExpandValue(std::u16string_view value, bool keyCut, char16_t* valueBuffer,
                                    uint32_t* valueLength) {
  // Documents before version 2 test "if" conditions the old way.
  uint32_t mode = version < 2 ? ReplaceLegacy : 0;
  uint32_t position = 0;
  expansionErrorPos = 0;
  ReplaceStatus status =
      ReplaceSymbols(*symbolTable, value, valueBuffer, valueLength, mode, &position);
  expansionErrorPos = static_cast<int32_t>(position);
  if (status == ReplaceStatus::Ok) return ReadStatus::Ok;
  if (status == ReplaceStatus::BufferTooSmall || keyCut) return ReadStatus::BufferTooSmall;

  size_t start = position > kContextSide ? position - kContextSide : 0;
  size_t count = position + kContextSide - start;
  size_t copied = start < value.size() ? std::min(count, value.size() - start) : 0;
  std::fill(std::copy_n(value.data() + std::min(start, value.size()), copied, errorContext),
            errorContext + count, 0);
  errorContext[count] = 0;
  expansionErrorStatus = static_cast<uint32_t>(status);
  return ReadStatus::ExpansionFailed;
}

}  // namespace qds
