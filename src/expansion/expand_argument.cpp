#include "expansion/expand_argument.h"

#include "expansion/replace_symbols.h"

namespace qds {

ReplaceStatus ExpandToSpace(SymbolMap& table, const char16_t* text, ExpandFlags flags,
                            char16_t* space, uint32_t spaceChars, uint32_t* length) {
  uint32_t size = spaceChars;
  ReplaceStatus status = ReplaceSymbols(table, text, space, &size, flags, nullptr);
  if (status == ReplaceStatus::BufferTooSmall) return ReplaceStatus::ArgumentTooLong;
  if (status == ReplaceStatus::Ok && length != nullptr) *length = size - 1;
  return status;
}

ReplaceStatus ExpandArgument(SymbolMap& table, const char16_t* text, ExpandFlags flags,
                             std::u16string* result) {
  result->resize(kArgumentSpace);
  uint32_t length = 0;
  ReplaceStatus status = ExpandToSpace(table, text, flags, result->data(), kArgumentSpace, &length);
  result->resize(length);
  return status;
}

}  // namespace qds
