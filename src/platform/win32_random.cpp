// Random bytes on Windows: the system's preferred generator of CNG.

#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include "platform/random.h"

namespace qds::platform {

SystemResult FillRandom(void* bytes, size_t size) {
  NTSTATUS status = BCryptGenRandom(nullptr, static_cast<PUCHAR>(bytes), static_cast<ULONG>(size),
                                    BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status >= 0) return {};
  return SystemFailure(ERROR_GEN_FAILURE);
}

}  // namespace qds::platform
