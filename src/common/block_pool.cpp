#include "common/block_pool.h"

#include <atomic>
#include <cstdint>
#include <new>

#include "common/prefetch.h"

namespace qds {
namespace {

thread_local BlockPool pool;

// Chunks are kept for the life of the process, each behind a link to the
// one taken before it, so that a leak checker finds them all still
// reachable (a thread's pool goes with the thread).
std::atomic<void*> lastChunk{nullptr};

// Chunks are small enough that a thread's unused rest of one costs little.
constexpr size_t kChunkBytes = size_t{256} << 10;

BlockPool::Chunk TakeChunk() {
  auto* chunk = static_cast<void**>(::operator new(sizeof(void*) + kChunkBytes));
  *chunk = lastChunk.exchange(chunk, std::memory_order_relaxed);
  return {reinterpret_cast<char*>(chunk + 1), kChunkBytes};
}

}  // namespace

void* BlockPool::Allocate(size_t bytes, ChunkTaker takeChunk) {
  size_t index = ClassOf(bytes);
  if (FreeLink* block = free_[index]) {
    free_[index] = block->next;
    // The next block of the class is the next one handed out: its link is
    // read then, and its memory written.
    Prefetch(block->next);
    return block;
  }
  size_t size = (index + 1) * kGrain;
  if (static_cast<size_t>(end_ - next_) < size) {
    // The rest of the old chunk, less than one block, is given up.
    Chunk chunk = takeChunk();
    next_ = chunk.start;
    end_ = chunk.start + chunk.bytes;
  }
  void* block = next_;
  next_ += size;
  return block;
}

void BlockPool::Free(void* block, size_t bytes) {
  size_t index = ClassOf(bytes);
  free_[index] = new (block) FreeLink{free_[index]};
}

void* AllocateBlock(size_t bytes) {
  if (!kPoolingBlocks || bytes > kLargestPooledBlock) return ::operator new(bytes);
  return pool.Allocate(bytes, TakeChunk);
}

void FreeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (!kPoolingBlocks || bytes > kLargestPooledBlock) return ::operator delete(block);
  pool.Free(block, bytes);
}

}  // namespace qds
