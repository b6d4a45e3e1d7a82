// BlockPool: the free lists and chunk of one thread's share of a pool of
// the many small objects that a document is made of.
//
// Blocks of up to kLargestPooledBlock bytes come from larger chunks,
// in size classes of 8 bytes, and go back to a free list of their class
// when freed. A freed block is only ever reused for a block of the same
// class. Each thread has its own free lists and chunk (a block freed by
// another thread than the one that took it simply joins that thread's
// lists). A block is aligned to 8 bytes, as much as a node needs: finer
// classes waste less of the memory that a document is mostly made of.
//
// A thread that ends, or that frees 1 MiB more than it takes, hands its
// free lists on to the other threads of its pool; one that ends also
// leaves them the rest of its chunk. The pools are the buffers of texts
// (model/pooled_blocks.h) and the nodes (model/node_pool.h).
//
// Builds with AddressSanitizer pool blocks as every build does, so that the
// sanitizer checks the pools that ship: free blocks and the uncarved rest of
// a chunk are poisoned (common/poison.h), and a block in use is addressable
// for the bytes asked for only. A use of a freed block is reported as a use
// of poisoned memory; a free of a block not in use ends the process with a
// message.

#ifndef KNITFOLD_COMMON_BLOCK_POOL_H_
#define KNITFOLD_COMMON_BLOCK_POOL_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "common/poison.h"

namespace qds {

inline constexpr size_t kLargestPooledBlock = 512;

// One thread's share of a pool: its free lists, by class, and the unused
// rest of its current chunk. A pool is a BlockPool for each thread and a
// function that takes chunks, which may throw std::bad_alloc. Trivially
// destructible: its chunks stay, and blocks in them stay valid wherever
// they went. A BlockPool that no thread allocates from can hold free
// blocks that threads share (under a lock of their own).
class BlockPool {
 public:
  // Memory for blocks, aligned to 8.
  struct Chunk {
    char* start;
    size_t bytes;
  };
  // Where a pool turns when its own free list of a class is empty: to the
  // free blocks that threads handed on, kept by the pool's kind under a
  // lock of its own, then to a new chunk. A namespace-scope object.
  struct Source {
    // Moves some shared free blocks of the class of `bytes` to `pool`;
    // false when there were none.
    bool (*takeShared)(BlockPool& pool, size_t bytes);
    // A new chunk, the current one being used up; may throw std::bad_alloc.
    Chunk (*takeChunk)(BlockPool& pool);
    // Bit c is set while the shared lists hold blocks of class c, so that
    // a pool looks there only then.
    std::atomic<uint64_t> sharedClasses{0};
  };

  // A block of `bytes` bytes, at most kLargestPooledBlock.
  void* Allocate(size_t bytes, Source& source);
  // `block` (not null) goes back to the free list of its class. True once
  // the pool has freed kHandOnBytes more than it took since it last moved
  // its free blocks: a thread that frees what other threads took should
  // hand them on (MoveFreeBlocksTo), or it would hold them all.
  bool Free(void* block, size_t bytes);

  // The classes whose free lists hold blocks, as Source::sharedClasses.
  uint64_t NonemptyClasses() const;
  // The bytes of the blocks on the free lists.
  size_t FreeBytes() const;
  // Puts every free block on `to`'s lists, in time independent of their
  // number.
  void MoveFreeBlocksTo(BlockPool& to);
  // Puts free blocks of the class of `bytes`, at least one if there is one
  // and at most `most` bytes of them, on `to`'s list: a share for one
  // thread, so that threads that need blocks at once all get some. The
  // whole list, when it fits, in time independent of its length. False
  // when there was none.
  bool MoveFreeBlocksTo(BlockPool& to, size_t bytes, size_t most);
  // Keeps on the free lists only the blocks for which keep(block, bytes)
  // is true; `bytes` is the size of the block's class.
  template <typename Keep>
  void KeepFreeBlocks(Keep keep);
  // The unused rest of the current chunk, which the pool then forgets.
  Chunk TakeRest();

 private:
  static constexpr ptrdiff_t kHandOnBytes = ptrdiff_t{1} << 20;
  static constexpr size_t kGrain = 8;
  static constexpr size_t kClasses = kLargestPooledBlock / kGrain;
  static_assert(kClasses <= 64, "a class is a bit of Source::sharedClasses");
  struct FreeLink {
    FreeLink* next;
  };
  // A free block's link, in poisoned memory, is read and written through
  // these only.
  KNITFOLD_UNCHECKED_ADDRESSES static FreeLink* Load(FreeLink* const* link) { return *link; }
  KNITFOLD_UNCHECKED_ADDRESSES static void Store(FreeLink** link, FreeLink* to) { *link = to; }
  [[gnu::noinline]] void* AllocateElsewhere(size_t bytes, Source& source);
  static size_t ClassOf(size_t bytes) { return bytes == 0 ? 0 : (bytes - 1) / kGrain; }
  static size_t SizeOf(size_t index) { return (index + 1) * kGrain; }

  FreeLink* free_[kClasses] = {};
  // The block freed first of each nonempty list: where a list ends, so
  // that whole lists join others at once.
  FreeLink* last_[kClasses] = {};
  // The number of blocks on each list.
  size_t count_[kClasses] = {};
  // What the pool freed less what it took, since it last moved its blocks.
  ptrdiff_t netFreed_ = 0;
  char* next_ = nullptr;
  char* end_ = nullptr;
};

template <typename Keep>
void BlockPool::KeepFreeBlocks(Keep keep) {
  for (size_t index = 0; index < kClasses; ++index) {
    count_[index] = 0;
    FreeLink** link = &free_[index];
    FreeLink* last = nullptr;
    for (FreeLink* block = *link; block != nullptr; block = Load(&block->next)) {
      if (!keep(static_cast<void*>(block), SizeOf(index))) continue;
      Store(link, block);
      link = &block->next;
      last = block;
      ++count_[index];
    }
    Store(link, nullptr);
    last_[index] = last;
  }
}

}  // namespace qds

#endif  // KNITFOLD_COMMON_BLOCK_POOL_H_
