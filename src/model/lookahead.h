// The look-ahead windows of the passes through a whole document: each asks
// for the memory that the item a few places ahead of the one at hand will
// read, so that the waits for memory of successive items overlap instead of
// adding up. A load appends entries (EntryWindow), a merge takes the entries
// of a section from its head (SectionEntriesAhead), a save writes a
// section's keys in order (SectionKeysAhead). The load and the merge keep
// what they took ahead (a name's hash) for the item in an AheadRing.

#ifndef KNITFOLD_MODEL_LOOKAHEAD_H_
#define KNITFOLD_MODEL_LOOKAHEAD_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/prefetch.h"
#include "model/qds_nodes.h"

namespace qds {

// The items that a pass has reached ahead of the one it takes, oldest
// first: at most N (a power of two) of them, in a ring.
template <typename Item, uint32_t N>
class AheadRing {
 public:
  static_assert((N & (N - 1)) == 0, "positions wrap around the ring");

  bool empty() const { return added_ == taken_; }
  bool full() const { return added_ - taken_ == N; }
  // The slot of a new newest item, which the caller fills; not when full.
  Item& Add() { return items_[added_++ % N]; }
  // Takes the oldest item, which stays readable until the next Add; not
  // when empty.
  const Item& TakeOldest() { return items_[taken_++ % N]; }

 private:
  Item items_[N];
  uint32_t added_ = 0;
  uint32_t taken_ = 0;
};

// EntryWindow: the entry lines that a load has read but not yet joined to
// their sections' keys, for a loader that appends a file's entries in order.
//
// Finding a line's key in the name index of a section of very many keys
// waits for memory once per line. The window asks for that memory when the
// line has been read and looks the key up kLines lines later, so that the
// waits of successive lines overlap instead of adding up; a line of a
// smaller section joins at once. Lines join strictly in the order they were
// read, so the document ends exactly as if each had joined at once: the
// first spelling of a key names it and its values keep their order.
//
// The sections that lines join are ones the load made, each empty when made,
// and every key of one is made here after a search for its name found
// none: the keys of a section bear distinct names.
class EntryWindow {
 public:
  // How many lines are read ahead of the one that joins.
  static constexpr uint32_t kLines = 32;
  // Lines of a section with at least this many keys go through the window.
  static constexpr uint32_t kWideSection = 4096;

  EntryWindow() = default;
  EntryWindow(const EntryWindow&) = delete;
  EntryWindow& operator=(const EntryWindow&) = delete;

  // A complete entry line of `section`: its key's `name`, which lies in the
  // document's text, and its `value`, which the window owns until the line
  // joins. `repeat` tells that the line repeats the previous entry line's
  // key exactly, in the same section: it joins that line's key unsearched.
  void Add(QdsSection* section, std::u16string_view name, bool repeat, QdsValue* value);
  // Joins every line added so far. The loader calls it before it returns,
  // whether the load failed or not.
  void JoinAll();
  // `section` has all its lines, and its keys are not searched again while
  // the document is read in order: joins the lines and lets the keys' name
  // index go, which the first search builds again.
  void CloseSection(QdsSection* section);

 private:
  struct Line {
    QdsSection* section;
    QdsValue* value;
    std::u16string_view name;
    std::optional<uint32_t> hash;  // NameIndex::Hash(name), where the section is indexed
    bool repeat;
  };

  void JoinOldest();
  QdsKey* KeyOf(const Line& line);
  // The marks of the keys of `section`: its lines come one section after
  // another, and the window makes and marks every key of the section at
  // hand.
  uint64_t& MarksOf(const QdsSection* section) {
    if (section != markedSection_) {
      markedSection_ = section;
      marks_ = 0;
    }
    return marks_;
  }

  AheadRing<Line, kLines> lines_;
  QdsKey* lastKey_ = nullptr;                // where the line that joined last went
  const QdsSection* lastSection_ = nullptr;  // and the section that holds it
  // The marks (NameMark) of the names of the keys of `markedSection_`, all
  // made by the window: a line of a short section whose name no key's mark
  // matches makes its key without the walk through the keys.
  const QdsSection* markedSection_ = nullptr;
  uint64_t marks_ = 0;
};

// Walks the entries of a section ahead of a pass that merges them and
// removes each from the section's head as it goes, and asks for the memory
// that the pass will wait for, in two steps, each reading only what the step
// before asked for: kFar entries ahead the texts of its key and value (the
// value is read to tell a bare key and enclosing quotes, the key is hashed),
// kNear ahead, for the first entry of a key, the slot where the search of the
// destination section for the key starts. In a long section the pass then
// seldom waits.
class SectionEntriesAhead {
 public:
  explicit SectionEntriesAhead(const QdsSection* source) : far_(source), near_(source) {}
  SectionEntriesAhead(const SectionEntriesAhead&) = delete;
  SectionEntriesAhead& operator=(const SectionEntriesAhead&) = delete;

