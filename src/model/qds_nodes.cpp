#include "model/qds_nodes.h"

namespace qds {

// Nodes are most of a document's memory: with references of 32 bits, a
// value takes a pool block of 16 bytes, a key one of 24 and a section one of
// 88 (classes are multiples of 8; a section's hints, which threads share,
// are three words).
static_assert(sizeof(QdsValue) <= 16 && sizeof(QdsKey) <= 24 && sizeof(QdsSection) <= 88);
static_assert(alignof(QdsValue) <= 8 && alignof(QdsKey) <= 8 && alignof(QdsSection) <= 8);

ListCursor ValueList::LoadCursor(const QdsSection* holder) const {
  if (holder == nullptr) return {};
  auto [list, node] = holder->valueList_.Load();
  auto [at, position] = holder->valueNode_.Load();
  if (list != NodePool::ReferenceTo(this) || node != at) return {};
  return {static_cast<ListNode*>(NodePool::At(node)), position};
}

void ValueList::StoreCursor(const QdsSection* holder, const ListCursor& cursor) const {
  if (holder == nullptr) return;
  const NodePool::Reference node = NodePool::ReferenceTo(cursor.node);
  holder->valueList_.Store(NodePool::ReferenceTo(this), node);
  holder->valueNode_.Store(node, cursor.position);
}

// Appending moves no value: the holder's cursor stays true wherever it is
// aimed, and is left there rather than stored for every value a merge or an
// edit appends.
void ValueList::AddTail(QdsValue* value, QdsSection* holder) {
  ListCursor cursor;
  LinkTail(value, &cursor);
  if (holder != nullptr) holder->ValueCountChanging(*this, +1);
}

QdsValue* ValueList::NodeAt(uint32_t position, const QdsSection* holder) const {
  ListCursor cursor = LoadCursor(holder);
  auto* value = static_cast<QdsValue*>(NodeAtPosition(position, &cursor));
  StoreCursor(holder, cursor);
  return value;
}

void ValueList::InsertAt(uint32_t position, QdsValue* value, QdsSection* holder) {
  ListCursor cursor = LoadCursor(holder);
  LinkAt(position, value, &cursor);
  StoreCursor(holder, cursor);
  if (holder != nullptr) holder->ValueCountChanging(*this, +1);
}

QdsValue* ValueList::Remove(QdsValue* value, QdsSection* holder) {
  if (holder != nullptr) holder->ValueCountChanging(*this, -1);
  ListCursor cursor = LoadCursor(holder);
  Unlink(value, &cursor);
  StoreCursor(holder, cursor);
  return value;
}

void QdsSection::NodeLinked(QdsKey* key) { KeyCountChanging(key, +1); }

void QdsSection::NodeUnlinking(QdsKey* key) {
  KeyCountChanging(key, -1);
  // A key that leaves may be deleted, and another made where it was.
  if (valueList_.Load().first == NodePool::ReferenceTo(&key->values)) valueList_.Store(0, 0);
}

// The flat start of the last key found stays known when the change lies
// plainly before or after it (at either end of the keys list, the common
// case by far); anywhere else it is forgotten and found again by a walk.
void QdsSection::KeyCountChanging(QdsKey* key, int sign) {
  uint32_t values = key->values.count();
  entryCount_ = sign > 0 ? entryCount_ + values : entryCount_ - values;
  auto [flatKey, flatStart] = LoadFlat();
  if (flatKey == nullptr || key == flatKey) {
    StoreFlat(nullptr, 0);
  } else if (key == keys.head() && key->next != nullptr) {  // at the head: before it
    StoreFlat(flatKey, sign > 0 ? flatStart + values : flatStart - values);
  } else if (key->next != nullptr) {  // in the middle: unknown
    StoreFlat(nullptr, 0);
  }
}

void QdsSection::ValueCountChanging(const ValueList& values, int delta) {
  entryCount_ += delta;
  auto [flatKey, flatStart] = LoadFlat();
  if (flatKey == nullptr || &values == &flatKey->values || flatKey == keys.head() ||
      &values == &keys.tail()->values) {
    return;  // within the key found last, or after it
  }
  if (flatKey == keys.tail()) {
    StoreFlat(flatKey, flatStart + delta);
  } else {
    StoreFlat(nullptr, 0);
  }
}

QdsKey* QdsSection::KeyOfEntry(uint32_t position, uint32_t* local) const {
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
  auto [flatKey, flatStart] = LoadFlat();
  if (flatKey != nullptr) {
    uint32_t fromLast = position >= flatStart ? position - flatStart : flatStart - position;
    if (fromLast < distance) {
      key = flatKey;
      start = flatStart;
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
  StoreFlat(key, start);
  *local = position - start;
  return key;
}

}  // namespace qds
