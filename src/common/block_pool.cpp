#include "common/block_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "common/prefetch.h"

namespace qds {
namespace {

// A block taken, addressable for the bytes asked for (at least its first,
// which tells a block in use from a free one).
void* Unpoisoned(void* block, size_t bytes) {
  Unpoison(block, std::max<size_t>(bytes, 1));
  return block;
}

// A free block is poisoned whole: a free of a poisoned block is a bug of
// its caller, which would otherwise hand the block out twice.
[[noreturn]] void ReportBadFree(const void* block, size_t bytes) {
  std::fprintf(stderr,
               "ERROR: pooled block %p of %zu bytes freed while not in use (freed twice?)\n", block,
               bytes);
#ifdef KNITFOLD_ADDRESS_SANITIZER
  __sanitizer_print_stack_trace();
#endif
  std::abort();
}

}  // namespace

// The common cases, a block from the free list of its class or carved from
// the chunk, take no call, so that they save no registers.
void* BlockPool::Allocate(size_t bytes, Source& source) {
  size_t index = ClassOf(bytes);
  size_t size = SizeOf(index);
  if (FreeLink* block = free_[index]) {
    netFreed_ -= static_cast<ptrdiff_t>(size);
    free_[index] = Load(&block->next);
    --count_[index];
    // The next block of the class is the next one handed out: its link is
    // read then, and its memory written.
    Prefetch(free_[index]);
    return Unpoisoned(block, bytes);
  }
  if ((source.sharedClasses.load(std::memory_order_relaxed) >> index & 1) != 0 ||
      static_cast<size_t>(end_ - next_) < size) {
    return AllocateElsewhere(bytes, source);
  }
  netFreed_ -= static_cast<ptrdiff_t>(size);
  void* block = next_;
  next_ += size;
  return Unpoisoned(block, bytes);
}

// The free list of the class is empty: the shared blocks of the class, if
// there are any, or else the chunk, or a new one.
void* BlockPool::AllocateElsewhere(size_t bytes, Source& source) {
  size_t index = ClassOf(bytes);
  size_t size = SizeOf(index);
  netFreed_ -= static_cast<ptrdiff_t>(size);
  if ((source.sharedClasses.load(std::memory_order_relaxed) >> index & 1) != 0 &&
      source.takeShared(*this, bytes)) {
    netFreed_ += static_cast<ptrdiff_t>(size);
    return Allocate(bytes, source);
  }
  if (static_cast<size_t>(end_ - next_) < size) {
    // The rest of the old chunk, less than one block, is given up.
    Chunk chunk = source.takeChunk(*this);
    Poison(chunk.start, chunk.bytes);
    next_ = chunk.start;
    end_ = chunk.start + chunk.bytes;
  }
  void* block = next_;
  next_ += size;
  return Unpoisoned(block, bytes);
}

bool BlockPool::Free(void* block, size_t bytes) {
  size_t index = ClassOf(bytes);
  if (kCheckingAddresses && IsPoisoned(block)) ReportBadFree(block, bytes);
  Poison(block, SizeOf(index));
  auto* link = static_cast<FreeLink*>(block);
  if (free_[index] == nullptr) last_[index] = link;
  Store(&link->next, free_[index]);
  free_[index] = link;
  ++count_[index];
  netFreed_ += static_cast<ptrdiff_t>(SizeOf(index));
  return netFreed_ > kHandOnBytes;
}

void BlockPool::MoveFreeBlocksTo(BlockPool& to) {
  for (size_t index = 0; index < kClasses; ++index) {
    if (free_[index] == nullptr) continue;
    if (to.free_[index] == nullptr) to.last_[index] = last_[index];
    Store(&last_[index]->next, to.free_[index]);
    to.free_[index] = std::exchange(free_[index], nullptr);
  }
  for (size_t index = 0; index < kClasses; ++index)
    to.count_[index] += std::exchange(count_[index], 0);
  netFreed_ = 0;
}

uint64_t BlockPool::NonemptyClasses() const {
  uint64_t classes = 0;
  for (size_t index = 0; index < kClasses; ++index) {
    if (free_[index] != nullptr) classes |= uint64_t{1} << index;
  }
  return classes;
}

bool BlockPool::MoveFreeBlocksTo(BlockPool& to, size_t bytes, size_t most) {
  const size_t index = ClassOf(bytes);
  const size_t size = SizeOf(index);
  FreeLink* first = free_[index];
  if (first == nullptr) return false;
  size_t moved = count_[index];
  FreeLink* last = last_[index];
  if (moved > std::max<size_t>(most / size, 1)) {
    moved = 1;
    for (last = first; moved < most / size; ++moved) last = Load(&last->next);
  }
  free_[index] = Load(&last->next);
  if (to.free_[index] == nullptr) to.last_[index] = last;
  Store(&last->next, to.free_[index]);
  to.free_[index] = first;
  count_[index] -= moved;
  to.count_[index] += moved;
  return true;
}

size_t BlockPool::FreeBytes() const {
  size_t bytes = 0;
  for (size_t index = 0; index < kClasses; ++index) bytes += count_[index] * SizeOf(index);
  return bytes;
}

BlockPool::Chunk BlockPool::TakeRest() {
  Chunk rest{next_, static_cast<size_t>(end_ - next_)};
  next_ = end_ = nullptr;
  return rest;
}

}  // namespace qds
