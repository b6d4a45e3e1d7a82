// Finding the handler of a command call: a built-in command first, then a
// command that a script defined.
//
// The handlers themselves live in the command library (src/commands), which
// in turn expands arguments through this library; the two static libraries
// link each other, so a program that links either gets both.

#ifndef KNITFOLD_EXPANSION_COMMAND_TABLE_H_
#define KNITFOLD_EXPANSION_COMMAND_TABLE_H_

#include <string_view>

#include "expansion/command_handler.h"
#include "common/counted_string.h"

namespace qds {

// The longest command name, in characters.
inline constexpr size_t kMaxCommandName = 65;

// The handler of the built-in command `name` (A-Z compared equal to a-z), or
// null.
CommandHandler FindBuiltinCommand(std::u16string_view name);

// RunUserCommand when the symbol "!" + name is present with a non-empty
// value, which is then copied into *definition; null otherwise (and for a
// name longer than kMaxCommandName, which no call can reach).
CommandHandler FindUserCommand(const SymbolTable& table, std::u16string_view name,
                               CountedString* definition);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_COMMAND_TABLE_H_
