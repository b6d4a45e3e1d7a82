// The Windows short path names: the 8.3 form that the file system keeps for
// an existing path.

#include <windows.h>

#include <algorithm>

#include "platform/short_path.h"
#include "platform/win32_support.h"

namespace qds::platform {

// The system's call has this contract already, the in-place use included.
size_t ShortPathName(const char16_t* path, char16_t* out, size_t capacity) {
  DWORD room = out == nullptr ? 0 : static_cast<DWORD>(std::min<size_t>(capacity, MAXDWORD));
  return GetShortPathNameW(Wide(path), out == nullptr ? nullptr : Wide(out), room);
}

}  // namespace qds::platform
