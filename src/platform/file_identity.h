// Which file a name leads to, learnt without waiting on it: whether two
// names lead to one file, and whether a name leads to a regular file, which
// unlike a FIFO or a device can be opened and read without waiting for
// another program and without changing anything. Links are followed.

#ifndef KNITFOLD_PLATFORM_FILE_IDENTITY_H_
#define KNITFOLD_PLATFORM_FILE_IDENTITY_H_

namespace qds::platform {

// True when both names lead to one existing file: on POSIX the same device
// and inode, on Windows the same volume serial number and file index. False
// when either cannot be reached.
bool SameFile(const char16_t* a, const char16_t* b);

// True when `path` leads to a regular file, by a status query of the path:
// nothing is opened.
bool IsRegularFile(const char16_t* path);

// Opens `path` for reading, as OpenDescriptor(path, kOpenRead) does, but
// only a regular file and without waiting: the open itself never waits (a
// FIFO without a writer, a device), and a descriptor that turns out not to
// be a regular file is closed again, failing with EINVAL. -1 on failure with
// *error set to the runtime error number.
int OpenRegularFile(const char16_t* path, int* error);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_FILE_IDENTITY_H_
