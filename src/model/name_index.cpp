#include "model/name_index.h"

#include <cstring>

#include "common/prefetch.h"
#include "common/text.h"
#include "model/node_list.h"
#include "platform/memory.h"

namespace qds {
namespace {

constexpr uint32_t kInitialSlots = 16;

}  // namespace

// FNV-1a over the folded units, so that names that meet under the name
// comparison land in the same slot, then a finishing mix: the slot is taken
// from the low bits, which FNV-1a alone leaves poorly mixed for names that
// differ only in their last digits.
uint32_t NameIndex::Hash(std::u16string_view name) {
  uint32_t hash = 2166136261u;
  for (char16_t c : name) {
    hash = (hash ^ FoldAscii(c)) * 16777619u;
  }
  hash ^= hash >> 16;
  hash *= 0x85EBCA6Bu;
  hash ^= hash >> 13;
  hash *= 0xC2B2AE35u;
  return hash ^ (hash >> 16);
}

NameIndex::NameIndex(ListNode* head) {
  AllocateSlots(kInitialSlots);
  for (ListNode* node = head; node != nullptr; node = node->next) {
    Added(node, false, Hash(node->name.View()));
  }
}

void NameIndex::AllocateSlots(uint32_t count) {
  void* pages = count >= kPagedSlots ? platform::AllocatePages(count * sizeof(Slot)) : nullptr;
  // Fresh pages are zero-filled: every slot is free.
  slots_ = pages != nullptr ? static_cast<Slot*>(pages) : new Slot[count]();
  slotsOnPages_ = pages != nullptr;
  mask_ = count - 1;
}

void NameIndex::FreeSlots(Slot* slots, uint32_t count, bool onPages) {
  if (onPages) {
    platform::FreePages(slots, count * sizeof(Slot));
  } else {
    delete[] slots;
  }
}

NameIndex::Slot* NameIndex::Probe(std::u16string_view name, uint32_t hash) const {
  for (uint32_t at = hash & mask_;; at = (at + 1) & mask_) {
    Slot* slot = &slots_[at];
    if (slot->node == nullptr) return slot;
    if (slot->hash == hash && EqualsIgnoreAsciiCase(slot->node->name.View(), name)) return slot;
  }
}

ListNode* NameIndex::Find(std::u16string_view name, uint32_t hash) const {
  return Probe(name, hash)->node;
}

uint32_t NameIndex::CountOfName(std::u16string_view name) const {
  const Slot* slot = Probe(name, Hash(name));
  return slot->node != nullptr ? slot->count : 0;
}

void NameIndex::Prefetch(uint32_t hash) const { qds::Prefetch(&slots_[hash & mask_]); }

ListNode* NameIndex::FirstOfName(const ListNode* node) const { return Find(node->name.View()); }

void NameIndex::Added(ListNode* node, bool first, uint32_t hash) {
  std::u16string_view name = node->name.View();
  Slot* slot = Probe(name, hash);
  if (slot->node != nullptr) {
    ++slot->count;
    if (first) slot->node = node;
    return;
  }
  // Keep at least a quarter of the slots free, so that probes stay short.
  if ((used_ + 1) * 4 > (mask_ + 1) * 3) {
    Grow();
    slot = Probe(name, hash);
  }
  *slot = Slot{node, hash, 1};
  ++used_;
}

void NameIndex::Removing(ListNode* node) {
  std::u16string_view name = node->name.View();
  Slot* slot = Probe(name, Hash(name));
  if (slot->node == nullptr) return;  // not indexed: nothing to do
  if (--slot->count == 0) return Erase(slot);
  if (slot->node != node) return;
  // The next node of that name in list order takes the place; one exists,
  // since the count says so and every other one stands after `node`.
  ListNode* next = node->next;
  while (!EqualsIgnoreAsciiCase(next->name.View(), name)) next = next->next;
  slot->node = next;
}

void NameIndex::Grow() {
  uint32_t oldCount = mask_ + 1;
  WidenSlots(oldCount * 2);
  // Every entry is taken out and put back under the new mask, in place: a
  // second array would double the index's memory for a moment and cost as
  // many fresh pages again. The walk starts just past a free slot, so that
  // each probe run is met from its start: an entry put back lands at or
  // before its old slot, or in the new half, and never passes over an entry
  // still waiting (which would leave a hole in that entry's probe run once
  // it moved). Entries met before the run that wrapped around the end of
  // the old table have their old slots above their homes, so those bound
  // for the new half fit between their homes there and its end; only the
  // wrapped run, met last, can go on past the end, onto slots already put
  // back.
  uint32_t start = 0;
  while (slots_[start].node != nullptr) ++start;  // at least a quarter of the slots are free
  for (uint32_t step = 1; step <= oldCount; ++step) {
    Slot* slot = &slots_[(start + step) & (oldCount - 1)];
    if (slot->node == nullptr) continue;
    Slot entry = *slot;
    slot->node = nullptr;
    uint32_t at = entry.hash & mask_;
    while (slots_[at].node != nullptr) at = (at + 1) & mask_;
    slots_[at] = entry;
  }
}

void NameIndex::WidenSlots(uint32_t count) {
  size_t bytes = size_t{mask_ + 1} * sizeof(Slot);
  void* resized =
      slotsOnPages_ ? platform::ResizePages(slots_, bytes, count * sizeof(Slot)) : nullptr;
  if (resized != nullptr) {
    slots_ = static_cast<Slot*>(resized);
    mask_ = count - 1;
    return;
  }
  Slot* old = slots_;
  bool oldOnPages = slotsOnPages_;
  uint32_t oldCount = mask_ + 1;
  AllocateSlots(count);
  std::memcpy(static_cast<void*>(slots_), old, bytes);
  FreeSlots(old, oldCount, oldOnPages);
}

// Linear probing without tombstones: later slots of the same probe run move
// back into the hole, so that every lookup still finds its slot.
void NameIndex::Erase(Slot* slot) {
  uint32_t hole = static_cast<uint32_t>(slot - slots_);
  for (uint32_t at = (hole + 1) & mask_; slots_[at].node != nullptr; at = (at + 1) & mask_) {
    uint32_t home = slots_[at].hash & mask_;
    // The entry may move into the hole when its home does not lie cyclically
    // in (hole, at].
    bool homeBetween = hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
    if (homeBetween) continue;
    slots_[hole] = slots_[at];
    hole = at;
  }
  slots_[hole].node = nullptr;
  --used_;
}

}  // namespace qds
