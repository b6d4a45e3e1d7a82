// The operating-system layer. Nothing outside src/platform calls the OS or
// the C library's file, directory and process functions; everything goes
// through these services, which keep the contracts of the Windows services
// that the tool was designed on. Paths and texts are UTF-16 on every
// platform; the POSIX implementation converts to UTF-8 at the system call.
//
// Error codes come in two families, as on Windows:
// - system codes (LastErrorCode): what the file, directory and log services
//   leave behind on failure; errno values on POSIX.
// - runtime error numbers (the *Descriptor services): the C runtime's errno
//   values (EACCES, ENOENT, ENOSPC, ...) on every platform.

#ifndef KNITFOLD_PLATFORM_PLATFORM_H_
#define KNITFOLD_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/counted_string.h"

namespace qds::platform {

// ---- Last error ----------------------------------------------------------

uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);

// The system codes the driver must tell apart.
extern const uint32_t kErrorAlreadyExists;  // a directory asked for already exists
extern const uint32_t kErrorFileExists;     // the copy's destination exists
extern const uint32_t kErrorNameTooLong;    // a path does not fit the path buffers
// What CreateExclusiveLog reports for a log name that shows something other
// than a regular file (a FIFO, a device) or a file with several links.
extern const uint32_t kErrorNotRegularFile;
extern const uint32_t kErrorSeveralLinks;

// The system's text for a system code, unchanged (it may end in a line
// break). False when the system cannot describe the code.
bool ErrorText(uint32_t code, CountedString* text);

// ---- The program's string table --------------------------------------------

// Copies string `id` (language 1033) into `buffer`: at most capacity - 1
// units and a terminating zero. Returns the units copied; 0 when there is no
// such string or the capacity is 0.
int LoadResourceString(uint32_t id, char16_t* buffer, int capacity);

// ---- Text services ----------------------------------------------------------

// Case-insensitive comparison of two terminated texts (A-Z folded; on
// Windows the system's comparison, which folds every letter): <0, 0, >0.
int CompareNoCase(const char16_t* a, const char16_t* b);
// The position of the character after `p`; `p` itself at the terminating zero.
// (Windows' step may take a surrogate pair in two steps.)
const char16_t* NextChar(const char16_t* p);
// The system's ANSI code page (1252 on POSIX).
uint32_t AnsiCodePage();
// Converts `count` bytes of `codePage` text into at most `capacity` units.
// Returns the units written; 0 when the code page is unknown or the output
// does not fit. Bytes that cannot be converted become U+FFFD (on Windows,
// the code page's own default character where it has one).
size_t AnsiToWide(uint32_t codePage, const char* bytes, size_t count, char16_t* out,
                  size_t capacity);
// The number of bytes that `text` takes in `codePage` (the inverse measure of
// AnsiToWide, for counting file bytes behind converted text).
size_t WideToAnsiLength(uint32_t codePage, std::u16string_view text);

// ---- Console and log --------------------------------------------------------

using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidHandle = -1;

// Opens or creates the log at `path` for writing, holds it exclusively until
// the process ends, and only then truncates it. kInvalidHandle on failure,
// with the cause in LastErrorCode() and the name left as it was: a log held
// by another process; a link (on Windows any reparse point) at the name,
// which is never followed; a directory; something other than a regular file
// (kErrorNotRegularFile); a file with several links (kErrorSeveralLinks).
FileHandle CreateExclusiveLog(const char16_t* path);
// Writes `size` bytes; false when they could not all be written.
bool WriteLog(FileHandle log, const void* bytes, size_t size);
// Writes UTF-16 text to the standard error stream as UTF-8.
void WriteStandardError(std::u16string_view text);

// ---- Files and directories (system codes on failure) --------------------------

// Attribute bits, as the file system reports them.
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeNormal = 0x80;
// A link, junction or other reparse point; POSIX reports its symbolic links
// through FindEntry, which does not follow them.
inline constexpr uint32_t kAttributeReparsePoint = 0x400;

