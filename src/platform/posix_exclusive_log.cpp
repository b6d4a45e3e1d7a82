// The exclusive log on POSIX: a regular file of one link, opened without
// following a link at its name and held with an exclusive lock. Whoever may
// open a file may lock it, and so block every run: the log is therefore
// private, created readable and writable by its owner alone, and a log of
// this account's that others may open (as earlier versions created it) is
// made private before the lock is taken.

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

namespace {

// A regular file of one link, private when it is this account's: 0, or the
// system code that refuses it.
int Refusal(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return static_cast<int>(kErrorNotRegularFile);
  if (status.st_nlink != 1) return static_cast<int>(kErrorSeveralLinks);
  bool ours = status.st_uid == geteuid();
  if (ours && (status.st_mode & 077) != 0 && fchmod(descriptor, status.st_mode & 0700) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace

SystemResult CreateExclusiveLog(const char16_t* path, FileHandle* log) {
  std::string native = NativePath(path);
  // Never through a link, never blocking on a FIFO, never a terminal; the
  // content of a log found at the name survives until the lock says that it
  // is this run's.
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int descriptor = open(native.c_str(), kFlags);
  if (descriptor < 0 && errno == ENOENT) {
    descriptor = open(native.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    if (descriptor < 0 && errno == EEXIST) descriptor = open(native.c_str(), kFlags);
  }
  if (descriptor < 0) return LastSystemFailure();
  int refusal = Refusal(descriptor);
  if (refusal == 0 &&
      (flock(descriptor, LOCK_EX | LOCK_NB) != 0 || ftruncate(descriptor, 0) != 0)) {
    refusal = errno;
  }
  if (refusal != 0) {
    close(descriptor);
    return SystemFailure(static_cast<uint32_t>(refusal));
  }
  *log = descriptor;
  return {};
}

bool WriteLog(FileHandle log, const void* bytes, size_t size) {
  return log != kInvalidHandle && WriteAll(static_cast<int>(log), bytes, size);
}

}  // namespace qds::platform
