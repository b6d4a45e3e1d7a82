// The tool's one reporting channel: messages from the program's string
// table, formatted with printf-style arguments and appended to the log as
// UTF-16LE text without a byte-order mark.

#ifndef KNITFOLD_KNITFOLD_LOG_H_
#define KNITFOLD_KNITFOLD_LOG_H_

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/platform.h"
#include "common/wide_format.h"

namespace qds {

// Message ids of the string table.
inline constexpr uint32_t kMessageUsage = 102;
inline constexpr uint32_t kMessageSaveFailed = 105;
inline constexpr uint32_t kMessageLoadFailed = 108;
inline constexpr uint32_t kMessageCopyFailed = 109;
inline constexpr uint32_t kMessageInvalidName = 110;
inline constexpr uint32_t kMessageLogFailed = 111;
inline constexpr uint32_t kStringTraceSwitch = 113;

// The log: invalid until the entry point creates it, then held open until
// the process ends.
extern platform::FileHandle g_logHandle;
// Set to 1 by the trace switch; nothing reads it.
extern uint32_t g_traceSetting;

// The text of message `id` formatted with `args`; empty when the string
// table has no such id. A text longer than the 511 characters of the
// message buffer is given the room it needs, never cut.
std::u16string FormatMessageText(uint32_t id, std::initializer_list<platform::FormatArg> args);

void LogMessageArgs(uint32_t id, std::initializer_list<platform::FormatArg> args);

// Appends message `id` to the log; dropped while there is no log. A message
// that cannot be written to the log goes to the standard error stream.
template <typename... Args>
void LogMessage(uint32_t id, Args... args) {
  LogMessageArgs(id, {platform::FormatArg(args)...});
}

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_LOG_H_
