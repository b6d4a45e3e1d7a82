#include "model/node_list.h"

#include "common/prefetch.h"
#include "common/text.h"
#include "model/name_index.h"

namespace qds {

NodeListBase::~NodeListBase() {
  // A list that goes away with its owner has no one left to tell.
  watcher_ = nullptr;
  RemoveAll();
}

// Brings the index and the watcher up to date with `node`, which has just
// been linked in.
void NodeListBase::Linked(ListNode* node, std::optional<uint32_t> hash) {
  if (index_ != nullptr) {
    bool first = node->prev == nullptr;
    if (!first && node->next != nullptr) {
      // In the middle: it comes first if the present first node of its name
      // lies after it.
      const ListNode* present = index_->FirstOfName(node);
      for (const ListNode* later = node->next; later != nullptr && !first; later = later->next) {
        first = later == present;
      }
    }
    index_->Added(node, first, hash ? *hash : NameIndex::Hash(node->name.View()));
  }
  if (watcher_ != nullptr) watcher_->NodeLinked(*this, node);
}

void NodeListBase::AddHeadNode(ListNode* node) {
  node->prev = nullptr;
  node->next = head_;
  if (head_ != nullptr) head_->prev = node;
  head_ = node;
  if (tail_ == nullptr) tail_ = node;
  cursor_ = node;
  cursorIndex_ = 0;
  ++count_;
  Linked(node);
}

void NodeListBase::AddTailNode(ListNode* node, std::optional<uint32_t> hash) {
  node->next = nullptr;
  node->prev = tail_;
  if (tail_ != nullptr) tail_->next = node;
  tail_ = node;
  if (head_ == nullptr) head_ = node;
  cursor_ = node;
  cursorIndex_ = count_;
  ++count_;
  Linked(node, hash);
}

ListNode* NodeListBase::NodeAtPosition(uint32_t position) {
  if (position >= count_) return nullptr;
  ListNode* node;
  if (position == 0) {
    node = head_;
  } else if (position == count_ - 1) {
    node = tail_;
  } else if (cursor_ != nullptr && position == cursorIndex_) {
    // Reading one position again, as each read of a pass over a section's
    // entries reaches the section again by its position.
    node = cursor_;
  } else if (cursor_ != nullptr && position == cursorIndex_ + 1) {
    node = cursor_->next;
  } else if (cursor_ != nullptr && cursorIndex_ > 0 && position == cursorIndex_ - 1) {
    node = cursor_->prev;
  } else {
    node = head_;
    for (uint32_t i = 0; i < position; ++i) node = node->next;
  }
  cursor_ = node;
  cursorIndex_ = position;
  return node;
}

void NodeListBase::InsertNodeAt(uint32_t position, ListNode* node) {
  if (position == 0) {
    AddHeadNode(node);
    return;
  }
  if (position >= count_) {
    AddTailNode(node);
    return;
  }
  ListNode* before = NodeAtPosition(position);
  node->next = before;
  node->prev = before->prev;
  before->prev->next = node;
  before->prev = node;
  cursor_ = node;
  cursorIndex_ = position;
  ++count_;
  Linked(node);
}

ListNode* NodeListBase::Unlink(ListNode* node) {
  if (index_ != nullptr) index_->Removing(node);
  if (watcher_ != nullptr) watcher_->NodeUnlinking(*this, node);
  if (node->prev != nullptr) node->prev->next = node->next;
  else head_ = node->next;
  if (node->next != nullptr) node->next->prev = node->prev;
  else tail_ = node->prev;
  node->prev = nullptr;
  node->next = nullptr;
  --count_;
  cursor_ = head_;
  cursorIndex_ = 0;
  return node;
}

const NameIndex* NodeListBase::SearchIndex() const {
  if (index_ == nullptr && count_ > kIndexThreshold) index_ = new NameIndex(head_);
  return index_;
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

void NodeListBase::PrefetchName(std::u16string_view name) const {
  if (index_ != nullptr) index_->Prefetch(NameIndex::Hash(name));
}

void NodeListBase::PrefetchHash(uint32_t hash) const {
  if (index_ != nullptr) index_->Prefetch(hash);
}

void NodeListBase::DropIndex() {
  delete index_;
  index_ = nullptr;
}

void NodeListBase::RemoveAll() {
  DropIndex();
  if (watcher_ == nullptr) return DeleteAll();
  while (head_ != nullptr) delete Unlink(head_);
}

// With no one to tell, the nodes need no unlinking one by one: the chain is
// let go at once and deleted in order, the next node fetched ahead while the
// current one goes.
void NodeListBase::DeleteAll() {
  ListNode* node = head_;
  head_ = nullptr;
  tail_ = nullptr;
  cursor_ = nullptr;
  cursorIndex_ = 0;
  count_ = 0;
  while (node != nullptr) {
    ListNode* next = node->next;
    Prefetch(next);
    delete node;
    node = next;
  }
}

}  // namespace qds
