// The file lock on POSIX: flock on a lock file of this account's own,
// opened without following a link at its name. flock needs only a
// descriptor, and a descriptor needs only read access: the lock file is
// therefore one that no other account may open (root aside).

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/errors.h"
#include "platform/file_lock.h"
#include "platform/posix_support.h"

namespace qds::platform {

namespace {

constexpr long kPollNanoseconds = 20'000'000;

// Opens the lock file, creating it (0600, exclusively) when missing, and
// checks that no account but its owner (and root) may open it, and that it
// is this account's unless this is root, which shares the lock files of the
// accounts whose files it changes: -1 otherwise.
int OpenLockFile(const std::string& path) {
  constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int descriptor = open(path.c_str(), kFlags);
  if (descriptor < 0 && errno == ENOENT) {
    descriptor = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    if (descriptor < 0 && errno == EEXIST) descriptor = open(path.c_str(), kFlags);
  }
  if (descriptor < 0) return -1;
  struct stat status;
  int refusal = 0;
  if (fstat(descriptor, &status) != 0) {
    refusal = errno;
  } else if (!S_ISREG(status.st_mode)) {
    refusal = static_cast<int>(kErrorNotRegularFile);
  } else if (status.st_nlink != 1) {
    refusal = static_cast<int>(kErrorSeveralLinks);
  } else if ((status.st_mode & 077) != 0 || (status.st_uid != geteuid() && geteuid() != 0)) {
    refusal = static_cast<int>(kErrorNotOwnFile);
  }
  if (refusal == 0) return descriptor;
  close(descriptor);
  errno = refusal;
  return -1;
}

LockFailure FailureOf(int error) {
  switch (error) {
    case EWOULDBLOCK:
      return LockFailure::Held;
    case EACCES:
    case EPERM:
    case EROFS:
      return LockFailure::Denied;
    case ENOENT:
    case ENOTDIR:
      return LockFailure::NoFolder;
    default:
      return LockFailure::Other;
  }
}

long long MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1'000'000;
}

LockResult Refusal(int error) { return {FailureOf(error), static_cast<uint32_t>(error)}; }

}  // namespace

LockResult AcquireFileLock(const char16_t* path, uint32_t waitMilliseconds, FileHandle* lock) {
  int descriptor = OpenLockFile(NativePath(path));
  if (descriptor < 0) return Refusal(errno);
  const long long deadline = MonotonicMilliseconds() + waitMilliseconds;
  while (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    int error = errno == EINTR ? EWOULDBLOCK : errno;
    if (error != EWOULDBLOCK || MonotonicMilliseconds() >= deadline) {
      close(descriptor);
      return Refusal(error);
    }
    const timespec pause = {0, kPollNanoseconds};
    nanosleep(&pause, nullptr);
  }
  *lock = descriptor;
  return {};
}

void ReleaseFileLock(FileHandle lock) {
  if (lock != kInvalidHandle) close(static_cast<int>(lock));
}

}  // namespace qds::platform
