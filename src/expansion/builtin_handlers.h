// The handlers of the built-in commands and of defined commands. Each one
// follows the CommandHandler contract (command_handler.h); what a command
// does with its arguments is described where it is defined.

#ifndef KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_
#define KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_

#include <cstdint>

#include "expansion/command_handler.h"

namespace qds {

// ---- Control and symbol commands (control_commands.cpp) ------------------

ReplaceResult IfCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                        char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult ForCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult SetCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult EvalCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                          char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult ValueCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult DefineCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
// The handler of every defined command: args[0] is the definition.
ReplaceResult RunUserCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                             char16_t* out, uint32_t* outLen, ExpandFlags flags);

// ---- String commands (string_commands.cpp) -------------------------------

ReplaceResult SplitCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult ChrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult LengthCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult IndexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult SubstrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult SubCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult RindexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);

// ---- Path commands (path_commands.cpp) -----------------------------------

ReplaceResult ExistsCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult SplitPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                               char16_t* out, uint32_t* outLen, ExpandFlags flags);
ReplaceResult ToShortPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                                 char16_t* out, uint32_t* outLen, ExpandFlags flags);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_BUILTIN_HANDLERS_H_
