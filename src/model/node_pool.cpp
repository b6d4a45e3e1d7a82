#include "model/node_pool.h"

#include <atomic>
#include <mutex>
#include <new>

#include "platform/memory.h"

namespace qds {
namespace {

// The range reaches as far as a reference. Where the system grants less (a
// limit on a process's address space, a memory checker that maps its own),
// it takes half of what the system grants, so that the rest of the process
// has room too: the texts that the nodes borrow from, the tables that index
// them. It takes no less than this.
constexpr size_t kSmallestRange = size_t{64} << 20;
constexpr size_t kLargePage = platform::kLargePageBytes;
// Chunks are handed out from here on: the first ones, as much as a small
// document needs, take small pages, so that it costs only the pages that
// it touches; from the first large-page boundary on, chunks take large
// pages, which cost far less to touch first. Offset 0 holds no node:
// reference 0 is none.
constexpr size_t kFirstChunkOffset = kLargePage - 2 * kChunkBytes;

thread_local BlockPool pool;

}  // namespace

struct NodePool::Range {
  Range();
  char* base = nullptr;
  size_t bytes = 0;
  // The offset where the next chunk starts.
  std::atomic<size_t> used;
  // The offset up to which the range has memory.
  std::atomic<size_t> committed;
  std::mutex committing;
};

// The first chunk reserves the range; a thread that reaches a node has come
// after that (through the thread that made the node), so base_ is set once
// for all.
NodePool::Range::Range() : used(kFirstChunkOffset), committed(kFirstChunkOffset) {
  for (bytes = kReach; bytes >= kSmallestRange; bytes /= 2) {
    base = static_cast<char*>(platform::ReservePages(bytes));
    if (base != nullptr) break;
  }
  if (base != nullptr && bytes < kReach) {
    platform::FreePages(base, bytes);
    bytes /= 2;
    base = static_cast<char*>(platform::ReservePages(bytes));
  }
  base_ = reinterpret_cast<uintptr_t>(base);
}

NodePool::Range& NodePool::Reserved() {
  static Range range;
  return range;
}

// The threads take their chunks one after another from the same large
// pages, which thus fill up whatever the threads' shares: only the last
// large page is partly used. Memory is committed a large page at a time.
void* NodePool::TakeChunk() {
  Range& range = Reserved();
  if (range.base == nullptr) throw std::bad_alloc();
  const size_t start = range.used.fetch_add(kChunkBytes, std::memory_order_relaxed);
  const size_t end = start + kChunkBytes;
  if (end > range.bytes) throw std::bad_alloc();
  if (range.committed.load(std::memory_order_acquire) < end) {
    std::lock_guard<std::mutex> lock(range.committing);
    const size_t from = range.committed.load(std::memory_order_relaxed);
    if (from < end) {
      const size_t to = (end + kLargePage - 1) & ~(kLargePage - 1);
      if (!platform::CommitPages(range.base + from, to - from)) throw std::bad_alloc();
      range.committed.store(to, std::memory_order_release);
    }
  }
  return range.base + start;
}

void* NodePool::Allocate(size_t bytes) {
  if constexpr (!kPoolingBlocks) return ::operator new(bytes);
  return pool.Allocate(bytes, TakeChunk);
}

void NodePool::Free(void* node, size_t bytes) {
  if constexpr (!kPoolingBlocks) return ::operator delete(node);
  if (node != nullptr) pool.Free(node, bytes);
}

}  // namespace qds
