// The memory of the many small objects that a document is made of: its
// nodes and the buffers of its texts.
//
// Blocks of up to kLargestPooledBlock bytes come from large chunks, in size
// classes of 16 bytes, and go back to a free list of their class when freed;
// larger blocks come from operator new. A freed block is only ever reused
// for a block of the same class, and chunks are kept for the life of the
// process. Each thread has its own free lists and chunk (a block freed by
// another thread than the one that took it simply joins that thread's
// lists). A block is aligned to 16 bytes. Running out of memory throws
// std::bad_alloc, as operator new does.
//
// Builds with AddressSanitizer take every block from operator new, so that
// the sanitizer sees each one (kPoolingBlocks is false).

#ifndef KNITFOLD_COMMON_BLOCK_POOL_H_
#define KNITFOLD_COMMON_BLOCK_POOL_H_

#include <cstddef>

namespace qds {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPoolingBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kPoolingBlocks = false;
#else
inline constexpr bool kPoolingBlocks = true;
#endif
#else
inline constexpr bool kPoolingBlocks = true;
#endif

inline constexpr size_t kLargestPooledBlock = 512;
// The size of a chunk; ChunkSource hands out exactly this many bytes.
inline constexpr size_t kPoolChunkBytes = size_t{8} << 20;

// A block of `bytes` bytes; `bytes` must be given again to FreeBlock.
void* AllocateBlock(size_t bytes);
void FreeBlock(void* block, size_t bytes);

// Where new chunks come from: a function that returns kPoolChunkBytes bytes
// aligned to 16 (or null, when the pool falls back to operator new). A
// program sets it once at its start, before other threads run; the default
// takes chunks from operator new. Chunks already taken stay in use.
using ChunkSource = void* (*)(size_t bytes);
void SetChunkSource(ChunkSource source);

}  // namespace qds

#endif  // KNITFOLD_COMMON_BLOCK_POOL_H_
