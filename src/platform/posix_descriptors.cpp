// Descriptor input and output on POSIX: the system calls themselves, which
// the C runtime's descriptors are.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/descriptors.h"
#include "platform/posix_support.h"

namespace qds::platform {

SystemResult OpenDescriptor(const char16_t* path, int mode, int* descriptor) {
  std::string native = NativePath(path);
  int flags = mode == kOpenRead ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
  *descriptor = open(native.c_str(), flags | O_CLOEXEC, 0666);
  return SystemCallResult(*descriptor >= 0);
}

SystemResult OpenRegularFile(const char16_t* path, int* descriptor) {
  // Reading a regular file never waits, whatever O_NONBLOCK says.
  int opened = open(NativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (opened < 0) return LastSystemFailure();
  struct stat status;
  SystemResult refusal;
  if (fstat(opened, &status) != 0) {
    refusal = LastSystemFailure();
  } else if (!S_ISREG(status.st_mode)) {
    refusal = SystemFailure(EINVAL);
  } else {
    *descriptor = opened;
    return {};
  }
  close(opened);
  return refusal;
}

SystemResult ReadDescriptor(int descriptor, void* buffer, size_t count, size_t* got) {
  ssize_t read = ReadSome(descriptor, buffer, count);
  if (read < 0) return LastSystemFailure();
  *got = static_cast<size_t>(read);
  return {};
}

SystemResult WriteDescriptor(int descriptor, const void* buffer, size_t count) {
  return SystemCallResult(WriteAll(descriptor, buffer, count));
}

void StartWriteBack(int descriptor, int64_t offset, int64_t length) {
#ifdef SYNC_FILE_RANGE_WRITE
  (void)sync_file_range(descriptor, offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)descriptor, (void)offset, (void)length;  // no such request here: the flush does it all
#endif
}

bool CloseDescriptor(int descriptor) { return close(descriptor) == 0; }

int64_t PathSize(const char16_t* path) {
  struct stat status;
  if (stat(NativePath(path).c_str(), &status) != 0) return -1;
  return status.st_size;
}

// A regular file is a disk file.
bool IsDiskFile(int descriptor) {
  struct stat status;
  return fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
}

// Another account that may write a file could shorten it while it is
// mapped, and so stop this process: such a file is read instead. (Write
// access that an access control list grants shows in the group bits.)
namespace {
bool OthersMayWrite(const struct stat& status) {
  return status.st_uid != geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}
}  // namespace

const void* MapFile(int descriptor, size_t* bytes) {
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
      static_cast<uint64_t>(status.st_size) > SIZE_MAX || OthersMayWrite(status)) {
    return nullptr;
  }
  int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
  flags |= MAP_POPULATE;  // the file is read whole: fault it in at once
#endif
  auto size = static_cast<size_t>(status.st_size);
  void* mapping = mmap(nullptr, size, PROT_READ, flags, descriptor, 0);
  if (mapping == MAP_FAILED) return nullptr;
  if (!GuardMapping(mapping, size)) {
    munmap(mapping, size);
    return nullptr;
  }
  *bytes = size;
  return mapping;
}

void UnmapFile(const void* mapping, size_t bytes) {
  if (mapping == nullptr) return;
  ForgetMapping(mapping);
  munmap(const_cast<void*>(mapping), bytes);
}

bool StampOf(int descriptor, FileStamp* stamp) {
  struct stat status;
  if (fstat(descriptor, &status) != 0) return false;
  constexpr int64_t kNanoseconds = 1'000'000'000;
  stamp->size = status.st_size;
  stamp->modified = status.st_mtim.tv_sec * kNanoseconds + status.st_mtim.tv_nsec;
  stamp->changed = status.st_ctim.tv_sec * kNanoseconds + status.st_ctim.tv_nsec;
  return true;
}

}  // namespace qds::platform
