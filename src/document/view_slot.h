// ViewSlot: where the views of a document find out whether what they show is
// still there. A view holds the address of its document's slot and the
// slot's generation when it was made. Every change that removes, renames or
// replaces a part raises the generation, and so does the end of the
// document's state: a document that ends, and one moved over (a = b's
// document), whose former state goes. A view whose generation is no longer
// its slot's is stale.
//
// Slots are never freed, so a stale view never reads freed memory: the slot
// of a state that ended goes to a later state, its generation going on from
// where it stopped, so that no view made before ever matches it again. A
// state moves with its document, slot and all, and so do its views. The
// slots are shared by the whole process; taking and giving one back is
// locked, reading a generation is one atomic load.

#ifndef KNITFOLD_DOCUMENT_VIEW_SLOT_H_
#define KNITFOLD_DOCUMENT_VIEW_SLOT_H_

#include <qds/views.h>

#include <atomic>
#include <cstdint>

namespace qds::detail {

struct ViewSlot {
  std::atomic<uint64_t> generation{0};
  // The state that holds the slot now, which the changes through views
  // change.
  DocumentState* owner = nullptr;
  // The generations of the last state here that ended with its document, so
  // that a debug build can tell a view that outlived its document.
  uint64_t endedFrom = 1;
  uint64_t endedTo = 0;
  ViewSlot* nextFree = nullptr;
};

// A document state's slot: taken when the state is made, given back when it
// ends.
class ViewAnchor {
 public:
  explicit ViewAnchor(DocumentState* owner);
  ViewAnchor(const ViewAnchor&) = delete;
  ViewAnchor& operator=(const ViewAnchor&) = delete;
  ~ViewAnchor();

  const ViewSlot* slot() const { return slot_; }
  uint64_t generation() const { return slot_->generation.load(std::memory_order_relaxed); }
  // Makes every view made before stale. Only the document's thread writes.
  void Invalidate() { slot_->generation.store(generation() + 1, std::memory_order_relaxed); }
  // Tells the anchor that it ends with its document, not with a move over
  // the document: its views then outlive their document.
  void EndWithDocument() { endsWithDocument_ = true; }

 private:
  ViewSlot* slot_;
  uint64_t first_;  // the generation when the slot was taken
  bool endsWithDocument_ = false;
};

// Whether `handle` (not empty) still shows what it showed when it was made.
inline bool IsCurrent(const Handle& handle) {
  return handle.generation == handle.slot->generation.load(std::memory_order_relaxed);
}

// Whether a stale `handle` is a view of a document that ended, as far as its
// slot remembers (the last such document only).
bool OutlivedItsDocument(const Handle& handle);

}  // namespace qds::detail

#endif  // KNITFOLD_DOCUMENT_VIEW_SLOT_H_
