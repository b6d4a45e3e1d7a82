#include "model/pooled_blocks.h"

#include <atomic>
#include <mutex>
#include <new>

#include "common/block_pool.h"
#include "model/thread_parts.h"

namespace qds {
namespace {

// Chunks are kept for the life of the process, each behind a link to the
// one taken before it, so that a leak checker finds them all still
// reachable (a thread's pool goes with the thread).
std::atomic<void*> lastChunk{nullptr};

// Chunks are small enough that a thread's unused rest of one costs little.
constexpr size_t kChunkBytes = size_t{256} << 10;

// The unused rest of the chunk of a thread that ended, which the next
// thread to need a chunk takes instead: kept when it holds a block of any
// size.
struct Rest {
  Rest* next;
  size_t bytes;
};

// What threads handed on, for the others: the free blocks of those that
// freed more than they took, or ended, and the rests of the chunks of those
// that ended. Never destroyed, as a thread may end after the process's
// static objects are gone.
struct Shared {
  std::mutex lock;
  BlockPool blocks;
  Rest* rests = nullptr;
};
Shared& TheShared() {
  static Shared& shared = *new Shared;
  return shared;
}

bool TakeShared(BlockPool& blocks, size_t bytes);
BlockPool::Chunk TakeChunk(BlockPool& blocks);
BlockPool::Source blockSource{TakeShared, TakeChunk};

void HandOnUnlocked(BlockPool& blocks, Shared& shared) {
  blocks.MoveFreeBlocksTo(shared.blocks);
  blockSource.sharedClasses.store(shared.blocks.NonemptyClasses(), std::memory_order_relaxed);
}

// A thread's pool, which hands its lists and the rest of its chunk on when
// the thread ends.
struct ThreadPool {
  BlockPool blocks;

  static void End(ThreadPool& pool) {
    Shared& shared = TheShared();
    std::lock_guard<std::mutex> lock(shared.lock);
    HandOnUnlocked(pool.blocks, shared);
    BlockPool::Chunk rest = pool.blocks.TakeRest();
    if (rest.bytes < kLargestPooledBlock) return;
    Unpoison(rest.start, sizeof(Rest));
    shared.rests = new (rest.start) Rest{shared.rests, rest.bytes};
  }
};

BlockPool& MyBlocks() { return ThreadParts<ThreadPool>::Mine().blocks; }

void HandOn(BlockPool& blocks) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.lock);
  HandOnUnlocked(blocks, shared);
}

bool TakeShared(BlockPool& blocks, size_t bytes) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.lock);
  const bool took = shared.blocks.MoveFreeBlocksTo(blocks, bytes, kChunkBytes / 4);
  blockSource.sharedClasses.store(shared.blocks.NonemptyClasses(), std::memory_order_relaxed);
  return took;
}

BlockPool::Chunk TakeChunk(BlockPool& /*blocks*/) {
  {
    Shared& shared = TheShared();
    std::lock_guard<std::mutex> lock(shared.lock);
    if (Rest* rest = shared.rests) {
      shared.rests = rest->next;
      return {reinterpret_cast<char*>(rest), rest->bytes};
    }
  }
  auto* chunk = static_cast<void**>(::operator new(sizeof(void*) + kChunkBytes));
  *chunk = lastChunk.exchange(chunk, std::memory_order_relaxed);
  return {reinterpret_cast<char*>(chunk + 1), kChunkBytes};
}

}  // namespace

void* AllocateBlock(size_t bytes) {
  if (bytes > kLargestPooledBlock) return ::operator new(bytes);
  return MyBlocks().Allocate(bytes, blockSource);
}

void FreeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (bytes > kLargestPooledBlock) return ::operator delete(block);
  BlockPool& blocks = MyBlocks();
  if (blocks.Free(block, bytes)) HandOn(blocks);
}

}  // namespace qds
