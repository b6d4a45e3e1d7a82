// Memory straight from the system, in large aligned pieces, for allocators
// that carve it up.

#ifndef KNITFOLD_PLATFORM_MEMORY_H_
#define KNITFOLD_PLATFORM_MEMORY_H_

#include <cstddef>

namespace qds::platform {

inline constexpr size_t kLargePageBytes = size_t{2} << 20;

// `bytes` bytes of fresh, zero-filled memory, aligned to a page; null when
// the system refuses. A piece of at least kLargePageBytes is aligned to
// that, and the system is asked to back it with large pages where it can: a
// first touch of memory a small page at a time costs far more. A smaller
// piece takes small pages, so that only what is touched costs. The memory
// stays until FreePages gives it back with the same size.
void* AllocatePages(size_t bytes);
void FreePages(void* pages, size_t bytes);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_MEMORY_H_
