// The tool's one reporting channel: messages (knitfold/messages.h),
// formatted with printf-style arguments and appended to the log as UTF-16LE
// text without a byte-order mark.

#ifndef KNITFOLD_KNITFOLD_LOG_H_
#define KNITFOLD_KNITFOLD_LOG_H_

#include <cstdint>
#include <initializer_list>
#include <string>

#include "common/wide_format.h"
#include "platform/exclusive_log.h"

namespace qds {

// The log: invalid until the entry point creates it, then held open until
// the process ends.
extern platform::FileHandle g_logHandle;

// The text of message `id` formatted with `args`; empty when the string
// table has no such id. A text longer than the 511 characters of the
// message buffer is given the room it needs, never cut.
std::u16string FormatMessageText(uint32_t id, std::initializer_list<FormatArg> args);

void LogMessageArgs(uint32_t id, std::initializer_list<FormatArg> args);

// Appends message `id` to the log; dropped while there is no log. A message
// that cannot be written to the log goes to the standard error stream.
template <typename... Args>
void LogMessage(uint32_t id, Args... args) {
  LogMessageArgs(id, {FormatArg(args)...});
}

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_LOG_H_
