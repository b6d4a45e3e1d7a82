// The handlers of the built-in commands and of defined commands. Each one
// follows the CommandHandler contract (command_handler.h); what a command
// does with its arguments is described where it is defined.

#ifndef KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_
#define KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_

#include <cstdint>

#include "expansion/command_handler.h"

namespace qds {

// ---- Control and symbol commands (control_commands.cpp) ------------------

ReplaceStatus IfCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                        char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ForCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SetCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus EvalCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                          char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ValueCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus DefineCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
// The handler of every defined command: args[0] is the definition.
ReplaceStatus RunUserCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                             char16_t* out, uint32_t* outLen, uint32_t flags);

// ---- String commands (string_commands.cpp) -------------------------------

ReplaceStatus SplitCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ChrCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus LengthCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus IndexCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SubstrCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SubCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus RindexCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);

// ---- Path commands (path_commands.cpp) -----------------------------------

ReplaceStatus ExistsCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus SplitPathCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                               char16_t* out, uint32_t* outLen, uint32_t flags);
ReplaceStatus ToShortPathCommand(SymbolTable& table, const char16_t* const* args, uint32_t argCount,
                                 char16_t* out, uint32_t* outLen, uint32_t flags);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_