// The attributes of an existing file or directory; false when it cannot be
// read (for instance because nothing is there).
bool QueryAttributes(const char16_t* path, uint32_t* attributes);
// Clears the read-only, hidden and system attributes.
bool ResetAttributes(const char16_t* path);
// Looks the name up in its directory (never following a final link), as a
// directory search would; false when there is no such entry.
bool FindEntry(const char16_t* path, uint32_t* attributes);
// Creates one directory; kErrorAlreadyExists when something of that name is
// there already.
bool MakeDirectory(const char16_t* path);
// Copies and moves that replace a file, and the files that a run creates at
// names it picks: file_replacement.h.
bool RemoveFile(const char16_t* path);

// ---- Descriptor I/O (runtime error numbers) ------------------------------------

inline constexpr int kOpenRead = 1;
inline constexpr int kOpenWrite = 2;  // created (read and write permission) or truncated

// Opens `path` without text translation; -1 on failure with *error set.
int OpenDescriptor(const char16_t* path, int mode, int* error);
// One read of up to `count` bytes: the bytes read (0 at the end), -1 on
// failure with *error set.
int64_t ReadDescriptor(int descriptor, void* buffer, size_t count, int* error);
// Writes all `count` bytes; false on failure with *error set.
bool WriteDescriptor(int descriptor, const void* buffer, size_t count, int* error);
// Asks the system to start writing `length` bytes of a disk file from `offset`
// to the disk and returns without waiting, so that a later flush of the file
// waits only for what is left. Advice only: nothing is reported.
void StartWriteBack(int descriptor, int64_t offset, int64_t length);
bool CloseDescriptor(int descriptor);
// The status query of a path: its size in bytes, or -1 when the query fails.
int64_t PathSize(const char16_t* path);

// ---- Thread identity and drive types (posix_identity.cpp) -----------------------

// Makes the calling thread reach the file system as the user with id `user`
// and that user's primary group, as an impersonation does; other threads
// keep their identity. False, with nothing changed, when the user is unknown
// or the process may not take that identity (it lacks the privilege, or the
// system cannot change one thread's file-system identity). On POSIX the
// process's supplementary groups still apply. On Windows `user` is the
// handle of an access token, which the thread impersonates.
bool ImpersonateUser(uint32_t user);
// The calling thread reaches the file system as the process again.
void RevertToProcessIdentity();

// Drive types, as a drive-type query answers.
inline constexpr uint32_t kDriveUnknown = 0;  // nothing along the path can be reached
inline constexpr uint32_t kDriveFixed = 3;    // a local file system
inline constexpr uint32_t kDriveRemote = 4;   // a network file system

// The file system that holds `path` is that of the path itself when it
// exists, else that of its nearest existing parent folder; a relative path
// is taken from the current folder. Both queries cost one lookup per path
// component. On Windows the file system is the drive of the path's drive
// letter (its identity: the letter's bit, A = 0), which a path without a
// drive letter does not have; its type is that of the drive, the share of a
// \\server\share path, or the current drive.
// Its identity (stable while the file system is mounted); false when nothing
// along the path can be reached.
bool QueryFileSystemId(const char16_t* path, uint64_t* id);
// Its type: kDriveRemote for a network file system (NFS, SMB/CIFS, AFS, ...).
uint32_t QueryDriveType(const char16_t* path);

// ---- Short path names (posix_short_path.cpp) -------------------------------------

// The short form of an existing path. With `out` given and room for the
// form and its terminating zero (capacity counts the zero), writes both and
// returns the form's length; otherwise returns the size it needs, zero
// counted. 0 when the form cannot be had, for instance because the path does
// not exist. POSIX has no short names: the short form of an existing path is
// the path itself.
size_t ShortPathName(const char16_t* path, char16_t* out, size_t capacity);

// ---- Descriptor kinds (posix_descriptor_kind.cpp) ---------------------------------------

// True when `descriptor` (of OpenDescriptor) is a file on a disk, not a
// device, pipe or console: a disk file takes writes best in large pieces,
// while a device may have to see each write as it is made.
bool IsDiskFile(int descriptor);

// ---- Memory pages (posix_memory.cpp) ------------------------------------------------

// `bytes` bytes of fresh, zero-filled memory straight from the system,
// aligned to 2 MiB, for allocators that carve it up; null when the system
// refuses. The system is asked to back the memory with large pages where it
// can: a first touch of memory a small page at a time costs far more. The
// memory stays until FreePages gives it back with the same size.
void* AllocatePages(size_t bytes);
void FreePages(void* pages, size_t bytes);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_PLATFORM_H_
