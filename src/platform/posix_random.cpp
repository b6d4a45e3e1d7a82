// Random bytes on POSIX: getrandom(2), which waits only once, at boot, until
// the system's generator is seeded.

#include <sys/random.h>

#include <cerrno>

#include "platform/random.h"

namespace qds::platform {

// Up to 256 bytes come whole from one call, unless a signal interrupts the
// wait at boot.
SystemResult FillRandom(void* bytes, size_t size) {
  for (;;) {
    ssize_t got = getrandom(bytes, size, 0);
    if (got == static_cast<ssize_t>(size)) return {};
    if (got >= 0) return SystemFailure(EIO);
    if (errno != EINTR) return LastSystemFailure();
  }
}

}  // namespace qds::platform
