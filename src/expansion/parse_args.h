// ParseArgs: splits a command call "name(arg, ...)%" into its name and
// arguments.
//
// The command name is ASCII letters and digits; blanks (common/text.h
// IsWhiteSpace) may stand between it and the "(". Unquoted arguments lose
// their leading and trailing blanks. A quoted argument ('...' or "...") keeps
// everything between its quotes, a doubled quote standing for one; after its
// closing quote only blanks and then "," or ")" may follow (a character
// directly after the quote ends the argument and is dropped). Nested forms
// (%name%, %%, %`...`%, %!call(...)%) are stored as written and do not split
// or end an argument.

#ifndef KNITFOLD_EXPANSION_PARSE_ARGS_H_
#define KNITFOLD_EXPANSION_PARSE_ARGS_H_

#include <cstddef>
#include <cstdint>

#include "expansion/replace_status.h"

namespace qds {

// Parses the call whose name starts at *cursor (the character after "%!")
// and whose text ends at `end`. Arguments, the name first, are stored one
// after the other in argBuffer (bufferChars characters), each terminated;
// args receives the start of each, but only the first maxArgs are stored.
// *count receives the number of arguments including the name, counting those
// beyond maxArgs too, and *cursor moves past the closing "%". Fails with
// NotClosed (the text ends, or ")" is not followed by "%"), BufferTooSmall
// (argBuffer has no room left), JunkAfterQuote or BadCommandName (a bad
// character in or after the name), leaving *cursor at the offending
// character, or unchanged when the text ended or the buffer filled.
ReplaceStatus ParseArgs(const char16_t** cursor, const char16_t* end, char16_t* argBuffer,
                        size_t bufferChars, const char16_t** args, size_t maxArgs, uint64_t* count);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_PARSE_ARGS_H_
