// The standard error stream, where a program's message goes when it has no
// log to go to.

#ifndef KNITFOLD_PLATFORM_CONSOLE_H_
#define KNITFOLD_PLATFORM_CONSOLE_H_

#include <string_view>

namespace qds::platform {

// Writes UTF-16 text to the standard error stream: as UTF-8, or on a Windows
// console as the UTF-16 text it is.
void WriteStandardError(std::u16string_view text);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_CONSOLE_H_
