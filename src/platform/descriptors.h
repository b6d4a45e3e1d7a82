// File input and output through the C runtime's descriptors. A failure
// carries the runtime's error number (EACCES, ENOENT, ENOSPC, ...) on every
// platform as its system code. Paths are UTF-16.

#ifndef KNITFOLD_PLATFORM_DESCRIPTORS_H_
#define KNITFOLD_PLATFORM_DESCRIPTORS_H_

#include <cstddef>
#include <cstdint>

#include "platform/errors.h"

namespace qds::platform {

inline constexpr int kOpenRead = 1;
inline constexpr int kOpenWrite = 2;  // created (read and write permission) or truncated

// Opens `path` without text translation into *descriptor.
SystemResult OpenDescriptor(const char16_t* path, int mode, int* descriptor);
// Opens `path` for reading, as OpenDescriptor(path, kOpenRead) does, but
// only a regular file and without waiting: the open itself never waits (a
// FIFO without a writer, a device), and a descriptor that turns out not to
// be a regular file is closed again, failing with EINVAL. Links are
// followed.
SystemResult OpenRegularFile(const char16_t* path, int* descriptor);
// One read of up to `count` bytes; *got receives the bytes read (0 at the
// end).
SystemResult ReadDescriptor(int descriptor, void* buffer, size_t count, size_t* got);
// Writes all `count` bytes.
SystemResult WriteDescriptor(int descriptor, const void* buffer, size_t count);
// Asks the system to start writing `length` bytes of a disk file from `offset`
// to the disk and returns without waiting, so that a later flush of the file
// waits only for what is left. Advice only: nothing is reported.
void StartWriteBack(int descriptor, int64_t offset, int64_t length);
bool CloseDescriptor(int descriptor);
// The status query of a path: its size in bytes, or -1 when the query fails.
int64_t PathSize(const char16_t* path);
// True when `descriptor` is a file on a disk, not a device, pipe or console:
// a disk file takes writes best in large pieces, while a device may have to
// see each write as it is made.
bool IsDiskFile(int descriptor);

// What a write to a file changes: its size, and its times of last
// modification and of last status change (in the system's units). A file
// whose stamp differs between two looks was changed in between.
struct FileStamp {
  int64_t size = -1;
  int64_t modified = 0;
  int64_t changed = 0;
  bool operator==(const FileStamp&) const = default;
};
// The stamp of the file open at `descriptor`; false when the query fails.
bool StampOf(int descriptor, FileStamp* stamp);

// The whole of the regular file open for reading at `descriptor`, mapped
// read-only with its pages read in: what reading it from its start would
// give, without a copy; *bytes gets its size. Null, with nothing mapped, for
// an empty file, anything but a regular file, a file that another account
// may write, too many mappings at once, or where the system cannot map it
// (the caller reads it instead; Windows maps nothing). The mapping stays
// after the descriptor is closed, until UnmapFile is given it with the same
// size. A mapped file that another program of this account shortens stops
// the process when a page past its new end is touched, unless the program
// guards its mappings (GuardMappedFiles): map only where one of the two is
// an acceptable end.
const void* MapFile(int descriptor, size_t* bytes);
void UnmapFile(const void* mapping, size_t bytes);

// For a program's main alone, never a library's: from now on a page of a
// mapping of MapFile that has lost its file's bytes (the file was shortened)
// reads as zeros instead of stopping the process, and MappingCut tells. The
// process-wide handler of the system's bus error signal does it; a fault
// anywhere else still stops the process as it would have.
void GuardMappedFiles();
// True when a page of `mapping` (of MapFile) has lost its file's bytes since
// it was mapped: its text is not the file's.
bool MappingCut(const void* mapping);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_DESCRIPTORS_H_
