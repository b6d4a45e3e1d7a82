// The exclusive log on POSIX: a regular file of one link, opened without
// following a link at its name and held with an exclusive lock.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/errors.h"
#include "platform/exclusive_log.h"
#include "platform/posix_support.h"

namespace qds::platform {

FileHandle CreateExclusiveLog(const char16_t* path) {
  std::string native = NativePath(path);
  // Never through a link, never blocking on a FIFO, never a terminal; the
  // content of a log found at the name survives until the lock says that it
  // is this run's.
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int descriptor = open(native.c_str(), kFlags);
  if (descriptor < 0 && errno == ENOENT) {
    descriptor = open(native.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    if (descriptor < 0 && errno == EEXIST) descriptor = open(native.c_str(), kFlags);
  }
  if (descriptor < 0) return kInvalidHandle;
  struct stat status;
  bool usable = fstat(descriptor, &status) == 0;
  if (usable && !S_ISREG(status.st_mode)) {
    errno = static_cast<int>(kErrorNotRegularFile);
    usable = false;
  } else if (usable && status.st_nlink != 1) {
    errno = static_cast<int>(kErrorSeveralLinks);
    usable = false;
  }
  if (!usable || flock(descriptor, LOCK_EX | LOCK_NB) != 0 || ftruncate(descriptor, 0) != 0) {
    CloseKeepingErrno(descriptor);
    return kInvalidHandle;
  }
  return descriptor;
}

bool WriteLog(FileHandle log, const void* bytes, size_t size) {
  return log != kInvalidHandle && WriteAll(static_cast<int>(log), bytes, size);
}

}  // namespace qds::platform
