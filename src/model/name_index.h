// NameIndex: a hash index from a node name, with A-Z folded, to the first node
// of a NodeList that bears it, so that finding a section or key by name costs
// constant expected time instead of a walk of the list.
//
// The index keeps no copy of any name: each slot holds the first node of one
// folded name, as a NodePool reference, and the name's hash, so that the
// index moves entries without reading a node again. The list tells the
// index about every node that joins or leaves it; a node's name must not
// change while the node is in a list.
//
// Names come from files that anyone may have written, so the hash is keyed
// (SipHash-1-3, with a key drawn from the system once per process): names
// picked to share a hash, or a stretch of slots, would make every search
// among them walk all of them, and a load quadratic. Without the key no one
// can pick such names, whether to collide whole hashes or only to crowd the
// homes that the linear probing walks through, other than by chance.

#ifndef KNITFOLD_MODEL_NAME_INDEX_H_
#define KNITFOLD_MODEL_NAME_INDEX_H_

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "model/node_pool.h"

namespace qds {

class ListNode;

class NameIndex {
 public:
  // Indexes the list that starts at `head`, of `count` nodes: the slots are
  // taken at the size that holds them all, so that no growth re-files them.
  NameIndex(ListNode* head, uint32_t count);
  ~NameIndex() { FreeSlots(slots_, reservedBytes_); }
  NameIndex(const NameIndex&) = delete;
  NameIndex& operator=(const NameIndex&) = delete;

  // The hash that the index files `name` under: equal for names that are
  // equal with A-Z folded. It differs from one process to the next.
  static uint32_t Hash(std::u16string_view name);

  // The first node whose name equals `name` with A-Z folded, or null;
  // `hash` is Hash(name).
  ListNode* Find(std::u16string_view name, uint32_t hash) const;
  ListNode* Find(std::u16string_view name) const { return Find(name, Hash(name)); }
  // How many nodes of the list bear `name` with A-Z folded.
  uint32_t CountOfName(std::u16string_view name) const;
  // Asks for the memory of the slot where a Find of a name of this `hash`
  // starts, so that a Find soon after does not wait for it.
  void Prefetch(uint32_t hash) const;

  // `node` has just been linked into the list. `first` tells whether it now
  // stands before every other node of the same folded name; `hash` is
  // Hash() of its name.
  void Added(ListNode* node, bool first, uint32_t hash);
  // `node` is about to be unlinked; its links must still be in place, so
  // that the next node of the same name can take its place.
  void Removing(ListNode* node);

 private:
  // A slot is one word, so that eight share a cache line: the first node
  // (none: the slot is free) and the name's hash but its top bit, which a
  // probe compares before it reads a name and which gives the slot its home.
  // The top bit is kShared, set when more nodes bear the name, their count
  // kept in sharedCounts_.
  struct Slot {
    NodePool::Reference node;
    uint32_t hash;
  };
  static ListNode* NodeIn(Slot slot);
  static Slot SlotFor(ListNode* node, uint32_t hash);
  // The slot where the search for a name of `hash` starts.
  uint32_t HomeOf(uint32_t hash) const;
  // The slot a probe goes on to after `at`.
  uint32_t After(uint32_t at) const { return at + 1 < count_ ? at + 1 : 0; }

  // The slot that holds `name`, or the free slot where it would go.
  Slot* Probe(std::u16string_view name, uint32_t hash) const;
  // The slot count that comes after `count` as the index grows.
  static uint32_t GrownCount(uint32_t count);
  void Grow();
  void Erase(Slot* slot);
  // How many nodes bear the name of `slot`, which is not free.
  uint32_t CountIn(Slot slot) const;
  // Makes `slot`, which holds a name, hold `first` as the first of `count`
  // (one or more) nodes of it; the count's entry in sharedCounts_ follows.
  void Refill(Slot* slot, ListNode* first, uint32_t count);

  // Slot arrays of kPagedSlots slots or more come straight from the system,
  // already zero-filled (so free) and filled in at once or on large pages:
  // an index of a million names must not cost a page fault per 4 KiB of
  // slots, nor a second pass to clear them. They start a range of address
  // space with room to grow sixteenfold, and grow within it: their pages stay
  // where they are, neither copied nor touched again until the slots outgrow
  // the range. On some systems the first touch of a page at a new address
  // costs nearly what a fresh page costs, even when the page only moved.
  static constexpr uint32_t kPagedSlots = (64u << 10) / sizeof(Slot);
  // Whether `count` slots hold `used` names with a quarter of them free,
  // which keeps probes short.
  static bool Roomy(uint32_t count, uint32_t used) {
    return uint64_t{used} * 4 <= uint64_t{count} * 3;
  }
  // Points slots_ at a new array of `count` free slots.
  void AllocateSlots(uint32_t count);
  // Makes slots_ an array of `count` slots (more than now) that starts with
  // the slots as they are; the rest are free.
  void WidenSlots(uint32_t count);
  // `reservedBytes` is that of the range that `slots` starts, 0 when they
  // came from new[].
  static void FreeSlots(Slot* slots, size_t reservedBytes);

  Slot* slots_ = nullptr;
  size_t reservedBytes_ = 0;
  uint32_t count_ = 0;  // of slots
  uint32_t used_ = 0;
  // For each name that more than one node bears, keyed by its first node:
  // how many do. Few names are shared, so few slots pay for a count.
  std::unordered_map<const ListNode*, uint32_t> sharedCounts_;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_NAME_INDEX_H_
