// BuiltinCommands: the commands of the expansion language that every
// expansion knows, by name.

#ifndef KNITFOLD_EXPANSION_BUILTIN_COMMANDS_H_
#define KNITFOLD_EXPANSION_BUILTIN_COMMANDS_H_

#include "expansion/command_handler.h"

namespace qds {

struct BuiltinCommand {
  const char16_t* name;  // lower case; null in the row that closes the table
  CommandHandler handler;
};

inline constexpr int kBuiltinCommandCount = 16;

// The 16 commands in their fixed order, then a row whose name is null.
extern const BuiltinCommand BuiltinCommands[kBuiltinCommandCount + 1];

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_BUILTIN_COMMANDS_H_
