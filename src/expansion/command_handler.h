// CommandHandler: the calling contract of every command of the expansion
// language, built-in or defined by a script.
//
// The engine (ReplaceSymbols) calls a handler for each "%!name(args)%" that it
// meets:
// - table: the symbol table of the expansion; handlers read and change it.
// - args, argCount: the argument texts as ParseArgs split them, each
//   terminated, quotes removed, nested forms not yet expanded. A built-in
//   handler gets the arguments after the command name; a call with empty
//   parentheses has one empty argument, so argCount >= 1. RunUserCommand gets
//   the definition as args[0], then the call's arguments, and argCount counts
//   the definition. The texts live until the handler returns.
// - out, *outLen: in, the capacity left in characters (possibly 0; out may be
//   null); no terminating zero needs to fit. Out, the number of characters the
//   handler produced, without a zero. A handler returns Ok only when its whole
//   output fit; otherwise it returns BufferTooSmall with the number of
//   characters it needs in *outLen and writes no more than the capacity.
//   A handler that expands a text straight into `out` with ReplaceSymbols
//   reports the length that call returned minus one.
// - flags: the engine's flags, unchanged.
// - result: Ok; BufferTooSmall, after which the engine only counts; any other
//   status ends the whole expansion and is reported at the command's name.
// Conventions: the argument count is checked first (WrongArgCount, nothing
// else happens); each argument used as text is expanded into a space of a
// fixed size (handler_support.h) with ArgumentTooLong when it does not fit;
// any other failure of an expansion is returned unchanged.

#ifndef KNITFOLD_EXPANSION_COMMAND_HANDLER_H_
#define KNITFOLD_EXPANSION_COMMAND_HANDLER_H_

#include <cstdint>

#include "expansion/replace_status.h"

namespace qds {

class SymbolMap;

using CommandHandler = ReplaceStatus (*)(SymbolMap& table, const char16_t* const* args,
                                         uint32_t argCount, char16_t* out, uint32_t* outLen,
                                         ExpandFlags flags);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_COMMAND_HANDLER_H_
