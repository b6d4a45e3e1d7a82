// The expanding end of an entry read: the value goes through the symbol
// engine instead of being copied, and a failure leaves an excerpt of the
// value around the failure in the document.

#include <algorithm>
#include <iterator>

#include "expansion/builtin_commands.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_table.h"
#include "model/document_model.h"

namespace qds {

namespace {

// Characters kept on either side of the failure position.
constexpr uint32_t kContextSide = 25;

}  // namespace

SymbolTable* QdsDocument::SetSymbolTable(SymbolTable* table) {
  if (table != nullptr) table->SetCommands(&kBuiltinCommands);
  return symbolTable = table;
}

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

  std::u16string_view excerpt = ExpansionExcerpt(value, position);
  std::fill(std::copy(excerpt.begin(), excerpt.end(), errorContext), std::end(errorContext), 0);
  expansionErrorStatus = static_cast<uint32_t>(status);
  return ReadStatus::ExpansionFailed;
}

std::u16string_view ExpansionExcerpt(std::u16string_view value, uint32_t position) {
  size_t start =
      std::min<size_t>(position > kContextSide ? position - kContextSide : 0, value.size());
  size_t end = std::min<size_t>(size_t{position} + kContextSide, value.size());
  return value.substr(start, end - start);
}

}  // namespace qds
