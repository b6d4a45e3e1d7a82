#include "document/view_slot.h"

#include <deque>
#include <mutex>

namespace qds::detail {

namespace {

struct SlotTable {
  std::mutex mutex;
  std::deque<ViewSlot> slots;  // a deque keeps its elements in place as it grows
  // The slots given back, first in first out, so that a slot rests before
  // its next use and a debug build catches a view that outlived its
  // document for longer.
  ViewSlot* firstFree = nullptr;
  ViewSlot* lastFree = nullptr;
};

SlotTable& Slots() {
  // Never destroyed: a static document may end after the statics of this
  // file would.
  static SlotTable* table = new SlotTable;
  return *table;
}

}  // namespace

ViewAnchor::ViewAnchor(DocumentState* owner) {
  SlotTable& table = Slots();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (table.firstFree == nullptr) {
    slot_ = &table.slots.emplace_back();
  } else {
    slot_ = table.firstFree;
    table.firstFree = slot_->nextFree;
    if (table.firstFree == nullptr) table.lastFree = nullptr;
  }
  slot_->owner = owner;
  first_ = generation();
}

ViewAnchor::~ViewAnchor() {
  SlotTable& table = Slots();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (endsWithDocument_) {
    slot_->endedFrom = first_;
    slot_->endedTo = generation();
  }
  Invalidate();
  slot_->nextFree = nullptr;
  (table.lastFree != nullptr ? table.lastFree->nextFree : table.firstFree) = slot_;
  table.lastFree = slot_;
}

bool OutlivedItsDocument(const Handle& handle) {
  SlotTable& table = Slots();
  std::lock_guard<std::mutex> lock(table.mutex);
  return handle.generation >= handle.slot->endedFrom && handle.generation <= handle.slot->endedTo;
}

}  // namespace qds::detail
