// Files and directories by name: attributes, existence, creation and
// removal, and which file a name leads to. Nothing outside src/platform calls
// the OS; paths are UTF-16 on every platform, and the POSIX implementation
// converts them to UTF-8 at the system call. A failure carries its system
// code (errors.h).

#ifndef KNITFOLD_PLATFORM_FILES_H_
#define KNITFOLD_PLATFORM_FILES_H_

#include <cstdint>
#include <optional>

#include "platform/errors.h"

namespace qds::platform {

// Attribute bits, as the file system reports them.
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeNormal = 0x80;
// A link, junction or other reparse point; POSIX reports its symbolic links
// through FindEntry, which does not follow them.
inline constexpr uint32_t kAttributeReparsePoint = 0x400;

// The attributes of an existing file or directory; a failure when they
// cannot be read (for instance because nothing is there).
SystemResult QueryAttributes(const char16_t* path, uint32_t* attributes);
// Clears the read-only, hidden and system attributes.
SystemResult ResetAttributes(const char16_t* path);
// Looks the name up in its directory (never following a final link), as a
// directory search would; a failure when there is no such entry.
SystemResult FindEntry(const char16_t* path, uint32_t* attributes);
// Creates one directory; kErrorAlreadyExists when something of that name is
// there already.
SystemResult MakeDirectory(const char16_t* path);
// Copies and moves that replace a file, and the files that a run creates at
// names it picks: replace.h.
SystemResult RemoveFile(const char16_t* path);

// Which file a name leads to, learnt without waiting on it; links are
// followed. True when both names lead to one existing file: on POSIX the
// same device and inode, on Windows the same volume serial number and file
// index. False when either cannot be reached.
bool SameFile(const char16_t* a, const char16_t* b);
// The size in bytes of the regular file that `path` leads to, none when it
// leads to no regular file. A regular file, unlike a FIFO or a device, can
// be opened and read without waiting for another program and without
// changing anything. By a status query of the path: nothing is opened.
std::optional<uint64_t> RegularFileSize(const char16_t* path);
inline bool IsRegularFile(const char16_t* path) { return RegularFileSize(path).has_value(); }
// True when `path` leads to an existing file that this process may not
// write: on POSIX one whose permission bits refuse this account, on Windows
// one with the read-only attribute.
bool IsReadOnlyFile(const char16_t* path);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_FILES_H_
