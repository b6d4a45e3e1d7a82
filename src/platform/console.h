// The standard output and error streams: where a program's message goes
// when it has no log to go to, and what it prints when asked for help.

#ifndef KNITFOLD_PLATFORM_CONSOLE_H_
#define KNITFOLD_PLATFORM_CONSOLE_H_

#include <string_view>

namespace qds::platform {

enum class StandardStream { Output, Error };

// Writes UTF-16 text to a standard stream: as UTF-8, or on a Windows
// console as the UTF-16 text it is.
void WriteStandardStream(StandardStream stream, std::u16string_view text);
inline void WriteStandardError(std::u16string_view text) {
  WriteStandardStream(StandardStream::Error, text);
}

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_CONSOLE_H_
