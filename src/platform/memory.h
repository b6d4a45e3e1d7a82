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
// piece takes small pages, filled in at once where the system can. The memory
// stays until FreePages gives it back with the same size.
void* AllocatePages(size_t bytes);
void FreePages(void* pages, size_t bytes);

// A range of `bytes` bytes of address space, aligned to kLargePageBytes,
// that holds no memory until CommitPages gives parts of it some; null when
// the system refuses. For an allocator whose pieces must lie close together.
// The range stays reserved until FreePages gives it back with the same size.
void* ReservePages(size_t bytes);
// How CommitPages gives a piece smaller than kLargePageBytes its small
// pages: all filled in at once where the system can (one call costs far
// less than a fault for each), or each as it is first touched (for memory
// that may be only partly used).
enum class Filling { kAtOnce, kOnTouch };

// Makes `bytes` bytes at `pages`, within a reserved range and aligned as
// AllocatePages aligns a piece of that size, fresh zero-filled memory: a
// piece of at least kLargePageBytes on large pages, each costing only once
// it is touched; a smaller one on small pages filled in as `filling` says.
// False when the system refuses.
bool CommitPages(void* pages, size_t bytes, Filling filling);
// Gives the memory of `bytes` committed bytes at `pages` back to the
// system; the range stays reserved, and CommitPages makes them memory again.
void DecommitPages(void* pages, size_t bytes);

// The memory that the process holds now (its resident set); 0 where the
// system does not tell.
size_t ResidentBytes();

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_MEMORY_H_
