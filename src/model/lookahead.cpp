#include "model/lookahead.h"


namespace qds {

static_assert((EntryWindow::kLines & (EntryWindow::kLines - 1)) == 0, "the window is a ring");

void EntryWindow::Add(QdsSection* section, std::u16string_view name, bool repeat, QdsValue* value) {
  // The index of a section of fewer keys stays in the processor's nearer
  // caches, where a lookup hardly waits: there the window would cost more
  // than it spares, and the line joins at once, after the lines before it.
  const bool wide = section->keys.count() >= kWideSection;
  if (!wide) {
    JoinAll();
  } else if (count_ == kLines) {
    JoinOldest();
  }
  Line& line = lines_[(oldest_ + count_++) % kLines];
  // Field by field: a whole Line built first and then copied makes the
  // processor wait for its own stores.
  line.section = section;
  line.value = value;
  line.name = name;
  line.repeat = repeat;
  // A section with an index is searched by hash, computed once here for the
  // lookup and for filing a new key; a short section is walked through keys
  // that were just made.
  line.hash.reset();
  if (!repeat) line.hash = section->keys.PrefetchName(name);
  if (!wide) JoinOldest();
}

void EntryWindow::JoinAll() {
  while (count_ > 0) JoinOldest();
}

void EntryWindow::CloseSection(QdsSection* section) {
  JoinAll();
  section->keys.DropIndex();
}

// A key that the section lacks joins it with its first value, as a key of
// the file is never without one.
void EntryWindow::JoinOldest() {
  const Line& line = lines_[oldest_];
  oldest_ = (oldest_ + 1) % kLines;
  --count_;
  NodeList<QdsKey>& keys = line.section->keys;
  QdsKey* key = lastKey_;
  if (!line.repeat) {
    key = line.hash ? keys.FindByName(line.name, *line.hash) : keys.FindByName(line.name);
  }
  if (key == nullptr) {
    key = new QdsKey(TextSlice::Borrow(line.name));
    key->values.AddTail(line.value, nullptr);
    keys.AddTail(key, line.hash);
  } else {
    key->values.AddTail(line.value, line.section);
  }
  lastKey_ = key;
}

void SectionEntriesAhead::Prefetch(const QdsSection* destination) {
  for (; far_.asked < kFar && far_.value != nullptr; far_.Step()) {
    if (far_.value == far_.key->values.head()) qds::Prefetch(far_.key->name.Units());
    qds::Prefetch(far_.value->name.Units());
  }
  for (; near_.asked < kNear && near_.value != nullptr; near_.Step()) {
    bool first = near_.value == near_.key->values.head();
    if (!first || destination == nullptr) continue;
    std::optional<uint32_t> hash = destination->keys.PrefetchName(near_.key->name.View());
    if (hash && filed_ - taken_ < kHashes) hashes_[filed_++ % kHashes] = {near_.key, *hash};
  }
}

std::optional<uint32_t> SectionEntriesAhead::TakeHash(const QdsKey* key) {
  while (taken_ != filed_) {
    const Hashed& oldest = hashes_[taken_++ % kHashes];
    if (oldest.key == key) return oldest.hash;
  }
  return std::nullopt;
}

void SectionEntriesAhead::Walker::Step() {
  ++asked;
  value = ValueList::Next(value);
  while (value == nullptr && key != nullptr) {
    key = NodeList<QdsKey>::Next(key);
    value = key != nullptr ? key->values.head() : nullptr;
  }
}

}  // namespace qds
