// The errors of the operating-system services. Each service returns a
// SystemResult (common/result.h) whose failure carries a code of one of two
// families, as on Windows:
// - system codes: those of the file, directory, log, lock, random and
//   replacement services; errno values on POSIX, GetLastError's on Windows.
// - runtime error numbers (descriptors.h): the C runtime's errno values
//   (EACCES, ENOENT, ENOSPC, ...) on every platform.
// The system codes that callers must tell apart are named here, with the
// value each platform gives them.

#ifndef KNITFOLD_PLATFORM_ERRORS_H_
#define KNITFOLD_PLATFORM_ERRORS_H_

#include <cerrno>
#include <cstdint>
#include <string>

#include "common/result.h"

namespace qds::platform {

enum class SystemStatus : uint8_t { Ok, Failed };
using SystemResult = Result<SystemStatus>;
static_assert(std::is_trivially_copyable_v<SystemResult>);

constexpr SystemResult SystemFailure(uint32_t code) { return {SystemStatus::Failed, code}; }
// A failure with the system code that the last failed system call of the
// calling thread left (errno, GetLastError).
SystemResult LastSystemFailure();
// A failure with the C runtime's error number of the calling thread (errno).
inline SystemResult LastRuntimeFailure() { return SystemFailure(static_cast<uint32_t>(errno)); }
// Success, or LastSystemFailure() when a system call did not succeed.
inline SystemResult SystemCallResult(bool succeeded) {
  return succeeded ? SystemResult() : LastSystemFailure();
}

extern const uint32_t kErrorAlreadyExists;  // a directory asked for already exists
extern const uint32_t kErrorFileExists;     // the copy's destination exists
extern const uint32_t kErrorNameTooLong;    // a path does not fit the path buffers
// What CreateExclusiveLog reports for a log name that shows something other
// than a regular file (a FIFO, a device) or a file with several links.
extern const uint32_t kErrorNotRegularFile;
extern const uint32_t kErrorSeveralLinks;
// An operation refused because the name it acts on no longer shows the file
// this process created there.
extern const uint32_t kErrorNotOwnFile;
// A refused link (or other reparse point) where a name that the program
// picks, its working folder or its log should be.
extern const uint32_t kErrorLinkRefused;
// Memory ran out (for a failure that the program, not the system, saw).
extern const uint32_t kErrorOutOfMemory;
// A file lock (file_lock.h) that another holder kept.
extern const uint32_t kErrorLockHeld;

// The system's text for a system code, unchanged (it may end in a line
// break). False when the system cannot describe the code.
bool ErrorText(uint32_t code, std::u16string* text);
// The C runtime's text for one of its error numbers (descriptors.h).
bool RuntimeErrorText(int error, std::u16string* text);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_ERRORS_H_
