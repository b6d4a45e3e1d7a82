// Expanding a command's argument into a space of fixed size.

#ifndef KNITFOLD_EXPANSION_EXPAND_ARGUMENT_H_
#define KNITFOLD_EXPANSION_EXPAND_ARGUMENT_H_

#include <cstdint>
#include <string>

#include "expansion/replace_status.h"

namespace qds {

class SymbolMap;

// The space of ExpandArgument, counting the terminating zero.
inline constexpr uint32_t kArgumentSpace = 1024;

// Expands `text` with `flags` into `space`, which holds `spaceChars`
// characters counting the terminating zero. On Ok the space holds the
// terminated expansion and *length (when given) its length without the zero.
// An expansion that does not fit gives ArgumentTooLong; every other status is
// returned unchanged, and the space then holds no meaningful text.
[[nodiscard]] ReplaceStatus ExpandToSpace(SymbolMap& table, const char16_t* text, ExpandFlags flags,
                                          char16_t* space, uint32_t spaceChars,
                                          uint32_t* length = nullptr);

// ExpandToSpace into `result` with a space of kArgumentSpace characters, so
// the result holds at most 1023 characters; it holds no meaningful text after
// a failure.
[[nodiscard]] ReplaceStatus ExpandArgument(SymbolMap& table, const char16_t* text,
                                           ExpandFlags flags, std::u16string* result);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_EXPAND_ARGUMENT_H_
