#include "model/node_pool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <utility>

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
// The threads' chunks are small, so that the unused rest of each costs
// little when it is filled in at once; taking one costs a few calls to the
// system.
constexpr size_t kChunkBytes = size_t{64} << 10;
// Chunks are handed out from here on, the first large page starting after
// the first chunk. Offset 0 holds no node: reference 0 is none.
constexpr size_t kFirstChunkOffset = kLargePage - kChunkBytes;
// Most documents' nodes take at least a byte for every two characters of
// their text: a line of 80 characters makes a key and a value, 40 bytes.
constexpr uint64_t kCharactersPerNodeByte = 2;
// Past the nodes expected, chunks take small pages for this long.
constexpr size_t kSmallPagesSpan = size_t{4} << 20;
static_assert(kLargePage % kChunkBytes == 0 && kSmallPagesSpan % kLargePage == 0,
              "chunks start and end where large pages do");

thread_local BlockPool pool;
// A thread's first chunk takes its small pages as they are touched: a small
// document uses a part of it. A thread that takes another fills whole
// chunks, whose pages cost less filled in at once.
thread_local bool tookChunk = false;

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
  // Where the nodes that loads expect end: a load expects its nodes after
  // the chunks taken so far, or after those that other loads expect.
  std::atomic<size_t> expectedEnd;
};

// The first chunk reserves the range; a thread that reaches a node has come
// after that (through the thread that made the node), so base_ is set once
// for all.
NodePool::Range::Range()
    : used(kFirstChunkOffset), committed(kFirstChunkOffset), expectedEnd(kFirstChunkOffset) {
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

void NodePool::Expect(uint64_t characters) {
  if constexpr (!kPoolingBlocks) return;
  Range& range = Reserved();
  const size_t bytes = characters / kCharactersPerNodeByte;
  size_t end = range.expectedEnd.load(std::memory_order_relaxed);
  size_t start;
  do {
    start = std::max(end, range.used.load(std::memory_order_relaxed));
  } while (!range.expectedEnd.compare_exchange_weak(end, start + bytes, std::memory_order_relaxed));
}

namespace {

constexpr size_t RoundUp(size_t offset) { return (offset + kLargePage - 1) & ~(kLargePage - 1); }

// Commits the range at `base` from `from` up to at least `end`, on large
// pages up to `largeEnd`, then on small pages for kSmallPagesSpan, then on
// large pages again; returns where the range now has memory up to. A large
// page partly used holds up to 2 MiB that no node needs: where the nodes
// end as expected, small pages fill in only what the chunks take, and a
// document that outgrows the span is large enough that the waste is a
// small share of it.
size_t CommitUpTo(char* base, size_t from, size_t end, size_t largeEnd, platform::Filling filling) {
  const bool pastExpected = end > largeEnd && end <= largeEnd + kSmallPagesSpan;
  const bool small = from % kLargePage != 0 || pastExpected;
  const size_t to = small ? end : RoundUp(end);
  if (!platform::CommitPages(base + from, to - from, filling)) throw std::bad_alloc();
  return to;
}

}  // namespace

// The threads take their chunks one after another from the same range, so
// that memory is committed in order, without gaps.
BlockPool::Chunk NodePool::TakeChunk() {
  Range& range = Reserved();
  if (range.base == nullptr) throw std::bad_alloc();
  const size_t start = range.used.fetch_add(kChunkBytes, std::memory_order_relaxed);
  const size_t end = start + kChunkBytes;
  if (end > range.bytes) throw std::bad_alloc();
  const auto filling =
      std::exchange(tookChunk, true) ? platform::Filling::kAtOnce : platform::Filling::kOnTouch;
  if (range.committed.load(std::memory_order_acquire) < end) {
    std::lock_guard<std::mutex> lock(range.committing);
    const size_t from = range.committed.load(std::memory_order_relaxed);
    if (from < end) {
      const size_t largeEnd = range.expectedEnd.load(std::memory_order_relaxed) & ~(kLargePage - 1);
      range.committed.store(CommitUpTo(range.base, from, end, largeEnd, filling),
                            std::memory_order_release);
    }
  }
  return {range.base + start, kChunkBytes};
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
