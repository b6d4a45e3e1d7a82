// Helpers that every command handler uses to read its arguments and write
// its output under the CommandHandler contract (command_handler.h).

#ifndef KNITFOLD_EXPANSION_HANDLER_SUPPORT_H_
#define KNITFOLD_EXPANSION_HANDLER_SUPPORT_H_

#include <cstdint>
#include <string_view>

#include "expansion/command_handler.h"
#include "expansion/expand_argument.h"

namespace qds {

// The fixed spaces that arguments are expanded into, in characters counting
// the terminating zero: an expansion of 1023 characters fits kTextSpace, one
// of 1024 gives ArgumentTooLong.
inline constexpr uint32_t kTextSpace = 1024;  // texts, values, definitions
inline constexpr uint32_t kPathSpace = 260;   // the path of "exists"
inline constexpr uint32_t kNameSpace = 128;   // names of "set", "define", "split"
inline constexpr uint32_t kNumberSpace = 32;  // numbers

// Makes `text` the handler's output: Ok with *outLen = its length when it fits
// the capacity *outLen, else BufferTooSmall with its length and nothing
// written.
[[nodiscard]] ReplaceStatus WriteOutput(std::u16string_view text, char16_t* out, uint32_t* outLen);

// WriteOutput of `value` in decimal.
[[nodiscard]] ReplaceStatus WriteNumber(int32_t value, char16_t* out, uint32_t* outLen);

// Expands `text` with `flags` straight into the handler's output and returns
// the expansion's status; *outLen becomes the characters produced without
// the zero (all of them that are needed on BufferTooSmall).
[[nodiscard]] ReplaceStatus ExpandToOutput(SymbolMap& table, const char16_t* text,
                                           ExpandFlags flags, char16_t* out, uint32_t* outLen);

// Expands a whole-number argument with `flags` into a space of kNumberSpace
// and reads it with ParseInteger (signed 32-bit, automatic base, the whole
// text, not empty); BadArgument when it does not read.
[[nodiscard]] ReplaceStatus ExpandWholeNumber(SymbolMap& table, const char16_t* text,
                                              ExpandFlags flags, int32_t* value);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_HANDLER_SUPPORT_H_
