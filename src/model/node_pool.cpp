#include "model/node_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "model/thread_parts.h"
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
// The range's first nodes take small pages whatever a load expects. The
// guess above is twice what a file of one value to a line needs, and the
// large page that a document of a few MiB left partly used would be a good
// share of its memory: 1.7 of the 4.6 MiB that a merge of two 10 MB files
// of values held. Small pages filled in a chunk at a time took no longer.
constexpr size_t kSmallPagesFirst = size_t{16} << 20;
static_assert(kLargePage % kChunkBytes == 0 && kSmallPagesSpan % kLargePage == 0 &&
                  kSmallPagesFirst % kLargePage == 0,
              "chunks start and end where large pages do");

// When the blocks that threads gave up pass this many bytes, a thread that
// needs a chunk first looks for whole free chunks among them; it keeps at least this many with
// their memory, for the next loads, and gives the rest back to the system
// where they fill large pages.
constexpr size_t kCollectBytes = size_t{16} << 20;
constexpr size_t kKeptFreeChunks = (size_t{4} << 20) / kChunkBytes;
constexpr size_t kChunksPerLargePage = kLargePage / kChunkBytes;
// A chunk's carved bytes while a thread still carves it.
constexpr uint32_t kCarving = UINT32_MAX;

}  // namespace

// A thread's own part of the pool, which it gives to the range when it
// ends.
struct NodePool::ThreadPart {
  BlockPool blocks;
  // A thread's first chunk takes its small pages as they are touched: a
  // small document uses a part of it. A thread that takes another fills
  // whole chunks, whose pages cost less filled in at once.
  bool tookChunk = false;

  static void End(ThreadPart& part) { GiveBack(part, true); }
};

struct NodePool::Range {
  Range();
  size_t TakeChunk(platform::Filling filling);
  size_t TakeNewChunk(platform::Filling filling);
  void Retire(BlockPool::Chunk rest);
  void TakeBack(BlockPool& blocks);
  void NoteShared();
  void CollectIfDue();
  void Collect();
  size_t ChunkOf(const void* block) const {
    return static_cast<size_t>(static_cast<const char*>(block) - base) / kChunkBytes;
  }

  char* base = nullptr;
  size_t bytes = 0;
  // The offset where the next new chunk starts.
  std::atomic<size_t> used;
  // The offset up to which the range has memory.
  size_t committed = kFirstChunkOffset;
  // Where the nodes that loads expect end: a load expects its nodes after
  // the chunks taken so far, or after those that other loads expect.
  std::atomic<size_t> expectedEnd;
  // What follows is shared by the threads under `lock`.
  std::mutex lock;
  // Blocks that threads gave up, for any thread to take.
  BlockPool shared;
  size_t collectAt = kCollectBytes;
  // For each chunk taken so far, by its number: the bytes carved from it
  // into blocks (kCarving while a thread carves it).
  std::vector<uint32_t> carved;
  // The numbers of whole free chunks that have memory, and of those whose
  // memory went back to the system.
  std::vector<uint32_t> freeChunks;
  std::vector<uint32_t> decommitted;
};

