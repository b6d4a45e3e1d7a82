#include "model/document_merge.h"

#include <string_view>
#include <utility>

#include "model/lookahead.h"

namespace qds {

namespace {

constexpr uint32_t kReadCapacity = 260;

// The key of the first entry of `section`, which has one: its first key
// that holds a value.
QdsKey* FirstEntryKey(const QdsSection* section) {
  QdsKey* key = section->keys.head();
  while (key->values.count() == 0) key = NodeList<QdsKey>::Next(key);
  return key;
}

// Takes the first entry of `section`, a value of `key`, out of it, and
// deletes the keys before `key`, which hold none, and `key` when that was
// its last value.
QdsValue* TakeFirstEntry(QdsSection* section, QdsKey* key) {
  while (section->keys.head() != key) delete section->keys.RemoveHead();
  QdsValue* value = key->values.RemoveHead(section);
  if (key->values.count() == 0) delete section->keys.RemoveHead();
  return value;
}

// Makes `value`, taken out of its list, hold only `text`, the part of its
// text that a read gives: the value node moves to the target rather than
// being copied there. A value that is its text and has no comment keeps it
// as it is.
void KeepReadText(QdsValue* value, std::u16string_view text) {
  if (text.size() == value->name.Length() && value->Comment().empty()) return;
  value->name = TextSlice::Part(value->name, text);
}

// Adds the entries of `source`, a compat section whose name reads whole, to
// `target`, in order, as SetEntry adds what GetEntryAt reads of each
// through buffers of kReadCapacity units, releasing each once it is read
// (`destination` is the target's section of that name, if there is one): a
// value read whole moves to the target in its own node. The texts stay
// where they are: the target borrows those that the compat document borrows
// from its text blocks, which the target has taken over.
//
// The keys of a section bear distinct names, so a key that the merge adds
// to the destination is looked for again only by the later entries of the
// same compat key, which find it as the key of the entry merged last: the
// destination's index need not file it, and rather than grow while both
// documents are whole, it is dropped at the end of the section. The next
// search builds it again, at a cost no more than a few times the keys
// merged, as only a section of at least a quarter of the destination's keys
// is merged so. Only a name read cut to the buffer may be another key's
// too: a key made with a name of that length is filed.
void MergeSection(QdsSection* source, QdsSection* destination, DocumentModel* target) {
  // The section is read from its head until it is empty; no key of it is
  // looked up again.
  source->keys.NoMoreSearches();
  SectionEntriesAhead lookahead(source);
  // A section that this merge makes holds only keys of this compat section,
  // whose names differ: a key is found there only by the entries of the same
  // compat key, or by a name cut to the buffer.
  const bool madeHere = destination == nullptr;
  const uint32_t sourceKeys = source->keys.count();
  NodeListBase::BatchAppend newKeys;
  const QdsKey* lastSource = nullptr;  // the compat key of the entry merged last
  QdsKey* lastTarget = nullptr;        // and the key that took it
  while (source->EntryCount() > 0) {
    if (!newKeys.started() && destination != nullptr &&
        sourceKeys >= destination->keys.count() / 4) {
      newKeys.Begin(&destination->keys);
    }
    lookahead.Prefetch(destination);
    // The first entry is taken from its key's head as ViewEntry reads it,
    // without ViewEntry's search by position, which is for any entry.
    QdsKey* key = FirstEntryKey(source);
    EntryView entry = EntryView::Of(key, key->values.head(), ReadFlags::None);
    if (entry.Fits(kReadCapacity, kReadCapacity)) {
      std::u16string_view keyText = ReadPart(entry.keyText, kReadCapacity);
      QdsKey* found = entry.key == lastSource ? lastTarget : nullptr;
      const bool cut = keyText.size() == kReadCapacity - 1;
      if (found == nullptr && destination != nullptr && (!madeHere || cut)) {
        found = lookahead.FindKey(destination, entry.key, keyText);
      }
      TextSlice sectionName =
          destination == nullptr ? TextSlice::Part(source->name, source->name.View()) : TextSlice();
      TextSlice keyName = found == nullptr ? TextSlice::Part(key->name, keyText) : TextSlice();
      QdsValue* value = TakeFirstEntry(source, key);
      KeepReadText(value, entry.valueText);
      target->AppendEntry(&destination, found, std::move(sectionName), std::move(keyName), value);
      lastSource = key;
      lastTarget = found != nullptr ? found : destination->keys.tail();
      if (found == nullptr && cut) newKeys.KeepFindable(lastTarget);
    } else {
      delete TakeFirstEntry(source, key);
    }
    lookahead.EntryRemoved();
  }
}

// Whether merging `source`, a compat section whose name the target lacks
// and reads whole, entry by entry would make a section of exactly its keys:
// every key holds values, every entry reads whole and no key name reads
// cut, so that each key becomes a target key of its own name (the keys of
// a section bear distinct names) with all its values.
bool MergesWhole(const QdsSection* source) {
  if (source->keys.count() == 0) return false;  // the merge would make no section
  for (QdsKey* key = source->keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    if (key->values.count() == 0 || key->name.Length() >= kReadCapacity - 1) return false;
    for (QdsValue* value = key->values.head(); value != nullptr; value = ValueList::Next(value)) {
      if (!EntryView::Of(key, value, ReadFlags::None).Fits(kReadCapacity, kReadCapacity)) {
        return false;
      }
    }
  }
  return true;
}

// Moves `section`, taken out of the compat document, into `target` as
// MergeSection would have rebuilt it there, at a step per entry and
// none of its searches or new nodes: each value keeps only the text a read
// gives, the comment before the header goes, and the keys' index, which
// the rebuilt section would not have, goes too.
void AdoptSection(QdsSection* section, DocumentModel* target) {
  section->keys.NoMoreSearches();
  section->comment = TextSlice();
  for (QdsKey* key = section->keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    for (QdsValue* value = key->values.head(); value != nullptr; value = ValueList::Next(value)) {
      KeepReadText(value, EntryView::Of(key, value, ReadFlags::None).valueText);
    }
  }
  target->sections.AddTail(section);
}

}  // namespace

void MergeDocuments(DocumentModel* compat, DocumentModel* target) {
  target->texts.TakeOver(&compat->texts);
  while (compat->GetSectionCount() > 0) {
    QdsSection* source = compat->sections.head();
    if (source->name.Length() < kReadCapacity) {  // else its name cannot be read
      QdsSection* destination = target->sections.FindByName(source->name.View());
      if (destination == nullptr && MergesWhole(source)) {
        AdoptSection(compat->sections.RemoveHead(), target);
        continue;
      }
      MergeSection(source, destination, target);
    }
    delete compat->sections.RemoveHead();
  }
}

}  // namespace qds
