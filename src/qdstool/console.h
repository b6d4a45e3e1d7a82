// Console output of qdstool: text is UTF-16 inside and UTF-8 on the console.

#ifndef KNITFOLD_QDSTOOL_CONSOLE_H_
#define KNITFOLD_QDSTOOL_CONSOLE_H_

#include <string_view>

namespace qds::tool {

// Bytes to standard output as they stand (for text already in UTF-8 or ASCII).
void WriteOutput(std::string_view bytes);
// `text` and a line feed, as UTF-8, to standard output or standard error.
void PrintLine(std::u16string_view text);
void PrintErrorLine(std::u16string_view text);
// The same for text already in UTF-8 or ASCII.
void PrintErrorLine(std::string_view text);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_CONSOLE_H_
