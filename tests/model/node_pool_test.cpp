// Nodes taken on several threads at once, nodes and text blocks freed on
// other threads than those that took them, and a system that grants less
// address space than the references can reach.

#include "model/node_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "model/pooled_blocks.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace qds {
namespace {

// Each thread fills its nodes with its own byte and frees every other one
// on the way, so that freed nodes are taken again: every node keeps its
// bytes, and its reference leads back to it. The threads hold about 21 MiB
// of nodes in all, more than a load of 8 Mi characters makes the pool
// expect: the range goes from large pages to small ones and back.
void TakeNodes(unsigned char fill, std::vector<void*>* held) {
  for (int step = 0; step < 200000; ++step) {
    size_t bytes = 8 * (1 + step % 17);
    void* node = NodePool::Allocate(bytes);
    std::memset(node, fill, bytes);
    if (step % 2 == 1) {
      NodePool::Free(node, bytes);
    } else {
      held->push_back(node);
    }
  }
}

TEST(NodePoolTest, NodesOfThreadsNeverOverlapAndTheirReferencesLeadBack) {
  NodePool::Expect(8u << 20);
  std::vector<void*> held[3];
  std::vector<std::thread> threads;
  for (unsigned char fill = 0; fill < 3; ++fill) threads.emplace_back(TakeNodes, fill, &held[fill]);
  for (std::thread& thread : threads) thread.join();
  for (unsigned char fill = 0; fill < 3; ++fill) {
    for (size_t i = 0; i < held[fill].size(); ++i) {
      auto* node = static_cast<unsigned char*>(held[fill][i]);
      size_t bytes = 8 * (1 + (2 * i) % 17);
      ASSERT_EQ(NodePool::At(NodePool::ReferenceTo(node)), node);
      for (size_t at = 0; at < bytes; ++at) ASSERT_EQ(node[at], fill) << i;
      NodePool::Free(node, bytes);
    }
  }
  EXPECT_EQ(NodePool::ReferenceTo(nullptr), NodePool::Reference{0});
  EXPECT_EQ(NodePool::At(0), nullptr);
}

constexpr size_t kMiB = size_t{1} << 20;

// 24 MiB of nodes by default: more than the free nodes at which whole free
// chunks go back to the system.
std::vector<void*> TakeMany(size_t count = kMiB, size_t bytes = 24) {
  std::vector<void*> nodes(count);
  for (void*& node : nodes) node = NodePool::Allocate(bytes);
  return nodes;
}

void FreeAll(const std::vector<void*>& nodes, size_t bytes = 24) {
  for (void* node : nodes) NodePool::Free(node, bytes);
}

// Were freed nodes kept by the thread that freed them, each round would
// take new chunks: 192 MiB in all. A thread that ends or frees what
// another took hands them on, and chunks whose every node is free go back.
constexpr int kRounds = 8;

TEST(NodePoolTest, NodesOfEndedThreadsAreTakenAgainOrGivenBack) {
  const size_t before = NodePool::ChunkBytes();
  for (int round = 0; round < kRounds; ++round) std::thread([] { FreeAll(TakeMany()); }).join();
  EXPECT_LT(NodePool::ChunkBytes(), before + 32 * kMiB);
  // Nodes of another size find no free blocks of theirs: the first chunk
  // they need turns the free chunks whole again, and gives back what lies
  // past the first few.
  std::thread([] { FreeAll(TakeMany(kMiB / 16, 40), 40); }).join();
  EXPECT_LT(NodePool::ChunkBytes(), before + 8 * kMiB);
}

TEST(NodePoolTest, NodesFreedOnALongLivedThreadAreTakenAgain) {
  const size_t before = NodePool::ChunkBytes();
  std::vector<std::promise<std::vector<void*>>> taken(kRounds);
  std::vector<std::promise<void>> freed(kRounds);
  std::thread freeing([&] {
    for (int round = 0; round < kRounds; ++round) {
      FreeAll(taken[round].get_future().get());
      freed[round].set_value();
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    taken[round].set_value(TakeMany());
    freed[round].get_future().wait();
    EXPECT_LT(NodePool::ChunkBytes(), before + 32 * kMiB) << round;
  }
  freeing.join();
}

#ifndef _WIN32
// In a process of its own, whose first node comes after the limit is set.
[[noreturn]] void TakeANodeUnderALimit() {
  const rlimit limit{rlim_t{1} << 30, rlim_t{1} << 30};
  setrlimit(RLIMIT_AS, &limit);
  void* node = NodePool::Allocate(64);
  std::memset(node, 1, 64);
  std::exit(NodePool::At(NodePool::ReferenceTo(node)) == node ? 0 : 1);
}

TEST(NodePoolDeathTest, ALimitOnAddressSpaceGetsASmallerRange) {
  if (kCheckingAddresses) GTEST_SKIP() << "AddressSanitizer's own memory takes more than the limit";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(TakeANodeUnderALimit(), testing::ExitedWithCode(0), "");
}

// Under AddressSanitizer free nodes and text blocks are poisoned, and a
// block is addressable only for the bytes asked for: a use of a freed one,
// a byte past those asked for, or a second free ends the process with a
// report.
void ReadByte(void* block, size_t at) { (void)static_cast<volatile unsigned char*>(block)[at]; }

TEST(NodePoolDeathTest, AMisusedBlockIsReported) {
  if (!kCheckingAddresses) GTEST_SKIP() << "only under AddressSanitizer";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Misuse {
    const char* what;
    void (*misuse)();
    const char* report;
  };
  const Misuse misuses[] = {
      {"a node read once freed",
       [] {
         void* node = NodePool::Allocate(24);
         NodePool::Free(node, 24);
         ReadByte(node, 0);
       },
       "use-after-poison"},
      {"a node freed twice",
       [] {
         void* node = NodePool::Allocate(24);
         NodePool::Free(node, 24);
         NodePool::Free(node, 24);
       },
       "freed while not in use"},
      {"a node read past its bytes", [] { ReadByte(NodePool::Allocate(20), 20); },
       "use-after-poison"},
      {"a text block read once freed",
       [] {
         void* block = AllocateBlock(40);
         FreeBlock(block, 40);
         ReadByte(block, 8);
       },
       "use-after-poison"},
      {"a text block freed twice",
       [] {
         void* block = AllocateBlock(40);
         FreeBlock(block, 40);
         FreeBlock(block, 40);
       },
       "freed while not in use"},
  };
  for (const Misuse& misuse : misuses) EXPECT_DEATH(misuse.misuse(), misuse.report) << misuse.what;
}
#endif

}  // namespace
}  // namespace qds
