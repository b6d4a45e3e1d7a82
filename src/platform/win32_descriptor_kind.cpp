// Descriptor kinds on Windows: the system's type of the descriptor's handle.

#include <io.h>
#include <windows.h>

#include "platform/platform.h"

namespace qds::platform {

bool IsDiskFile(int descriptor) {
  intptr_t handle = _get_osfhandle(descriptor);
  return handle != -1 && GetFileType(reinterpret_cast<HANDLE>(handle)) == FILE_TYPE_DISK;
}

}  // namespace qds::platform
