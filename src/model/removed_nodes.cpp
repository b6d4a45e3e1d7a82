#include "model/removed_nodes.h"

namespace qds {
namespace {

// Marks the nodes that `key` holds removed, as a walk over them reads it.
void MarkHeld(QdsKey* key) {
  for (QdsValue* value = key->values.head(); value != nullptr; value = ValueList::Next(value)) {
    value->prev = nullptr;
  }
}

void MarkHeld(QdsSection* section) {
  for (QdsKey* key = section->keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    MarkHeld(key);
    key->prev = nullptr;
  }
}

}  // namespace

namespace {

template <class Node>
void MakeRoom(std::vector<Node*>* nodes) {
  if (nodes->size() == nodes->capacity()) nodes->reserve(2 * nodes->size() + 8);
}

}  // namespace

void RemovedNodes::Reserve() {
  MakeRoom(&values_);
  MakeRoom(&keys_);
  MakeRoom(&sections_);
}

void RemovedNodes::Keep(QdsValue* value, ListNode* next) {
  values_.push_back(value);
  value->next = next;
}

void RemovedNodes::Keep(QdsKey* key, ListNode* next) {
  keys_.push_back(key);
  MarkHeld(key);
  key->next = next;
}

void RemovedNodes::Keep(QdsSection* section, ListNode* next) {
  sections_.push_back(section);
  MarkHeld(section);
  section->next = next;
}

void RemovedNodes::DeleteAll() {
  // Lists that hold marked nodes are let go without unlinking them.
  for (QdsValue* value : values_) delete value;
  for (QdsKey* key : keys_) delete key;
  for (QdsSection* section : sections_) delete section;
  values_.clear();
  keys_.clear();
  sections_.clear();
}

}  // namespace qds
