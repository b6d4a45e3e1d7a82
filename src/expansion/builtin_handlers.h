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
                        char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus ForCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus SetCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus EvalCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                          char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus ValueCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus DefineCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
// The handler of every defined command: args[0] is the definition.
ReplaceStatus RunUserCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                             char16_t* out, uint32_t* outLen, ExpandFlags flags);

// ---- String commands (string_commands.cpp) -------------------------------

ReplaceStatus SplitCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus ChrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus LengthCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus IndexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus SubstrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus SubCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus RindexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);

// ---- Path commands (path_commands.cpp) -----------------------------------

ReplaceStatus ExistsCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus SplitPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                               char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceStatus ToShortPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                                 char16_t* out, uint32_t* outLen, ExpandFlags flags);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_
