// The changes of a QdsDocument, by name and through its views. Every text that a change writes is
// checked against the file format's rules first (qdsfile/text_rules.h), so
// that a refused change changes nothing; the model's edits keep the text
// around what they change (model/document_edits.h).

#include <qds/document.h>

#include <string>

#include "document/document_state.h"
#include "document/text_conversions.h"
#include "model/document_edits.h"
#include "qdsfile/text_rules.h"

namespace qds {

using detail::Internals;

namespace {

constexpr LibraryStatus kRefusals[] = {LibraryStatus::InvalidSectionName, LibraryStatus::InvalidKey,
                                       LibraryStatus::InvalidValue};

// Turns `text`, which a change is to write in `role`, into *wide; the status
// of its refusal, if it is refused.
Status CheckWritten(TextRef text, TextRole role, std::u16string* wide) {
  *wide = Wide(text);
  Reason reason = IsValidText(text) ? CheckText(role, *wide) : Reason::InvalidUtf8;
  if (reason == Reason::None) return Status();
  detail::StatusDetails details;
  details.reason = reason;
  return Internals::MakeStatus(kRefusals[static_cast<int>(role)], details);
}

// The texts of a new entry, checked in their order.
struct EntryTexts {
  std::u16string section;
  std::u16string key;
  std::u16string value;
};

Status CheckEntry(TextRef section, TextRef key, TextRef value, EntryTexts* texts) {
  Status status = CheckWritten(section, TextRole::SectionName, &texts->section);
  if (status.Ok()) status = CheckWritten(key, TextRole::Key, &texts->key);
  if (status.Ok()) status = CheckWritten(value, TextRole::Value, &texts->value);
  return status;
}

// The key `key` of the first section named `section`, or the status that
// tells which is missing.
struct Located {
  ReadStatus status;
  QdsSection* section = nullptr;
  QdsKey* key = nullptr;
};

Located Locate(detail::DocumentState& state, TextRef section, TextRef key) {
  Located found;
  found.status = FindSectionKey(state.model, Wide(section), Wide(key), &found.section, &found.key);
  return found;
}

// A change is about to remove, replace or rename a part: every view made
// before is stale, and the document differs from its file.
void Changing(detail::DocumentState& state) {
  state.InvalidateViews();
  state.modified = true;
}

// Whether `key` holds `value` alone, which a Set of it leaves as it is.
bool HoldsOnly(const QdsKey& key, std::u16string_view value) {
  return key.values.count() == 1 && key.values.head()->name.View() == value;
}

Status NameTaken(Reason reason) {
  detail::StatusDetails details;
  details.reason = reason;
  return Internals::MakeStatus(LibraryStatus::NameExists, details);
}

}  // namespace

Status QdsDocument::Set(TextRef section, TextRef key, TextRef value) {
  EntryTexts texts;
  if (Status checked = CheckEntry(section, key, value, &texts); !checked.Ok()) return checked;
  detail::DocumentState& state = Internals::State(*this);
  QdsSection* inSection = nullptr;
  QdsKey* existing = nullptr;
  if (FindSectionKey(state.model, texts.section, texts.key, &inSection, &existing) !=
      ReadStatus::Ok) {
    state.modified = true;
    state.model.SetEntry(texts.section.c_str(), texts.key.c_str(), kAppendPosition,
                         texts.value.c_str());
    return Status();
  }
  if (HoldsOnly(*existing, texts.value)) return Status();
  Changing(state);
  ReplaceValue(&state.model, inSection, existing, existing->values.head(), texts.value);
  RemoveLaterValues(&state.model, inSection, existing);
  return Status();
}

Status QdsDocument::Add(TextRef section, TextRef key, TextRef value) {
  EntryTexts texts;
  if (Status checked = CheckEntry(section, key, value, &texts); !checked.Ok()) return checked;
  Internals::State(*this).modified = true;
  Internals::State(*this).model.SetEntry(texts.section.c_str(), texts.key.c_str(), kAppendPosition,
                                         texts.value.c_str());
  return Status();
}

Status QdsDocument::RemoveValue(TextRef section, TextRef key, size_t index) {
  detail::DocumentState& state = Internals::State(*this);
  Located found = Locate(state, section, key);
  if (found.status != ReadStatus::Ok) return Internals::Missing(found.status, section, key);
  if (index >= found.key->values.count()) return Internals::MissingValue(section, key, index);
  QdsValue* value = found.key->values.NodeAt(static_cast<uint32_t>(index), found.section);
  Changing(state);
  qds::RemoveValue(&state.model, found.section, found.key, value);
  return Status();
}

Status QdsDocument::RemoveKey(TextRef section, TextRef key) {
  detail::DocumentState& state = Internals::State(*this);
  Located found = Locate(state, section, key);
  if (found.status != ReadStatus::Ok) return Internals::Missing(found.status, section, key);
  Changing(state);
  qds::RemoveKey(&state.model, found.section, found.key);
  return Status();
}

Status QdsDocument::RemoveSection(TextRef section) {
  detail::DocumentState& state = Internals::State(*this);
  std::u16string name = Wide(section);
  QdsSection* found = state.model.sections.FindByName(name);
  if (found == nullptr) return Internals::Missing(ReadStatus::NoSection, section, "");
  Changing(state);
  for (; found != nullptr; found = state.model.sections.FindByName(name)) {
    qds::RemoveSection(&state.model, found);
  }
  return Status();
}

Status QdsDocument::RenameSection(TextRef from, TextRef to) {
  detail::DocumentState& state = Internals::State(*this);
  QdsSection* found = state.model.sections.FindByName(Wide(from));
  if (found == nullptr) return Internals::Missing(ReadStatus::NoSection, from, "");
  std::u16string name;
  if (Status checked = CheckWritten(to, TextRole::SectionName, &name); !checked.Ok()) {
    return checked;
  }
  if (state.model.sections.OtherBears(found, name)) return NameTaken(Reason::SectionExists);
  if (found->name.View() == name) return Status();
  Changing(state);
  qds::RenameSection(&state.model, found, name);
  return Status();
}

Status QdsDocument::RenameKey(TextRef section, TextRef from, TextRef to) {
  detail::DocumentState& state = Internals::State(*this);
  Located found = Locate(state, section, from);
  if (found.status != ReadStatus::Ok) return Internals::Missing(found.status, section, from);
  std::u16string name;
  if (Status checked = CheckWritten(to, TextRole::Key, &name); !checked.Ok()) return checked;
  if (found.section->keys.OtherBears(found.key, name)) return NameTaken(Reason::KeyExists);
  if (found.key->name.View() == name) return Status();
  Changing(state);
  qds::RenameKey(&state.model, found.section, found.key, name);
  return Status();
}

// ---- Changes through views -------------------------------------------------------
//
// They take their nodes from the views, which the document's walks made, and
// keep what they remove for the views that stand on it: no view is made
// stale but those of what is gone.

namespace {

// The node of `view`, to change: null for a stale view.
template <class Node, class View>
Node* NodeToChange(const View& view) {
  return const_cast<Node*>(Internals::NodeOf<Node>(view));
}

// Appends `value` (checked) to `key`, or to a new key named `name`, of
// `section`.
Status Append(detail::DocumentState& state, QdsSection* section, QdsKey* key,
              std::u16string_view name, TextRef value) {
  std::u16string text;
  if (Status checked = CheckWritten(value, TextRole::Value, &text); !checked.Ok()) return checked;
  state.modified = true;
  state.model.AppendEntry(&section, key, TextSlice(), TextSlice(key == nullptr ? name : u""),
                          new QdsValue(TextSlice(text)));
  return Status();
}

}  // namespace

Status MutableSection::Add(TextRef key, TextRef value) const {
  QdsSection* section = NodeToChange<QdsSection>(*this);
  if (section == nullptr) return LibraryStatus::StaleView;
  std::u16string name;
  if (Status checked = CheckWritten(key, TextRole::Key, &name); !checked.Ok()) return checked;
  return Append(Internals::OwnerOf(*this), section, section->keys.FindByName(name), name, value);
}

Status MutableSection::Remove() const {
  QdsSection* section = NodeToChange<QdsSection>(*this);
  if (section == nullptr) return LibraryStatus::StaleView;
  detail::DocumentState& state = Internals::OwnerOf(*this);
  state.modified = true;
  qds::RemoveSection(&state.model, section, &state.removed);
  return Status();
}

Status MutableKey::Add(TextRef value) const {
  QdsKey* key = NodeToChange<QdsKey>(*this);
  if (key == nullptr) return LibraryStatus::StaleView;
  return Append(Internals::OwnerOf(*this), Internals::SectionOf(*this), key, u"", value);
}

Status MutableKey::Remove() const {
  QdsKey* key = NodeToChange<QdsKey>(*this);
  if (key == nullptr) return LibraryStatus::StaleView;
  detail::DocumentState& state = Internals::OwnerOf(*this);
  state.modified = true;
  qds::RemoveKey(&state.model, Internals::SectionOf(*this), key, &state.removed);
  return Status();
}

Status MutableValue::Set(TextRef text) const {
  QdsValue* value = NodeToChange<QdsValue>(*this);
  if (value == nullptr) return LibraryStatus::StaleView;
  std::u16string wide;
  if (Status checked = CheckWritten(text, TextRole::Value, &wide); !checked.Ok()) return checked;
  if (value->name.View() == wide) return Status();
  detail::DocumentState& state = Internals::OwnerOf(*this);
  state.modified = true;
  SetValueText(&state.model, value, wide);
  return Status();
}

Status MutableValue::Remove() const {
  QdsValue* value = NodeToChange<QdsValue>(*this);
  if (value == nullptr) return LibraryStatus::StaleView;
  detail::DocumentState& state = Internals::OwnerOf(*this);
  state.modified = true;
  qds::RemoveValue(&state.model, Internals::SectionOf(*this), Internals::KeyOf(*this), value,
                   &state.removed);
  return Status();
}

}  // namespace qds
