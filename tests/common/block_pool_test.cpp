#include "common/block_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace qds {
namespace {

// Blocks of every size, pooled and not, freed and taken again in random
// order on a thread whose pool starts empty: each keeps its own bytes and
// its alignment.
TEST(BlockPoolTest, BlocksOfAnySizeNeverOverlap) {
  std::thread([] {
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
      ASSERT_EQ(reinterpret_cast<uintptr_t>(bytes) % 8, 0u) << size;
      unsigned char fill = static_cast<unsigned char>(step);
      std::memset(bytes, fill, size);
      held.push_back({bytes, size, fill});
    }
    for (const Held& block : held) FreeBlock(block.bytes, block.size);
  }).join();
}

// A thread's chunks grow from the first size to the largest, and a chunk
// source that refuses leaves the pool to its fallback.
std::vector<size_t> chunksAsked;

TEST(BlockPoolTest, ChunksGrowToTheLargestSizeWhateverTheirSource) {
  if (!kPoolingBlocks) GTEST_SKIP() << "this build takes every block from operator new";
  SetChunkSource([](size_t bytes) -> void* {
    chunksAsked.push_back(bytes);
    return nullptr;
  });
  std::thread([] {
    std::vector<void*> blocks;
    for (size_t taken = 0; taken < 3 * kPoolChunkBytes; taken += kLargestPooledBlock) {
      blocks.push_back(AllocateBlock(kLargestPooledBlock));
      std::memset(blocks.back(), 1, kLargestPooledBlock);
    }
    for (void* block : blocks) FreeBlock(block, kLargestPooledBlock);
  }).join();
  SetChunkSource(nullptr);
  std::vector<size_t> expected{kFirstChunkBytes};
  for (size_t bytes = kSecondChunkBytes; bytes < kPoolChunkBytes; bytes *= 2) {
    expected.push_back(bytes);
  }
  ASSERT_GE(chunksAsked.size(), expected.size());
  expected.insert(expected.end(), chunksAsked.size() - expected.size(), kPoolChunkBytes);
  EXPECT_EQ(chunksAsked, expected);
}

}  // namespace
}  // namespace qds
