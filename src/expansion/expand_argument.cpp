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
                             CountedString* result) {
  char16_t* space = result->GetBuffer(kArgumentSpace - 1);
  ReplaceStatus status = ExpandToSpace(table, text, flags, space, kArgumentSpace);
  // After a failure the space holds what fit, unterminated; the release still
  // finds a length within it.
  result->ReleaseBuffer();
  return status;
}

}  // namespace qds
