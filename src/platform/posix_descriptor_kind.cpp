// Descriptor kinds on POSIX: a regular file is a disk file.

#include <sys/stat.h>

#include "platform/platform.h"

namespace qds::platform {

bool IsDiskFile(int descriptor) {
  struct stat status;
  return fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace qds::platform
