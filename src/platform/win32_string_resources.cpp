// The STRINGTABLE resource of the running program, which its resource
// script compiled into it.

#include <windows.h>

#include "platform/string_resources.h"
#include "platform/win32_support.h"

namespace qds::platform {

// A capacity of 0 would make LoadStringW hand out a pointer to the resource
// instead of copying it.
int LoadResourceString(uint32_t id, char16_t* buffer, int capacity) {
  if (capacity <= 0) return 0;
  return LoadStringW(GetModuleHandleW(nullptr), id, Wide(buffer), capacity);
}

}  // namespace qds::platform
