#include "common/block_pool.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "common/prefetch.h"

namespace qds {
namespace {

constexpr size_t kGrain = 8;
constexpr size_t kClasses = kLargestPooledBlock / kGrain;

struct FreeLink {
  FreeLink* next;
};

// Trivially destructible, so that a thread's pool needs no cleanup at its
// exit: its chunks stay, and blocks in them stay valid wherever they went.
struct Pool {
  FreeLink* free[kClasses];
  char* next;  // the unused rest of the current chunk
  char* end;
  size_t chunkBytes;  // the size of the current chunk (0: none yet)
};

thread_local Pool pool;
ChunkSource chunkSource = nullptr;

void* TakeChunk(size_t bytes) {
  void* chunk = chunkSource != nullptr ? chunkSource(bytes) : nullptr;
  return chunk != nullptr ? chunk : ::operator new(bytes);
}

}  // namespace

void SetChunkSource(ChunkSource source) { chunkSource = source; }

void* AllocateBlock(size_t bytes) {
  if (!kPoolingBlocks || bytes > kLargestPooledBlock) return ::operator new(bytes);
  size_t index = bytes == 0 ? 0 : (bytes - 1) / kGrain;
  if (FreeLink* block = pool.free[index]) {
    pool.free[index] = block->next;
    // The next block of the class is the next one handed out: its link is
    // read then, and its memory written.
    Prefetch(block->next);
    return block;
  }
  size_t size = (index + 1) * kGrain;
  if (static_cast<size_t>(pool.end - pool.next) < size) {
    // The rest of the old chunk, less than one block, is given up.
    pool.chunkBytes = pool.chunkBytes == 0
                          ? kFirstChunkBytes
                          : std::clamp(2 * pool.chunkBytes, kSecondChunkBytes, kPoolChunkBytes);
    pool.next = static_cast<char*>(TakeChunk(pool.chunkBytes));
    pool.end = pool.next + pool.chunkBytes;
  }
  void* block = pool.next;
  pool.next += size;
  return block;
}

void FreeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (!kPoolingBlocks || bytes > kLargestPooledBlock) return ::operator delete(block);
  size_t index = bytes == 0 ? 0 : (bytes - 1) / kGrain;
  pool.free[index] = new (block) FreeLink{pool.free[index]};
}

}  // namespace qds
