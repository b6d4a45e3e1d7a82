#include "model/qds_nodes.h"

namespace qds {

// Nodes are most of a document's memory: with references of 32 bits, a
// value takes a pool block of 16 bytes, a key one of 24 and a section one of
// 96 (classes are multiples of 8).
static_assert(sizeof(QdsValue) <= 16 && sizeof(QdsKey) <= 24 && sizeof(QdsSection) <= 96);
static_assert(alignof(QdsValue) <= 8 && alignof(QdsKey) <= 8 && alignof(QdsSection) <= 8);

ListCursor* ValueList::Cursor(const QdsSection* holder, ListCursor* spare) const {
  if (holder == nullptr) return spare;
  const NodePool::Reference self = NodePool::ReferenceTo(this);
  if (holder->cursorValues_ != self) {
    holder->cursorValues_ = self;
    holder->valueCursor_ = {};
  }
  return &holder->valueCursor_;
}

void ValueList::AddTail(QdsValue* value, QdsSection* holder) {
  ListCursor spare;
  LinkTail(value, Cursor(holder, &spare));
  if (holder != nullptr) holder->ValueCountChanging(*this, +1);
}

QdsValue* ValueList::NodeAt(uint32_t position, const QdsSection* holder) const {
  ListCursor spare;
  return static_cast<QdsValue*>(NodeAtPosition(position, Cursor(holder, &spare)));
}

void ValueList::InsertAt(uint32_t position, QdsValue* value, QdsSection* holder) {
  ListCursor spare;
  LinkAt(position, value, Cursor(holder, &spare));
  if (holder != nullptr) holder->ValueCountChanging(*this, +1);
}

QdsValue* ValueList::Remove(QdsValue* value, QdsSection* holder) {
  if (holder != nullptr) holder->ValueCountChanging(*this, -1);
  ListCursor spare;
  return static_cast<QdsValue*>(Unlink(value, Cursor(holder, &spare)));
}

void QdsSection::NodeLinked(const LinkedList&, ListNode* node) {
  KeyCountChanging(static_cast<QdsKey*>(node), +1);
}

void QdsSection::NodeUnlinking(const LinkedList&, ListNode* node) {
  auto* key = static_cast<QdsKey*>(node);
  KeyCountChanging(key, -1);
  // A key that leaves may be deleted, and another made where it was.
  if (cursorValues_ == NodePool::ReferenceTo(&key->values)) cursorValues_ = 0;
}

// The flat start of the last key found stays known when the change lies
// plainly before or after it (at either end of the keys list, the common
// case by far); anywhere else it is forgotten and found again by a walk.
void QdsSection::KeyCountChanging(QdsKey* key, int sign) {
  uint32_t values = key->values.count();
  entryCount_ = sign > 0 ? entryCount_ + values : entryCount_ - values;
  if (flatKey_ == nullptr || key == flatKey_) {
    flatKey_ = nullptr;
  } else if (key == keys.head() && key->next != nullptr) {  // at the head: before it
    flatStart_ = sign > 0 ? flatStart_ + values : flatStart_ - values;
  } else if (key->next != nullptr) {  // in the middle: unknown
    flatKey_ = nullptr;
  }
}

void QdsSection::ValueCountChanging(const ValueList& values, int delta) {
  entryCount_ += delta;
  if (flatKey_ == nullptr || &values == &FlatKey()->values || flatKey_ == keys.head() ||
      &values == &keys.tail()->values) {
    return;  // within the key found last, or after it
  }
  if (flatKey_ == keys.tail()) {
    flatStart_ += delta;
  } else {
    flatKey_ = nullptr;
  }
}

QdsKey* QdsSection::KeyOfEntry(uint32_t position, uint32_t* local) {
  // Walk from the nearest known place: the head, the tail, or the key found
  // last, so that passes in either direction cost one step per key.
  QdsKey* key = keys.head();
  uint32_t start = 0;
  uint32_t distance = position;
  if (entryCount_ - position < distance) {
    key = keys.tail();
    start = entryCount_ - key->values.count();
    distance = entryCount_ - position;
  }
  if (flatKey_ != nullptr) {
    uint32_t fromLast = position >= flatStart_ ? position - flatStart_ : flatStart_ - position;
    if (fromLast < distance) {
      key = FlatKey();
      start = flatStart_;
    }
  }
  while (position < start) {
    key = NodeList<QdsKey>::Prev(key);
    start -= key->values.count();
  }
  while (position - start >= key->values.count()) {
    start += key->values.count();
    key = NodeList<QdsKey>::Next(key);
  }
  flatKey_ = key;
  flatStart_ = start;
  *local = position - start;
  return key;
}

}  // namespace qds
