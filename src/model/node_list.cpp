#include "model/node_list.h"

#include "common/text.h"
#include "model/name_index.h"

namespace qds {

void LinkedList::LinkHead(ListNode* node, ListCursor* cursor) {
  node->next = head_;
  if (head_ != nullptr) {
    node->prev = head_->prev;
    head_->prev = node;
  } else {
    node->prev = node;
  }
  head_ = node;
  *cursor = {node, 0};
  ++count_;
}

void LinkedList::LinkTail(ListNode* node, ListCursor* cursor) {
  node->next = nullptr;
  if (head_ != nullptr) {
    node->prev = head_->prev;
    head_->prev->next = node;
    head_->prev = node;
  } else {
    node->prev = node;
    head_ = node;
  }
  *cursor = {node, count_};
  ++count_;
}

ListNode* LinkedList::NodeAtPosition(uint32_t position, ListCursor* cursor) const {
  if (position >= count_) return nullptr;
  const ListNode* at = cursor->node;
  const uint32_t from = cursor->position;
  ListNode* node;
  if (position == 0) {
    node = head_;
  } else if (position == count_ - 1) {
    node = head_->prev;
  } else if (at != nullptr && position == from) {
    // Reading one position again, as each read of a pass over a section's
    // entries reaches the section again by its position.
    node = cursor->node;
  } else if (at != nullptr && position == from + 1) {
    node = at->next;
  } else if (at != nullptr && from > 0 && position == from - 1) {
    node = at->prev;
  } else {
    node = head_;
    for (uint32_t i = 0; i < position; ++i) node = node->next;
  }
  *cursor = {node, position};
  return node;
}

void LinkedList::LinkAt(uint32_t position, ListNode* node, ListCursor* cursor) {
  if (position == 0) return LinkHead(node, cursor);
  if (position >= count_) return LinkTail(node, cursor);
  ListNode* before = NodeAtPosition(position, cursor);
  node->next = before;
  node->prev = before->prev;
  before->prev->next = node;
  before->prev = node;
  *cursor = {node, position};
  ++count_;
}

ListNode* LinkedList::Unlink(ListNode* node, ListCursor* cursor) {
  // The cursor keeps its position where the removal tells it: the removed
  // node's successor takes its position, and a removal just before it moves
  // it one down. Elsewhere its position is unknown and it goes to the head.
  NodeLink& at = cursor->node;
  if (node == at && node->next != nullptr) {
    at = node->next;
  } else if (node == at || (at != nullptr && at != head_ && node == at->prev)) {
    // The cursor's node is the tail: the node before it, if any, takes the
    // cursor. (The head's back link is the tail, not a node before it.)
    if (node == at) at = node != head_ ? node->prev : nullptr;
    --cursor->position;
  } else if (at != nullptr && node != at->next) {
    at = nullptr;
  }
  if (node == head_) {
    head_ = node->next;
  } else {
    node->prev->next = node->next;
  }
  // The node after it, or else the head (as the tail's mark), links back to
  // the node before it.
  ListNode* after = node->next != nullptr ? node->next : head_;
  if (after != nullptr) after->prev = node->prev;
  node->prev = nullptr;
  node->next = nullptr;
  --count_;
  if (at == nullptr) *cursor = {head_, 0};
  return node;
}

void NodeListBase::Index(ListNode* node, std::optional<uint32_t> hash) {
  NameIndex* index = index_.load(std::memory_order_relaxed);
  if (index == nullptr) return;
  const uint32_t nameHash = hash ? *hash : NameIndex::Hash(node->name.View());
  bool first = node == head_;
  if (!first && node->next != nullptr) {
    // In the middle: it comes first if no other node bears its name or the
    // present first one lies after it.
    const ListNode* present = index->Find(node->name.View(), nameHash);
    first = present == nullptr;
    for (const ListNode* later = node->next; later != nullptr && !first; later = later->next) {
      first = later == present;
    }
  }
  index->Added(node, first, nameHash);
}

void NodeListBase::Linked(ListNode* node, std::optional<uint32_t> hash) {
  if (unfiledRun_) {
    if (indexed()) indexLacksNodes_ = true;
  } else {
    Index(node, hash);
  }
}

void NodeListBase::Unlinking(ListNode* node) {
  if (NameIndex* index = index_.load(std::memory_order_relaxed)) index->Removing(node);
}

void NodeListBase::Rename(ListNode* node, std::u16string_view name) {
  if (NameIndex* index = index_.load(std::memory_order_relaxed)) index->Removing(node);
  node->name.Assign(name);
  Index(node, std::nullopt);
}

const NameIndex* NodeListBase::SearchIndex() const {
  NameIndex* index = index_.load(std::memory_order_acquire);
  if (index != nullptr || count() <= kIndexThreshold) return index;
  auto* built = new NameIndex(head_, count());
  if (index_.compare_exchange_strong(index, built, std::memory_order_acq_rel,
                                     std::memory_order_acquire)) {
    return built;
  }
  delete built;  // another thread's search published its build first
  return index;
}

ListNode* NodeListBase::Walk(std::u16string_view name) const {
  for (ListNode* node = head_; node != nullptr; node = node->next) {
    if (EqualsIgnoreAsciiCase(node->name.View(), name)) return node;
  }
  return nullptr;
}

ListNode* NodeListBase::FindNode(std::u16string_view name) const {
  const NameIndex* index = SearchIndex();
  return index != nullptr ? index->Find(name) : Walk(name);
}

ListNode* NodeListBase::FindNode(std::u16string_view name, uint32_t hash) const {
  const NameIndex* index = SearchIndex();
  return index != nullptr ? index->Find(name, hash) : Walk(name);
}

bool NodeListBase::OtherBears(const ListNode* node, std::u16string_view name) const {
  bool nodeBears = EqualsIgnoreAsciiCase(node->name.View(), name);
  if (const NameIndex* index = SearchIndex()) {
    return index->CountOfName(name) > (nodeBears ? 1 : 0);
  }
  for (const ListNode* other = head_; other != nullptr; other = other->next) {
    if (other != node && EqualsIgnoreAsciiCase(other->name.View(), name)) return true;
  }
  return false;
}

std::optional<uint32_t> NodeListBase::PrefetchName(std::u16string_view name) const {
  const NameIndex* index = index_.load(std::memory_order_acquire);
  if (index == nullptr) return std::nullopt;
  const uint32_t hash = NameIndex::Hash(name);
  index->Prefetch(hash);
  return hash;
}

void NodeListBase::DropIndex() {
  delete index_.exchange(nullptr, std::memory_order_relaxed);
  indexLacksNodes_ = false;
}

void NodeListBase::BatchAppend::End() {
  if (list_ == nullptr) return;
  list_->unfiledRun_ = false;
  if (list_->indexLacksNodes_) list_->DropIndex();
  list_ = nullptr;
}

}  // namespace qds
