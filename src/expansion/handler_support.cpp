#include "expansion/handler_support.h"

#include <algorithm>
#include <limits>

#include "common/wide_format.h"
#include "expansion/number_text.h"
#include "expansion/replace_symbols.h"

namespace qds {

ReplaceStatus WriteOutput(std::u16string_view text, char16_t* out, uint32_t* outLen) {
  if (text.size() > std::numeric_limits<uint32_t>::max()) return ReplaceStatus::OutputTooLong;
  uint32_t size = static_cast<uint32_t>(text.size());
  bool fits = size <= *outLen;
  if (fits) std::copy(text.begin(), text.end(), out);
  *outLen = size;
  return fits ? ReplaceStatus::Ok : ReplaceStatus::BufferTooSmall;
}

ReplaceStatus WriteNumber(int32_t value, char16_t* out, uint32_t* outLen) {
  char16_t text[12];
  size_t length = FormatWide(text, 12, u"%d", {value});
  return WriteOutput(std::u16string_view(text, length), out, outLen);
}

ReplaceStatus ExpandToOutput(SymbolMap& table, const char16_t* text, ExpandFlags flags,
                             char16_t* out, uint32_t* outLen) {
  ReplaceStatus status = ReplaceSymbols(table, text, out, outLen, flags, nullptr);
  // The engine counts the terminating zero; a handler's output does not.
  if ((status == ReplaceStatus::Ok || status == ReplaceStatus::BufferTooSmall) && *outLen > 0) {
    --*outLen;
  }
  return status;
}

ReplaceStatus ExpandWholeNumber(SymbolMap& table, const char16_t* text, ExpandFlags flags,
                                int32_t* value) {
  char16_t space[kNumberSpace];
  uint32_t length = 0;
  ReplaceStatus status = ExpandToSpace(table, text, flags, space, kNumberSpace, &length);
  if (status != ReplaceStatus::Ok) return status;
  return ParseInteger(std::u16string_view(space, length), value) ? ReplaceStatus::Ok
                                                                 : ReplaceStatus::BadArgument;
}

}  // namespace qds
