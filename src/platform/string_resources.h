// The STRINGTABLE resource of the running program (language 1033).
//
// Windows only: elsewhere a program carries its strings in code.

#ifndef KNITFOLD_PLATFORM_STRING_RESOURCES_H_
#define KNITFOLD_PLATFORM_STRING_RESOURCES_H_

#include <cstdint>

namespace qds::platform {

// Copies string `id` into `buffer`: at most capacity - 1 units and a
// terminating zero. Returns the units copied; 0 when there is no such string
// or the capacity is 0.
int LoadResourceString(uint32_t id, char16_t* buffer, int capacity);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_STRING_RESOURCES_H_