// The first chunk reserves the range; a thread that reaches a node has come
// after that (through the thread that made the node), so base_ is set once
// for all.
NodePool::Range::Range() : used(kFirstChunkOffset), expectedEnd(kFirstChunkOffset) {
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

// Never destroyed: a thread may give its lists back after the process's
// static objects are gone.
NodePool::Range& NodePool::Reserved() {
  static Range& range = *new Range;
  return range;
}

void NodePool::Expect(uint64_t characters) {
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

// Commits the range at `base` from `from` up to at least `end`: on small
// pages below kSmallPagesFirst, on large pages up to `largeEnd`, then on
// small pages for kSmallPagesSpan, then on large pages again; returns where
// the range now has memory up to. A large page partly used holds up to
// 2 MiB that no node needs: where the nodes end as expected, small pages
// fill in only what the chunks take, and a document that outgrows the span
// is large enough that the waste is a small share of it.
size_t CommitUpTo(char* base, size_t from, size_t end, size_t largeEnd, platform::Filling filling) {
  const bool pastExpected = end > largeEnd && end <= largeEnd + kSmallPagesSpan;
  const bool small = from % kLargePage != 0 || from < kSmallPagesFirst || pastExpected;
  const size_t to = small ? end : RoundUp(end);
  if (!platform::CommitPages(base + from, to - from, filling)) throw std::bad_alloc();
  return to;
}

}  // namespace

// New chunks are taken one after another from the range, so that memory
// is committed in order, without gaps.
size_t NodePool::Range::TakeNewChunk(platform::Filling filling) {
  const size_t start = used.load(std::memory_order_relaxed);
  const size_t end = start + kChunkBytes;
  if (end > bytes) throw std::bad_alloc();
  carved.resize(std::max(carved.size(), end / kChunkBytes));
  if (committed < end) {
    const size_t largeEnd = expectedEnd.load(std::memory_order_relaxed) & ~(kLargePage - 1);
    committed = CommitUpTo(base, committed, end, largeEnd, filling);
  }
  used.store(end, std::memory_order_relaxed);
  return start;
}

// A whole free chunk if there is one, before a new one.
size_t NodePool::Range::TakeChunk(platform::Filling filling) {
  if (freeChunks.empty()) CollectIfDue();
  size_t number;
  if (!freeChunks.empty()) {
    number = freeChunks.back();
    freeChunks.pop_back();
  } else if (!decommitted.empty()) {
    number = decommitted.back();
    if (!platform::CommitPages(base + number * kChunkBytes, kChunkBytes,
                               platform::Filling::kAtOnce)) {
      throw std::bad_alloc();
    }
    decommitted.pop_back();
  } else {
    number = TakeNewChunk(filling) / kChunkBytes;
  }
  carved[number] = kCarving;
  return number * kChunkBytes;
}

// A thread is done carving the chunk of which `rest` is the unused rest.
void NodePool::Range::Retire(BlockPool::Chunk rest) {
  if (rest.start == nullptr) return;
  const size_t number = ChunkOf(rest.start + rest.bytes - 1);
  carved[number] = static_cast<uint32_t>(kChunkBytes - rest.bytes);
}

void NodePool::Range::TakeBack(BlockPool& blocks) {
  blocks.MoveFreeBlocksTo(shared);
  NoteShared();
}

// Whole free chunks are looked for when a thread needs memory, not when
// blocks are given up: a program that ends after destroying its documents
// (the thread that frees them ends with it) never walks their blocks again.
void NodePool::Range::CollectIfDue() {
  if (shared.FreeBytes() < collectAt) return;
  Collect();
  NoteShared();
}

void NodePool::Range::NoteShared() {
  source_.sharedClasses.store(shared.NonemptyClasses(), std::memory_order_relaxed);
}

// A chunk is whole free when every byte carved from it is in a block that
// threads gave up. Those blocks leave the shared lists, and the chunk is
// taken again before any new one. Without memory for the count, the blocks
// simply stay on the lists.
void NodePool::Range::Collect() {
  constexpr uint32_t kWhole = UINT32_MAX;
  std::vector<uint32_t> freeIn;
  try {
    freeIn.assign(carved.size(), 0);
    freeChunks.reserve(carved.size());
    decommitted.reserve(carved.size());
  } catch (const std::bad_alloc&) {
    return;
  }
  shared.KeepFreeBlocks([&](void* block, size_t blockBytes) {
    freeIn[ChunkOf(block)] += static_cast<uint32_t>(blockBytes);
    return true;
  });
  for (size_t number = 0; number < freeIn.size(); ++number) {
    if (freeIn[number] != 0 && freeIn[number] == carved[number]) freeIn[number] = kWhole;
  }
  shared.KeepFreeBlocks([&](void* block, size_t) { return freeIn[ChunkOf(block)] != kWhole; });
  // Memory goes back to the system a large page at a time, whose pages
  // the system frees at once (giving back a part of one costs far more);
  // runs of neighbouring large pages in one call.
  size_t runStart = 0;
  size_t runEnd = 0;
  const auto giveBackRun = [&] {
    if (runEnd > runStart) platform::DecommitPages(base + runStart, runEnd - runStart);
  };
  for (size_t first = 0; first < freeIn.size(); first += kChunksPerLargePage) {
    const size_t end = std::min(first + kChunksPerLargePage, freeIn.size());
    const bool givenBack = freeChunks.size() >= kKeptFreeChunks &&
                           end - first == kChunksPerLargePage &&
                           std::all_of(&freeIn[first], &freeIn[first] + kChunksPerLargePage,
                                       [](uint32_t chunkFree) { return chunkFree == kWhole; });
    for (size_t number = first; number < end; ++number) {
      if (freeIn[number] == kWhole) {
        (givenBack ? decommitted : freeChunks).push_back(static_cast<uint32_t>(number));
      }
    }
    if (!givenBack) continue;
    if (first * kChunkBytes != runEnd) {
      giveBackRun();
      runStart = first * kChunkBytes;
    }
    runEnd = end * kChunkBytes;
  }
  giveBackRun();
  // Blocks of chunks that are partly in use are looked at again only when
  // as many more have come.
  collectAt = std::max(kCollectBytes, 2 * shared.FreeBytes());
}

BlockPool::Source NodePool::source_{TakeShared, TakeChunk};

bool NodePool::TakeShared(BlockPool& blocks, size_t bytes) {
  Range& range = Reserved();
  std::lock_guard<std::mutex> lock(range.lock);
  range.CollectIfDue();
  // The whole list: a share would be cut a block at a time, a cache miss
  // each. What a thread takes beyond its need comes back when it ends or
  // frees, and whole free chunks meanwhile serve the others.
  const bool took = range.shared.MoveFreeBlocksTo(blocks, bytes, SIZE_MAX);
  range.NoteShared();
  return took;
}

BlockPool::Chunk NodePool::TakeChunk(BlockPool& blocks) {
  Range& range = Reserved();
  if (range.base == nullptr) throw std::bad_alloc();
  const auto filling = std::exchange(Mine().tookChunk, true) ? platform::Filling::kAtOnce
                                                             : platform::Filling::kOnTouch;
  std::lock_guard<std::mutex> lock(range.lock);
  const size_t start = range.TakeChunk(filling);
  range.Retire(blocks.TakeRest());
  return {range.base + start, kChunkBytes};
}

void NodePool::GiveBack(ThreadPart& part, bool threadEnds) {
  Range& range = Reserved();
  std::lock_guard<std::mutex> lock(range.lock);
  if (threadEnds) range.Retire(part.blocks.TakeRest());
  range.TakeBack(part.blocks);
}

NodePool::ThreadPart& NodePool::Mine() { return ThreadParts<ThreadPart>::Mine(); }

size_t NodePool::ChunkBytes() {
  Range& range = Reserved();
  std::lock_guard<std::mutex> lock(range.lock);
  return range.used.load(std::memory_order_relaxed) - kFirstChunkOffset -
         range.decommitted.size() * kChunkBytes;
}

void* NodePool::Allocate(size_t bytes) { return Mine().blocks.Allocate(bytes, source_); }

void NodePool::Free(void* node, size_t bytes) {
  if (node == nullptr) return;
  ThreadPart& part = Mine();
  if (part.blocks.Free(node, bytes)) GiveBack(part, false);
}

}  // namespace qds
