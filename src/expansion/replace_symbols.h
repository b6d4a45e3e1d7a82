// ReplaceSymbols: expands the symbol references, percent escapes, literal
// spans and command calls of a text in one left-to-right pass.
//
//   %name%           the symbol's value (nothing when it is absent)
//   %%               one "%"
//   %`text`%         the text unchanged
//   %!name(args)%    what the command produces
//
// What a value or a command produces is not scanned again; commands expand
// their own arguments by calling ReplaceSymbols, one level deeper.

#ifndef KNITFOLD_EXPANSION_REPLACE_SYMBOLS_H_
#define KNITFOLD_EXPANSION_REPLACE_SYMBOLS_H_

#include <cstdint>
#include <string_view>

#include "expansion/replace_status.h"

namespace qds {

class SymbolMap;

// Limits of the expansion language.
inline constexpr size_t kMaxSymbolName = 128;  // characters of a name in %name%
inline constexpr int kMaxExpansionDepth = 64;  // nested ReplaceSymbols calls

// Expands `text` into `out`.
// - *outLen: in, the capacity of `out` in characters, counting the place of
//   the terminating zero (taken as 0 when `out` is null). Out, the size of the
//   complete expansion counting its zero: what was written on Ok, the size
//   needed on BufferTooSmall, the characters produced before the failure
//   otherwise. A call with a null `out` is the size query: BufferTooSmall
//   with the size to allocate, unless the text fails otherwise.
// - On BufferTooSmall `out` holds what fit, without a zero; every command
//   still ran and the whole text was checked.
// - flags: NoCommands, Legacy; all bits are handed unchanged to
//   the command handlers.
// - errorPos (optional): set to 0; after a failure of the scan, the index in
//   `text` where it was detected (the start of the command name for a
//   command's own failure). It stays 0 when the output only did not fit.
// Commands change the table on every call, size queries included. A call
// nested more than kMaxExpansionDepth deep fails with NestedTooDeep, a
// result longer than a 32-bit length can count with OutputTooLong.
// Allocates nothing except for command calls.
[[nodiscard]] ReplaceStatus ReplaceSymbols(SymbolMap& table, std::u16string_view text,
                                           char16_t* out, uint32_t* outLen, ExpandFlags flags,
                                           uint32_t* errorPos);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_REPLACE_SYMBOLS_H_
