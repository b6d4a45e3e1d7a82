// CommandTable: the commands that an expansion can call, handed to the
// engine with the symbol table (SymbolMap::SetCommands) rather than known
// to it, so that the engine depends on no command and a caller chooses the
// commands: the built-in ones (builtin_commands.h), or a table of its own.
//
// A command call finds its handler in two steps: a built-in command first,
// then a command that a script defined.

#ifndef KNITFOLD_EXPANSION_COMMAND_TABLE_H_
#define KNITFOLD_EXPANSION_COMMAND_TABLE_H_

#include <span>
#include <string_view>

#include "expansion/command_handler.h"

namespace qds {

struct NamedCommand {
  const char16_t* name;  // lower case
  CommandHandler handler;
};

struct CommandTable {
  // Searched in order; the first row whose name matches wins.
  std::span<const NamedCommand> builtins;
  // Runs the commands that a script defines as symbols "!" + name; null when
  // no defined command can be called.
  CommandHandler definedCommand = nullptr;
};

// The longest command name, in characters.
inline constexpr size_t kMaxCommandName = 65;

// The handler of the built-in command `name` (A-Z compared equal to a-z) in
// `commands`, or null; always null without a table.
CommandHandler FindBuiltinCommand(const CommandTable* commands, std::u16string_view name);

// The table's definedCommand when the symbol "!" + name is present with a
// non-empty value, then *definition, which stays valid until the table
// changes; null otherwise (and for a name longer than kMaxCommandName, which
// no call can reach, or without a table).
CommandHandler FindUserCommand(const CommandTable* commands, const SymbolMap& table,
                               std::u16string_view name, std::u16string_view* definition);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_COMMAND_TABLE_H_
