#include "common/block_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace qds {
namespace {

// Runs `body` on a thread of its own, which starts with an empty pool.
template <typename Body>
void OnFreshPool(Body body) {
  std::thread thread(body);
  thread.join();
}

// Blocks of every size, small and large, freed and taken again in random
// order: each keeps its own bytes and its alignment.
TEST(BlockPoolTest, BlocksOfAnySizeNeverOverlap) {
  OnFreshPool([] {
    struct Held {
      unsigned char* bytes;
      size_t size;
      unsigned char fill;
    };
    std::mt19937 random(11);
    std::vector<Held> held;
    for (int step = 0; step < 20000; ++step) {
      if (!held.empty() && random() % 3 == 0) {
        size_t at = random() % held.size();
        Held block = held[at];
        for (size_t i = 0; i < block.size; ++i) ASSERT_EQ(block.bytes[i], block.fill) << block.size;
        FreeBlock(block.bytes, block.size);
        held[at] = held.back();
        held.pop_back();
        continue;
      }
      size_t size = random() % 4 == 0 ? 1 + random() % 2000 : random() % (kLargestPooledBlock + 1);
      auto* bytes = static_cast<unsigned char*>(AllocateBlock(size));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(bytes) % 16, 0u) << size;
      unsigned char fill = static_cast<unsigned char>(step);
      std::memset(bytes, fill, size);
      held.push_back({bytes, size, fill});
    }
    for (const Held& block : held) FreeBlock(block.bytes, block.size);
  });
}

std::vector<void*> chunksGiven;

void* RecordingSource(size_t bytes) {
  EXPECT_EQ(bytes, kPoolChunkBytes);
  chunksGiven.push_back(::operator new(bytes));
  return chunksGiven.back();
}

void* RefusingSource(size_t) { return nullptr; }

TEST(BlockPoolTest, ChunksComeFromTheSourceAndAFallbackWhenItRefuses) {
  if (!kPoolingBlocks) GTEST_SKIP() << "blocks come from operator new in this build";
  chunksGiven.clear();
  SetChunkSource(RecordingSource);
  OnFreshPool([] {
    constexpr size_t kBlock = 512;
    std::vector<void*> blocks(kPoolChunkBytes / kBlock + 1);
    for (void*& block : blocks) block = AllocateBlock(kBlock);
    // One chunk holds all but the last block.
    EXPECT_EQ(chunksGiven.size(), 2u);
    for (void* block : blocks) FreeBlock(block, kBlock);
  });
  OnFreshPool([] {
    const size_t before = chunksGiven.size();
    // Freed blocks serve the next blocks of their size class (33 to 48
    // bytes share one): churn takes no memory beyond one chunk.
    for (int i = 0; i < 100000; ++i) FreeBlock(AllocateBlock(33 + i % 16), 40);
    EXPECT_EQ(chunksGiven.size() - before, 1u);
  });
  SetChunkSource(RefusingSource);
  OnFreshPool([] {
    void* block = AllocateBlock(16);
    EXPECT_NE(block, nullptr);
    FreeBlock(block, 16);
  });
  SetChunkSource(nullptr);
  // Those threads are gone; nothing refers to their chunks any more.
  for (void* chunk : chunksGiven) ::operator delete(chunk);
  chunksGiven.clear();
}

}  // namespace
}  // namespace qds
