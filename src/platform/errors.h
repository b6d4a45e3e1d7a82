// The errors of the operating-system services, in two families, as on
// Windows:
// - system codes (LastErrorCode): what the file, directory, log and
//   replacement services leave behind on failure; errno values on POSIX.
// - runtime error numbers (descriptors.h): the C runtime's errno values
//   (EACCES, ENOENT, ENOSPC, ...) on every platform.
// The system codes that callers must tell apart are named here, with the
// value each platform gives them.

#ifndef KNITFOLD_PLATFORM_ERRORS_H_
#define KNITFOLD_PLATFORM_ERRORS_H_

#include <cstdint>
#include <string>

namespace qds::platform {

uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);

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
