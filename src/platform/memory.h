// Memory straight from the system, in large aligned pieces, for allocators
// that carve it up.

#ifndef KNITFOLD_PLATFORM_MEMORY_H_
#define KNITFOLD_PLATFORM_MEMORY_H_

#include <cstddef>

namespace qds::platform {

// `bytes` bytes of fresh, zero-filled memory, aligned to 2 MiB; null when
// the system refuses. The system is asked to back the memory with large
// pages where it can: a first touch of memory a small page at a time costs
// far more. The memory stays until FreePages gives it back with the same
// size.
void* AllocatePages(size_t bytes);
void FreePages(void* pages, size_t bytes);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_MEMORY_H_
