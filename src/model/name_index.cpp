#include "model/name_index.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "common/prefetch.h"
#include "common/siphash.h"
#include "common/text.h"
#include "model/node_list.h"
#include "platform/memory.h"
#include "platform/random.h"

namespace qds {
namespace {

constexpr uint32_t kInitialSlots = 16;
constexpr uint32_t kShared = uint32_t{1} << 31;
constexpr uint32_t kHashBits = kShared - 1;

// The address space reserved for paged slots of `bytes` bytes: room to grow
// sixteenfold, and at least a large page, so that an index moves to a new
// range once in four of its doublings, and one of up to 196,608 names
// never.
size_t ReservationFor(size_t bytes) { return std::max(bytes * 16, platform::kLargePageBytes); }

// `four` with each of its 16-bit lanes that holds A-Z made a-z.
uint64_t FoldLanes(uint64_t four) {
  constexpr uint64_t kLanes = 0x0001000100010001u;
  constexpr uint64_t kTops = 0x8000 * kLanes;
  // Each lane below its top bit, plus a bias that carries into the top bit
  // (and no further) exactly when the lane is at least 'A', or above 'Z'.
  uint64_t low = four & ~kTops;
  uint64_t fromA = low + (0x8000 - u'A') * kLanes;
  uint64_t pastZ = low + (0x8000 - u'Z' - 1) * kLanes;
  uint64_t upper = fromA & ~pastZ & ~four & kTops;
  return four | (upper >> 10);  // the top bit of a lane, moved to 0x20
}

// The key of every name hash of this process: drawn from the system at the
// first hash (once, whichever thread comes first), so that neither a file
// nor a run before this one tells which names share a slot. Should the
// system give no random bytes, the addresses where the system placed this
// process's code and stack stand in: weaker, but no load fails for it.
[[gnu::noinline]] SipKey DrawKey() {
  SipKey drawn;
  if (!platform::FillRandom(&drawn, sizeof drawn)) {
    drawn = {reinterpret_cast<uintptr_t>(&drawn), reinterpret_cast<uintptr_t>(&DrawKey)};
  }
  return drawn;
}

// The key, drawn at the first call. DrawKey stays out of line, so that this
// costs the hash one check of a flag.
const SipKey& NameKey() {
  static const SipKey key = DrawKey();
  return key;
}

// The last `count` (0 to 3) units of `name`, which has at least four, as
// the low lanes of a word: one load of its last four units, shifted.
uint64_t LastUnits(std::u16string_view name, size_t count) {
  uint64_t four;
  std::memcpy(&four, name.data() + name.size() - 4, sizeof four);
  return count == 0 ? 0 : four >> (64 - 16 * count);
}

}  // namespace

// SipHash-1-3 of the name's UTF-16 units with A-Z folded, four units to a
// word, each of its 16-bit lanes folded as FoldAscii folds a unit, so that
// names that meet under the name comparison land in the same slot. The key
// makes it a secret which names collide, or which share a stretch of
// slots.
uint32_t NameIndex::Hash(std::u16string_view name) {
  SipHash13 hash(NameKey());
  const size_t size = name.size();
  const size_t whole = size & ~size_t{3};
  uint64_t four;
  for (size_t at = 0; at < whole; at += 4) {
    std::memcpy(&four, name.data() + at, sizeof four);
    hash.Add(FoldLanes(four));
  }
  uint64_t tail = 0;
  if (whole != 0) {
    tail = LastUnits(name, size - whole);
  } else {
    for (size_t at = 0; at < size; ++at) tail |= uint64_t{name[at]} << (16 * at);
  }
  return static_cast<uint32_t>(hash.Finish(FoldLanes(tail), 2 * size));
}

NameIndex::NameIndex(ListNode* head, uint32_t count) {
  uint32_t slots = kInitialSlots;
  while (!Roomy(slots, count)) slots = GrownCount(slots);
  AllocateSlots(slots);
  for (ListNode* node = head; node != nullptr; node = node->next) {
    Added(node, false, Hash(node->name.View()));
  }
}

ListNode* NameIndex::NodeIn(Slot slot) { return static_cast<ListNode*>(NodePool::At(slot.node)); }

NameIndex::Slot NameIndex::SlotFor(ListNode* node, uint32_t hash) {
  return {NodePool::ReferenceTo(node), hash & kHashBits};
}

// The slot count times the hash's share of 2^31: homes keep the order of
// hashes, whatever the count. Slot counts stay below 2^31.
uint32_t NameIndex::HomeOf(uint32_t hash) const {
  return static_cast<uint32_t>((uint64_t{hash & kHashBits} * count_) >> 31);
}

void NameIndex::AllocateSlots(uint32_t count) {
  const size_t bytes = size_t{count} * sizeof(Slot);
  if (count >= kPagedSlots) {
    // Under a limit on address space, a range of the slots' own size.
    for (size_t reserved : {ReservationFor(bytes), bytes}) {
      void* range = platform::ReservePages(reserved);
      if (range == nullptr) continue;
      // Fresh pages are zero-filled: every slot is free.
      if (platform::CommitPages(range, bytes, platform::Filling::kAtOnce)) {
        slots_ = static_cast<Slot*>(range);
        reservedBytes_ = reserved;
        count_ = count;
        return;
      }
      platform::FreePages(range, reserved);
    }
  }
  slots_ = new Slot[count]();
  reservedBytes_ = 0;
  count_ = count;
}

void NameIndex::FreeSlots(Slot* slots, size_t reservedBytes) {
  if (reservedBytes != 0) {
    platform::FreePages(slots, reservedBytes);
  } else {
    delete[] slots;
  }
}

NameIndex::Slot* NameIndex::Probe(std::u16string_view name, uint32_t hash) const {
  const uint32_t hashBits = hash & kHashBits;
  for (uint32_t at = HomeOf(hash);; at = After(at)) {
    Slot* slot = &slots_[at];
    if (slot->node == 0) return slot;
    if ((slot->hash & kHashBits) == hashBits &&
        EqualsIgnoreAsciiCase(NodeIn(*slot)->name.View(), name)) {
      return slot;
    }
  }
}

ListNode* NameIndex::Find(std::u16string_view name, uint32_t hash) const {
  return NodeIn(*Probe(name, hash));
}

uint32_t NameIndex::CountOfName(std::u16string_view name) const {
  Slot slot = *Probe(name, Hash(name));
  return slot.node != 0 ? CountIn(slot) : 0;
}

void NameIndex::Prefetch(uint32_t hash) const { qds::Prefetch(&slots_[HomeOf(hash)]); }

uint32_t NameIndex::CountIn(Slot slot) const {
  return (slot.hash & kShared) == 0 ? 1 : sharedCounts_.find(NodeIn(slot))->second;
}

void NameIndex::Refill(Slot* slot, ListNode* first, uint32_t count) {
  ListNode* present = NodeIn(*slot);
  if ((slot->hash & kShared) != 0 && (present != first || count == 1)) {
    sharedCounts_.erase(present);
  }
  if (count > 1) sharedCounts_[first] = count;
  *slot = SlotFor(first, slot->hash);
  if (count > 1) slot->hash |= kShared;
}

void NameIndex::Added(ListNode* node, bool first, uint32_t hash) {
  Slot* slot = Probe(node->name.View(), hash);
  if (slot->node != 0) {
    return Refill(slot, first ? node : NodeIn(*slot), CountIn(*slot) + 1);
  }
  if (!Roomy(count_, used_ + 1)) {
    Grow();
    slot = Probe(node->name.View(), hash);
  }
  *slot = SlotFor(node, hash);
  ++used_;
}

void NameIndex::Removing(ListNode* node) {
  std::u16string_view name = node->name.View();
  Slot* slot = Probe(name, Hash(name));
  if (slot->node == 0) return;  // not indexed: nothing to do
  ListNode* first = NodeIn(*slot);
  uint32_t count = CountIn(*slot) - 1;
  if (count == 0) return Erase(slot);
  if (first == node) {
    // The next node of that name in list order takes the place; one exists,
    // since the count says so and every other one stands after `node`.
    first = node->next;
    while (!EqualsIgnoreAsciiCase(first->name.View(), name)) first = first->next;
  }
  Refill(slot, first, count);
}

// Slots grow by half and by a third in turn (2^k, 1.5 * 2^k, 2^(k+1))
// while they take less than a large page, and double past that, so that
// they stay whole large pages, which widen without a copy.
uint32_t NameIndex::GrownCount(uint32_t count) {
  constexpr uint32_t kLargeSlots = platform::kLargePageBytes / sizeof(Slot);
  if (count >= kLargeSlots) return count * 2;
  return std::has_single_bit(count) ? count / 2 * 3 : count / 3 * 4;
}

void NameIndex::Grow() {
  const uint32_t oldCount = count_;
  WidenSlots(GrownCount(count_));
  // In place, from the last entry down: a second array would cost as many
  // fresh pages again. Homes keep the order of hashes and only move up, so
  // the slots above an entry's old one hold only entries already put back,
  // and an entry whose new home is not below its old slot passes only
  // those on its way to the first free slot. The rest (an entry displaced
  // as far as its home lies from the start; one whose probe would wrap
  // around the end) is put back last, over entries that all stay. Each
  // entry's home is in its slot: no node is read.
  std::vector<Slot> last;
  for (uint32_t from = oldCount; from-- > 0;) {
    const Slot entry = slots_[from];
    if (entry.node == 0) continue;
    slots_[from] = Slot{};
    uint32_t at = HomeOf(entry.hash);
    while (at >= from && at < count_ && slots_[at].node != 0) ++at;
    if (at < from || at == count_) {
      last.push_back(entry);
    } else {
      slots_[at] = entry;
    }
  }
  for (Slot entry : last) {
    uint32_t at = HomeOf(entry.hash);
    while (slots_[at].node != 0) at = After(at);
    slots_[at] = entry;
  }
}

void NameIndex::WidenSlots(uint32_t count) {
  const size_t bytes = size_t{count_} * sizeof(Slot);
  const size_t widened = size_t{count} * sizeof(Slot);
  if (widened <= reservedBytes_ &&
      platform::CommitPages(reinterpret_cast<char*>(slots_) + bytes, widened - bytes,
                            platform::Filling::kAtOnce)) {
    count_ = count;
    return;
  }
  Slot* old = slots_;
  const size_t oldReserved = reservedBytes_;
  AllocateSlots(count);
  std::memcpy(static_cast<void*>(slots_), old, bytes);
  FreeSlots(old, oldReserved);
}

// Linear probing without tombstones: later slots of the same probe run move
// back into the hole, so that every lookup still finds its slot.
void NameIndex::Erase(Slot* slot) {
  uint32_t hole = static_cast<uint32_t>(slot - slots_);
  for (uint32_t at = After(hole); slots_[at].node != 0; at = After(at)) {
    uint32_t home = HomeOf(slots_[at].hash);
    // The entry may move into the hole when its home does not lie cyclically
    // in (hole, at].
    bool homeBetween = hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
    if (homeBetween) continue;
    slots_[hole] = slots_[at];
    hole = at;
  }
  slots_[hole] = Slot{};
  --used_;
}

}  // namespace qds