  // Asks for what the entries up to the distances ahead of the head of the
  // section need; `destination` is the section searched (null: none).
  void Prefetch(const QdsSection* destination);
  // The key of `destination` named `name`, which is `key`'s name or the
  // start of it, found with the hash of `key`'s name when the prefetch took
  // one. Asked in the order of the keys: the hashes of keys before `key` go.
  QdsKey* FindKey(const QdsSection* destination, const QdsKey* key, std::u16string_view name);
  // The entry at the head of the section is gone.
  void EntryRemoved() {
    far_.Removed();
    near_.Removed();
  }

 private:
  static constexpr uint32_t kFar = 32;
  static constexpr uint32_t kNear = 16;
  // An entry `asked` entries after the head of the section (none: past its end).
  struct Walker {
    explicit Walker(const QdsSection* source)
        : key(source->keys.head()), value(key != nullptr ? key->values.head() : nullptr) {}
    void Step();
    void Removed() { asked -= asked > 0 ? 1 : 0; }
    const QdsKey* key;
    const QdsValue* value;
    uint32_t asked = 0;
  };
  Walker far_;
  Walker near_;
  // The hashes that the prefetches took, for the searches: the keys of the
  // next kNear entries at most.
  static constexpr uint32_t kHashes = 32;
  struct Hashed {
    const QdsKey* key;
    uint32_t hash;
  };
  AheadRing<Hashed, kHashes> hashes_;

  std::optional<uint32_t> TakeHash(const QdsKey* key);
};

// Inline: the merge runs them for every entry.
inline void SectionEntriesAhead::Prefetch(const QdsSection* destination) {
  for (; far_.asked < kFar && far_.value != nullptr; far_.Step()) {
    if (far_.value == far_.key->values.head()) qds::Prefetch(far_.key->name.Units());
    qds::Prefetch(far_.value->name.Units());
  }
  for (; near_.asked < kNear && near_.value != nullptr; near_.Step()) {
    bool first = near_.value == near_.key->values.head();
    if (!first || destination == nullptr) continue;
    std::optional<uint32_t> hash = destination->keys.PrefetchName(near_.key->name.View());
    if (hash && !hashes_.full()) hashes_.Add() = {near_.key, *hash};
  }
}

inline std::optional<uint32_t> SectionEntriesAhead::TakeHash(const QdsKey* key) {
  while (!hashes_.empty()) {
    const Hashed& oldest = hashes_.TakeOldest();
    if (oldest.key == key) return oldest.hash;
  }
  return std::nullopt;
}

inline QdsKey* SectionEntriesAhead::FindKey(const QdsSection* destination, const QdsKey* key,
                                            std::u16string_view name) {
  std::optional<uint32_t> hash = TakeHash(key);
  return hash && name.size() == key->name.Length() ? destination->keys.FindByName(name, *hash)
                                                   : destination->keys.FindByName(name);
}

inline void SectionEntriesAhead::Walker::Step() {
  ++asked;
  value = ValueList::Next(value);
  while (value == nullptr && key != nullptr) {
    key = NodeList<QdsKey>::Next(key);
    value = key != nullptr ? key->values.head() : nullptr;
  }
}

// Walks a section's keys ahead of a pass that writes them and asks for the
// memory that the pass will read, each request reading only nodes asked for
// one key earlier: the key three ahead, the first value of the key two
// ahead, the text of the next key's first value. The writer then seldom
// waits.
class SectionKeysAhead {
 public:
  explicit SectionKeysAhead(const QdsKey* head)
      : next_(head != nullptr ? NodeList<QdsKey>::Next(head) : nullptr),
        ahead_(next_ != nullptr ? NodeList<QdsKey>::Next(next_) : nullptr) {}

  // Called before the pass takes each key.
  void Step() {
    if (ahead_ != nullptr) {
      qds::Prefetch(ahead_->values.head());
      qds::Prefetch(ahead_->next);
      ahead_ = NodeList<QdsKey>::Next(ahead_);
    }
    if (next_ != nullptr) {
      if (const QdsValue* first = next_->values.head()) qds::Prefetch(first->name.Units());
      next_ = NodeList<QdsKey>::Next(next_);
    }
  }

 private:
  const QdsKey* next_;   // the key after the pass's
  const QdsKey* ahead_;  // the key after that one
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_LOOKAHEAD_H_
