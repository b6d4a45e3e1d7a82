#include "model/document_merge.h"

#include <algorithm>

namespace qds {

namespace {

constexpr uint32_t kReadCapacity = 260;

// Deletes the first entry of `section`, and its key when that was the
// key's last value.
void ReleaseFirstEntry(QdsSection* section) {
  QdsKey* key = section->keys.head();
  while (key->values.count() == 0) {
    delete section->keys.RemoveHead();
    key = section->keys.head();
  }
  delete key->values.RemoveHead();
  if (key->values.count() == 0) delete section->keys.RemoveHead();
}

// Walks the keys of a compat section ahead of the merge and asks for the
// memory where the target section's search for each starts: in a long
// section the search of every key then seldom waits.
class CompatKeyLookahead {
 public:
  explicit CompatKeyLookahead(const QdsSection* source)
      : source_(source), ahead_(source->keys.head()) {}

  // Asks for the keys up to kDistance ahead of the head of the compat section.
  void Prefetch(const QdsSection* destination) {
    for (; asked_ < kDistance && ahead_ != nullptr; ++asked_) {
      destination->keys.PrefetchName(ahead_->name.View());
      ahead_ = NodeList<QdsKey>::Next(ahead_);
    }
  }
  // The compat section lost `removed` keys from its head.
  void KeysRemoved(uint32_t removed) {
    asked_ -= std::min(asked_, removed);
    if (asked_ == 0) ahead_ = source_->keys.head();
  }

 private:
  static constexpr uint32_t kDistance = 16;
  const QdsSection* source_;
  const QdsKey* ahead_;  // the first key not asked for
  uint32_t asked_ = 0;   // keys from the head up to `ahead_`
};

// Adds the entries of the first compat section to `target`, in order,
// releasing each once it is read.
void MergeFirstSection(DocumentModel* compat, DocumentModel* target) {
  char16_t section[kReadCapacity];
  uint32_t sectionLength = kReadCapacity;
  if (compat->GetSectionName(0, section, &sectionLength) != ReadStatus::Ok) return;
  QdsSection* source = compat->sections.head();
  // The section is read from its head until it is empty; no key of it is
  // looked up again.
  source->keys.DropIndex();
  CompatKeyLookahead lookahead(source);
  // The section that SetEntry finds by the same name, once there is one.
  const QdsSection* destination = nullptr;
  char16_t key[kReadCapacity];
  char16_t value[kReadCapacity];
  while (source->EntryCount() > 0) {
    if (destination == nullptr) destination = target->sections.FindByName(section);
    if (destination != nullptr) lookahead.Prefetch(destination);
    uint32_t keyLength = kReadCapacity;
    uint32_t valueLength = kReadCapacity;
    if (compat->GetEntryAt(0, 0, key, &keyLength, value, &valueLength, 0) == ReadStatus::Ok) {
      target->SetEntry(section, key, kAppendPosition, value);
    }
    uint32_t keys = source->keys.count();
    ReleaseFirstEntry(source);
    lookahead.KeysRemoved(keys - source->keys.count());
  }
}

}  // namespace

void MergeDocuments(DocumentModel* compat, DocumentModel* target) {
  while (compat->GetSectionCount() > 0) {
    MergeFirstSection(compat, target);
    delete compat->sections.RemoveHead();
  }
}

}  // namespace qds
