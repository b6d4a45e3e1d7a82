// The memory of the many small objects that a document is made of.
//
// Blocks of up to kLargestPooledBlock bytes come from larger chunks,
// in size classes of 8 bytes, and go back to a free list of their class
// when freed. A freed block is only ever reused for a block of the same
// class, and chunks are kept for the life of the process. Each thread has
// its own free lists and chunk (a block freed by another thread than the
// one that took it simply joins that thread's lists). A block is aligned to
// 8 bytes, as much as a node needs: finer classes waste less of the memory
// that a document is mostly made of.
//
// AllocateBlock, which holds the buffers of a document's texts, takes its
// chunks and its larger blocks from operator new; running out of memory
// throws std::bad_alloc, as operator new does. A document's nodes have a
// pool of their own, which takes its chunks elsewhere.
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

// One thread's share of a pool: its free lists, by class, and the unused
// rest of its current chunk. A pool is a thread_local BlockPool and a
// function that takes chunks, which may throw std::bad_alloc. Constant
// initialized and trivially destructible, so that a thread's pool needs
// neither a guard nor cleanup: its chunks stay, and blocks in them stay
// valid wherever they went.
class BlockPool {
 public:
  // Memory for blocks, aligned to 8.
  struct Chunk {
    char* start;
    size_t bytes;
  };
  using ChunkTaker = Chunk (*)();

  // A block of `bytes` bytes, at most kLargestPooledBlock.
  void* Allocate(size_t bytes, ChunkTaker takeChunk);
  // `block` (not null) goes back to the free list of its class.
  void Free(void* block, size_t bytes);

 private:
  static constexpr size_t kGrain = 8;
  static constexpr size_t kClasses = kLargestPooledBlock / kGrain;
  struct FreeLink {
    FreeLink* next;
  };
  static size_t ClassOf(size_t bytes) { return bytes == 0 ? 0 : (bytes - 1) / kGrain; }

  FreeLink* free_[kClasses] = {};
  char* next_ = nullptr;
  char* end_ = nullptr;
};

// A block of `bytes` bytes; `bytes` must be given again to FreeBlock.
void* AllocateBlock(size_t bytes);
void FreeBlock(void* block, size_t bytes);

}  // namespace qds

#endif  // KNITFOLD_COMMON_BLOCK_POOL_H_
