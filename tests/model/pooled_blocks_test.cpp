#include "model/pooled_blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "common/block_pool.h"

namespace qds {
namespace {

// Blocks of every size, pooled and not, freed and taken again in random
// order on a thread whose pool starts empty: each keeps its own bytes and
// its alignment.
TEST(PooledBlocksTest, BlocksOfAnySizeNeverOverlap) {
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

// A thread that ends hands its free blocks on: the next thread takes them
// again rather than new memory.
TEST(PooledBlocksTest, TextBlocksOfAnEndedThreadAreTakenAgain) {
  void* freed = nullptr;
  void* taken = nullptr;
  std::thread([&] { FreeBlock(freed = AllocateBlock(40), 40); }).join();
  std::thread([&] { FreeBlock(taken = AllocateBlock(40), 40); }).join();
  EXPECT_EQ(taken, freed);
}

}  // namespace
}  // namespace qds
