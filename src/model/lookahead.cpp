#include "model/lookahead.h"

#include "common/text.h"

namespace qds {
namespace {

// One of 64 bits, from the length of `name` and its last unit with A-Z
// folded: names equal with A-Z folded bear the same mark, and numbered keys
// of one length (Key0 to Key9) different ones.
uint64_t NameMark(std::u16string_view name) {
  const uint32_t last = name.empty() ? 0 : FoldAscii(name.back());
  return uint64_t{1} << ((name.size() * 7 + last) & 63);
}

}  // namespace

void EntryWindow::Add(QdsSection* section, std::u16string_view name, bool repeat, QdsValue* value) {
  // The index of a section of fewer keys stays in the processor's nearer
  // caches, where a lookup hardly waits: there the window would cost more
  // than it spares, and the line joins at once, after the lines before it.
  const bool wide = section->keys.count() >= kWideSection;
  if (!wide) {
    JoinAll();
  } else if (lines_.full()) {
    JoinOldest();
  }
  Line& line = lines_.Add();
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
  if (!repeat && section->keys.indexed()) line.hash = section->keys.PrefetchName(name);
  if (!wide) JoinOldest();
}

void EntryWindow::JoinAll() {
  while (!lines_.empty()) JoinOldest();
}

void EntryWindow::CloseSection(QdsSection* section) {
  JoinAll();
  section->keys.NoMoreSearches();
}

// The key of the line's section that bears the line's name, or null. Inlined
// into its one caller, which runs for every entry line.
[[gnu::always_inline]] inline QdsKey* EntryWindow::KeyOf(const Line& line) {
  if (line.repeat) return lastKey_;
  NodeList<QdsKey>& keys = line.section->keys;
  if (line.hash) return keys.FindByName(line.name, *line.hash);
  // Keys that take turns, as a table's columns do, name the key after the
  // one that joined last: that key is tried before the walk from the head.
  // The keys of the section bear distinct names, so a key tried that bears
  // the name is the one the walk would find, and a name whose mark no key
  // bears is no key's.
  QdsKey* next = line.section == lastSection_ ? NodeList<QdsKey>::Next(lastKey_) : nullptr;
  if (next != nullptr && EqualsIgnoreAsciiCase(next->name.View(), line.name)) return next;
  if ((MarksOf(line.section) & NameMark(line.name)) == 0) return nullptr;
  return keys.FindByName(line.name);
}

// A key that the section lacks joins it with its first value, as a key of
// the file is never without one.
void EntryWindow::JoinOldest() {
  const Line& line = lines_.TakeOldest();
  QdsKey* key = KeyOf(line);
  if (key == nullptr) {
    MarksOf(line.section) |= NameMark(line.name);
    key = new QdsKey(TextSlice::Borrow(line.name));
    key->values.AddTail(line.value, nullptr);
    line.section->keys.AddTail(key, line.hash);
  } else {
    key->values.AddTail(line.value, line.section);
  }
  lastKey_ = key;
  lastSection_ = line.section;
}

}  // namespace qds
