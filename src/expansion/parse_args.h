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

namespace qds {

// Negative results of ParseArgs; the engine's status is the absolute value.
inline constexpr int64_t kArgsNotClosed = -1;   // the text ends, or ")" is not followed by "%"
inline constexpr int64_t kArgsBufferFull = -2;  // argBuffer has no room left
inline constexpr int64_t kArgsJunkAfterQuote = -4;
inline constexpr int64_t kArgsBadName = -7;  // bad character in or after the name

// Parses the call whose name starts at *cursor (the character after "%!")
// and whose text ends at `end`. Arguments, the name first, are stored one
// after the other in argBuffer (bufferChars characters), each terminated;
// args receives the start of each, but only the first maxArgs are stored.
// Returns the number of arguments including the name, counting those beyond
// maxArgs too, and moves *cursor past the closing "%". On failure returns a
// negative result above and leaves *cursor at the offending character, or
// unchanged when the text ended or the buffer filled.
int64_t ParseArgs(const char16_t** cursor, const char16_t* end, char16_t* argBuffer,
                  size_t bufferChars, const char16_t** args, size_t maxArgs);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_PARSE_ARGS_H_
