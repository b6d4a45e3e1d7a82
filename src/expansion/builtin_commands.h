// The commands of the expansion language that every expansion of a document
// knows: the sixteen built-in commands by name, and the defined commands of
// a script.

#ifndef KNITFOLD_EXPANSION_BUILTIN_COMMANDS_H_
#define KNITFOLD_EXPANSION_BUILTIN_COMMANDS_H_

#include "expansion/command_table.h"

namespace qds {

inline constexpr int kBuiltinCommandCount = 16;

// The built-in commands in the language's own order, and RunUserCommand for
// the defined ones.
extern const CommandTable kBuiltinCommands;

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_BUILTIN_COMMANDS_H_
