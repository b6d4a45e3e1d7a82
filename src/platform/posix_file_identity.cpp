// Which file a name leads to, on POSIX: the device and inode of a status
// query, and the kind of file it reports.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/utf8.h"
#include "platform/file_identity.h"

namespace qds::platform {

namespace {

bool Status(const char16_t* path, struct stat* status) {
  return stat(EncodeUtf8(std::u16string_view(path)).c_str(), status) == 0;
}

}  // namespace

bool SameFile(const char16_t* a, const char16_t* b) {
  struct stat first;
  struct stat second;
  return Status(a, &first) && Status(b, &second) && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool IsRegularFile(const char16_t* path) {
  struct stat status;
  return Status(path, &status) && S_ISREG(status.st_mode);
}

int OpenRegularFile(const char16_t* path, int* error) {
  // Reading a regular file never waits, whatever O_NONBLOCK says.
  int descriptor = open(EncodeUtf8(std::u16string_view(path)).c_str(),
                        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) {
    *error = errno;
    return -1;
  }
  struct stat status;
  if (fstat(descriptor, &status) != 0) {
    *error = errno;
  } else if (!S_ISREG(status.st_mode)) {
    *error = EINVAL;
  } else {
    return descriptor;
  }
  close(descriptor);
  return -1;
}

}  // namespace qds::platform
