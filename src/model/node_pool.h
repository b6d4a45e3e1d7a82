// NodePool: the memory of a document's nodes, which link to one another by
// references of 32 bits instead of pointers: the links are most of a small
// node (a value is half links), and a document is mostly nodes.
//
// Every node lies in one range of address space, reserved at the first node
// and given memory as the nodes need it, and a node's reference is its
// offset there in units of 8 bytes: 32 GiB of nodes at most. Blocks are
// taken and freed as the block pool's are (each thread has free lists of
// its own, blocks of at most kLargestPooledBlock bytes). A system that
// grants less address space gets a smaller range; running out of it, or of
// memory, throws std::bad_alloc.
//
// A thread gives its free lists to the range when it ends, and whenever
// BlockPool::Free says that it frees more than it takes (a thread that
// destroys what another loads); a thread whose own list of a class is
// empty takes the range's list of that class before it carves its chunk.
// Once the blocks given up pass 16 MiB, a thread that needs blocks from
// the range first makes whole free chunks of the chunks whose every block
// is among them, taken again before new ones; past the first 4 MiB of them, their memory
// goes back to the system where they fill whole large pages. Looking at
// the blocks costs a walk of them all, so it waits for a need of memory.
//
// Under AddressSanitizer free nodes are poisoned as free blocks are
// (common/block_pool.h); so are whole free chunks, whose memory goes back
// to the system but whose addresses stay the range's for good.

#ifndef KNITFOLD_MODEL_NODE_POOL_H_
#define KNITFOLD_MODEL_NODE_POOL_H_

#include <cstddef>
#include <cstdint>

#include "common/block_pool.h"

namespace qds {

class NodePool {
 public:
  // 0: no node.
  using Reference = uint32_t;

  static void* Allocate(size_t bytes);
  static void Free(void* node, size_t bytes);

  // A load of a text of `characters` characters is starting: the pool
  // gives the nodes that it expects memory on large pages, and the rest,
  // which the load may not need, on small ones, as it gives the range's
  // first 16 MiB.
  static void Expect(uint64_t characters);

  // The memory of the chunks taken from the range and not given back to
  // the system: in use, on free lists or whole free.
  static size_t ChunkBytes();

  static Reference ReferenceTo(const void* node) {
    if (node == nullptr) return 0;
    return static_cast<Reference>((reinterpret_cast<uintptr_t>(node) - base_) >> kUnitShift);
  }
  static void* At(Reference reference) {
    if (reference == 0) return nullptr;
    return reinterpret_cast<void*>(base_ + (uintptr_t{reference} << kUnitShift));
  }

 private:
  static constexpr int kUnitShift = 3;
  // As much address space as a reference can reach.
  static constexpr size_t kReach = size_t{1} << (32 + kUnitShift);

  struct Range;
  struct ThreadPart;
  static Range& Reserved();
  static ThreadPart& Mine();
  static bool TakeShared(BlockPool& blocks, size_t bytes);
  static BlockPool::Chunk TakeChunk(BlockPool& blocks);
  static void GiveBack(ThreadPart& part, bool threadEnds);

  static BlockPool::Source source_;

  // Where the range starts: set once, before the first node is handed out.
  static inline uintptr_t base_ = 0;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_NODE_POOL_H_
