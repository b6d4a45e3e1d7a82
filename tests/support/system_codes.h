// The system codes (those of a platform::SystemResult) that the tests expect for the
// situations they set up, spelled per platform: errno values on POSIX, the
// system's error codes on Windows.

#ifndef KNITFOLD_TESTS_SUPPORT_SYSTEM_CODES_H_
#define KNITFOLD_TESTS_SUPPORT_SYSTEM_CODES_H_

#include <cerrno>
#include <cstdint>
#include <string>

namespace qds::test {

#ifdef _WIN32
inline constexpr uint32_t kCodeMissingFile = 2;    // ERROR_FILE_NOT_FOUND
inline constexpr uint32_t kCodeMissingFolder = 3;  // ERROR_PATH_NOT_FOUND
inline constexpr uint32_t kCodeFileInTheWay = 3;   // a file where a folder should be
inline constexpr uint32_t kCodeHeld = 32;          // ERROR_SHARING_VIOLATION
inline constexpr uint32_t kCodeDiskFull = 112;     // ERROR_DISK_FULL
#else
inline constexpr uint32_t kCodeMissingFile = ENOENT;
inline constexpr uint32_t kCodeMissingFolder = ENOENT;
inline constexpr uint32_t kCodeFileInTheWay = ENOTDIR;
inline constexpr uint32_t kCodeHeld = EWOULDBLOCK;  // the lock is taken
inline constexpr uint32_t kCodeDiskFull = ENOSPC;
#endif

// The system's own text for `code`, asked for directly (strerror on POSIX,
// FormatMessageW on Windows), to compare with what the tool reports.
std::u16string SystemErrorText(uint32_t code);

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_SUPPORT_SYSTEM_CODES_H_
