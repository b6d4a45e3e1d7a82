// The memory of the many small objects that a document is made of: its
// nodes and the buffers of its texts.
//
// Blocks of up to kLargestPooledBlock bytes come from large chunks, in size
// classes of 8 bytes, and go back to a free list of their class when freed;
// larger blocks come from operator new. A freed block is only ever reused
// for a block of the same class, and chunks are kept for the life of the
// process. Each thread has its own free lists and chunk (a block freed by
// another thread than the one that took it simply joins that thread's
// lists). A block is aligned to 8 bytes, as much as a node needs: finer
// classes waste less of the memory that a document is mostly made of.
// Running out of memory throws std::bad_alloc, as operator new does.
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
// A thread's first chunk has kFirstChunkBytes, enough for a small document,
// which thus takes little memory. The next has kSecondChunkBytes, a large
// page, and each further one twice the one before, up to kPoolChunkBytes:
// the memory of a large document comes in large pages, which cost far less
// to touch first.
inline constexpr size_t kFirstChunkBytes = size_t{256} << 10;
inline constexpr size_t kSecondChunkBytes = size_t{2} << 20;
inline constexpr size_t kPoolChunkBytes = size_t{8} << 20;

// A block of `bytes` bytes; `bytes` must be given again to FreeBlock.
void* AllocateBlock(size_t bytes);
void FreeBlock(void* block, size_t bytes);

// Where new chunks come from: a function that returns the `bytes` bytes
// asked for, aligned to 8 (or null, when the pool falls back to operator
// new). A program sets it once at its start, before other threads run; the
// default takes chunks from operator new. Chunks already taken stay in use.
using ChunkSource = void* (*)(size_t bytes);
void SetChunkSource(ChunkSource source);

}  // namespace qds

#endif  // KNITFOLD_COMMON_BLOCK_POOL_H_
