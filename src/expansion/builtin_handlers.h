// The handlers of the built-in commands and of defined commands. Each one
// follows the CommandHandler contract (command_handler.h); what a command
// does with its arguments is described where it is defined.

#ifndef KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_
#define KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_

#include <cstdint>

#include "expansion/command_handler.h"

namespace qds {

// ---- Control and symbol commands (control_commands.cpp) ------------------

ReplaceStatus IfCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                        char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ForCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SetCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus EvalCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                          char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ValueCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus DefineCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
// The handler of every defined command: args[0] is the definition.
ReplaceStatus RunUserCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                             char16_t* out, uint32_t* outLen, uint32_t flags);

// ---- String commands (string_commands.cpp) -------------------------------

ReplaceStatus SplitCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ChrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus LengthCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus IndexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SubstrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SubCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus RindexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);

// ---- Path commands (path_commands.cpp) -----------------------------------

ReplaceStatus ExistsCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SplitPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                               char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ToShortPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                                 char16_t* out, uint32_t* outLen, uint32_t flags);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_
