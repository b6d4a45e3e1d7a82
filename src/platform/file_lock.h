// The lock that guards a file while one run changes it: an exclusive lock
// on a lock file beside it, which every writer of the library takes before
// it reads the file it will change and holds until the new text is in
// place. The lock file is a name the program picks (replace.h): it is
// created exclusively and never through a link, readable and writable by
// its owner alone on POSIX, and may stay after a run.

#ifndef KNITFOLD_PLATFORM_FILE_LOCK_H_
#define KNITFOLD_PLATFORM_FILE_LOCK_H_

#include <cstdint>

#include "common/result.h"
#include "platform/exclusive_log.h"

namespace qds::platform {

// Why a lock was not taken, for the caller's status.
enum class LockFailure { None, Held, Denied, NoFolder, Other };
using LockResult = Result<LockFailure>;

// Opens the lock file at `path`, creating it when missing, and locks it
// exclusively, trying again every few milliseconds while another holder
// has it, for up to `waitMilliseconds`; *lock receives the lock file's
// handle. A failure tells why, with the system code of its cause:
// kErrorLockHeld (Held) when the lock stayed held; the folder's refusal
// (Denied) or absence (NoFolder); or (Other) a link (on Windows any reparse
// point) at the name (kErrorLinkRefused); something other than a regular
// file (kErrorNotRegularFile); a file of several links (kErrorSeveralLinks);
// on POSIX a file that accounts other than its owner may open, or (but for
// root) another account's (kErrorNotOwnFile), since whoever may open the
// lock file may hold it.
LockResult AcquireFileLock(const char16_t* path, uint32_t waitMilliseconds, FileHandle* lock);
// Lets the lock go and closes the lock file, which stays.
void ReleaseFileLock(FileHandle lock);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_FILE_LOCK_H_
