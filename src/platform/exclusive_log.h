// A log file that one process holds alone from its creation to its end, so
// that two runs never write into one log.

#ifndef KNITFOLD_PLATFORM_EXCLUSIVE_LOG_H_
#define KNITFOLD_PLATFORM_EXCLUSIVE_LOG_H_

#include <cstddef>
#include <cstdint>

#include "platform/errors.h"

namespace qds::platform {

using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidHandle = -1;

// Opens or creates the log at `path` for writing, holds it exclusively until
// the process ends, and only then truncates it. On POSIX a new log is
// readable and writable by its owner alone, and an existing one of this
// account's is made so before it is held, since any account that may open
// the log could hold it too. *log receives the log's handle. A failure
// carries its system code and leaves the name as it was: a log held by
// another process; a link (on Windows any reparse point) at the name, which
// is never followed; a directory; something other than a regular file
// (kErrorNotRegularFile); a file with several links (kErrorSeveralLinks).
SystemResult CreateExclusiveLog(const char16_t* path, FileHandle* log);
// Writes `size` bytes; false when they could not all be written.
bool WriteLog(FileHandle log, const void* bytes, size_t size);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_EXCLUSIVE_LOG_H_
