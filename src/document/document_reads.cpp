// The reads of a QdsDocument by name and through its views: sections, keys
// and values as Section, Key and Value, each a handle on a node of the
// model that checks, at every access, that the node is still there.

#include <qds/document.h>
#include <qds/views.h>

#include <cassert>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "document/document_state.h"
#include "document/expanding_read.h"
#include "document/text_conversions.h"
#include "model/document_edits.h"

namespace qds {

using detail::Internals;

// ---- Views -----------------------------------------------------------------------

namespace detail {

namespace {

// The node of `handle` of the document's current generation, removed
// through a view or not; null for an empty or stale handle.
const ListNode* NodeOfGeneration(const Handle& handle) {
  if (handle.node == 0) return nullptr;
  if (!IsCurrent(handle)) {
    assert(!OutlivedItsDocument(handle) && "a view outlived its document");
    return nullptr;
  }
  return reinterpret_cast<const ListNode*>(handle.node);
}

}  // namespace

const ListNode* Internals::Current(const Handle& handle, const DocumentState* state) {
  const ListNode* node = NodeOfGeneration(handle);
  if (node == nullptr || RemovedNodes::IsRemoved(node)) return nullptr;
  if (state != nullptr && handle.slot != state->views.slot()) return nullptr;
  return node;
}

Handle NextHandle(const Handle& handle) {
  const ListNode* node = NodeOfGeneration(handle);
  assert((node != nullptr || handle.node == 0) &&
         "a walk went on after a change made other than through its views");
  if (node == nullptr) return Handle();
  // A removed node leads on to what followed it, which may be removed too.
  do {
    node = node->next;
  } while (node != nullptr && RemovedNodes::IsRemoved(node));
  return Internals::HandleBeside(handle, node);
}

}  // namespace detail

namespace {

template <class Node, class View>
std::u16string_view NameOf(const View& view) {
  const Node* node = Internals::NodeOf<Node>(view);
  return node != nullptr ? node->name.View() : std::u16string_view();
}

std::u16string_view CommentText(const QdsSection& section) { return section.comment.View(); }
std::u16string_view CommentText(const QdsValue& value) { return value.Comment(); }

template <class Node, class View>
std::u16string_view CommentOf(const View& view) {
  const Node* node = Internals::NodeOf<Node>(view);
  return node != nullptr ? CommentText(*node) : std::u16string_view();
}

// A value's text as the reads give it: "" for a bare key.
std::u16string_view TextOf(const QdsValue* value) {
  return value == nullptr || value->IsBareKey() ? std::u16string_view() : value->name.View();
}

}  // namespace

std::string Section::Name() const { return ToUtf8(Name16()); }
std::u16string Section::Name16() const { return std::u16string(NameOf<QdsSection>(*this)); }
std::string Section::Comment() const { return ToUtf8(Comment16()); }
std::u16string Section::Comment16() const { return std::u16string(CommentOf<QdsSection>(*this)); }

size_t Section::KeyCount() const {
  const QdsSection* section = Internals::NodeOf<QdsSection>(*this);
  return section != nullptr ? section->keys.count() : 0;
}

size_t Section::EntryCount() const {
  const QdsSection* section = Internals::NodeOf<QdsSection>(*this);
  return section != nullptr ? section->EntryCount() : 0;
}

namespace {

// What holds the keys of `section`, and the values of `key` (of a section
// that `holders` tells), for views that change them.
detail::Holders HoldersBelow(const QdsSection* section) {
  return {reinterpret_cast<std::uintptr_t>(section), 0};
}
detail::Holders HoldersBelow(const QdsKey* key, const detail::Holders& holders) {
  return {holders.section, reinterpret_cast<std::uintptr_t>(key)};
}

template <class KeyView, class SectionView>
Range<KeyView> KeysOf(const SectionView& view, const detail::Handle& handle) {
  const QdsSection* section = Internals::NodeOf<QdsSection>(view);
  if (section == nullptr) return Internals::MakeRange<KeyView>(detail::Handle(), 0);
  return Internals::MakeRange<KeyView>(Internals::HandleBeside(handle, section->keys.head()),
                                       section->keys.count(), HoldersBelow(section));
}

template <class KeyView, class SectionView>
std::optional<KeyView> FindKeyOf(const SectionView& view, const detail::Handle& handle,
                                 TextRef key) {
  const QdsSection* section = Internals::NodeOf<QdsSection>(view);
  const QdsKey* found = section != nullptr ? section->keys.FindByName(Wide(key)) : nullptr;
  if (found == nullptr) return std::nullopt;
  return Internals::MakeView<KeyView>(Internals::HandleBeside(handle, found),
                                      HoldersBelow(section));
}

template <class ValueView, class KeyView>
Range<ValueView> ValuesOf(const KeyView& view, const detail::Handle& handle,
                          const detail::Holders& holders) {
  const QdsKey* key = Internals::NodeOf<QdsKey>(view);
  if (key == nullptr) return Internals::MakeRange<ValueView>(detail::Handle(), 0);
  return Internals::MakeRange<ValueView>(Internals::HandleBeside(handle, key->values.head()),
                                         key->values.count(), HoldersBelow(key, holders));
}

}  // namespace

Range<Key> Section::Keys() const { return KeysOf<Key>(*this, handle_); }
Range<MutableKey> MutableSection::Keys() const { return KeysOf<MutableKey>(*this, handle_); }

std::optional<Key> Section::FindKey(TextRef key) const {
  return FindKeyOf<Key>(*this, handle_, key);
}
std::optional<MutableKey> MutableSection::FindKey(TextRef key) const {
  return FindKeyOf<MutableKey>(*this, handle_, key);
}

std::string Key::Name() const { return ToUtf8(Name16()); }
std::u16string Key::Name16() const { return std::u16string(NameOf<QdsKey>(*this)); }

size_t Key::ValueCount() const {
  const QdsKey* key = Internals::NodeOf<QdsKey>(*this);
  return key != nullptr ? key->values.count() : 0;
}

Range<Value> Key::Values() const { return ValuesOf<Value>(*this, handle_, {}); }
Range<MutableValue> MutableKey::Values() const {
  return ValuesOf<MutableValue>(*this, handle_, holders_);
}

std::string Value::Text() const { return ToUtf8(Text16()); }
std::u16string Value::Text16() const {
  return std::u16string(TextOf(Internals::NodeOf<QdsValue>(*this)));
}
std::string Value::Unquoted() const { return ToUtf8(Unquoted16()); }
std::u16string Value::Unquoted16() const {
  return std::u16string(WithoutEnclosingQuotes(TextOf(Internals::NodeOf<QdsValue>(*this))));
}
std::string Value::Comment() const { return ToUtf8(Comment16()); }
std::u16string Value::Comment16() const { return std::u16string(CommentOf<QdsValue>(*this)); }

bool Value::IsBareKey() const {
  const QdsValue* value = Internals::NodeOf<QdsValue>(*this);
  return value != nullptr && value->IsBareKey();
}

// ---- Reads by name ---------------------------------------------------------------

size_t QdsDocument::SectionCount() const { return Internals::State(*this).model.GetSectionCount(); }

namespace {

template <class SectionView>
Range<SectionView> SectionsOf(const detail::DocumentState& state) {
  return Internals::MakeRange<SectionView>(Internals::HandleOf(state, state.model.sections.head()),
                                           state.model.sections.count());
}

template <class SectionView>
std::optional<SectionView> FindSectionOf(const detail::DocumentState& state, TextRef section) {
  const QdsSection* found = state.model.sections.FindByName(Wide(section));
  if (found == nullptr) return std::nullopt;
  return Internals::MakeView<SectionView>(Internals::HandleOf(state, found));
}

}  // namespace

SectionRange QdsDocument::Sections() const { return SectionsOf<Section>(Internals::State(*this)); }
MutableSectionRange QdsDocument::Sections() {
  return SectionsOf<MutableSection>(Internals::State(*this));
}

std::optional<Section> QdsDocument::FindSection(TextRef section) const {
  return FindSectionOf<Section>(Internals::State(*this), section);
}
std::optional<MutableSection> QdsDocument::FindSection(TextRef section) {
  return FindSectionOf<MutableSection>(Internals::State(*this), section);
}

namespace {

// The key `key` of the first section named `section` (and that section,
// where `holder` asks for it), or the status that tells which is missing.
ReadStatus FindKeyOf(const detail::DocumentState& state, TextRef section, TextRef key,
                     const QdsKey** found, const QdsSection** holder = nullptr) {
  QdsSection* inSection = nullptr;
  QdsKey* inKey = nullptr;
  ReadStatus status = FindSectionKey(state.model, Wide(section), Wide(key), &inSection, &inKey);
  *found = inKey;
  if (holder != nullptr) *holder = inSection;
  return status;
}

template <class Text>
Status GetValue(const detail::DocumentState& state, TextRef section, TextRef key, size_t index,
                Text* text) {
  const QdsSection* holder = nullptr;
  const QdsKey* found = nullptr;
  if (ReadStatus status = FindKeyOf(state, section, key, &found, &holder);
      status != ReadStatus::Ok) {
    return Internals::Missing(status, section, key);
  }
  if (index >= found->values.count()) return Internals::MissingValue(section, key, index);
  const QdsValue* value = found->values.NodeAt(static_cast<uint32_t>(index), holder);
  if constexpr (std::is_same_v<Text, std::string>) {
    *text = ToUtf8(TextOf(value));
  } else {
    *text = TextOf(value);
  }
  return Status();
}

template <class Text>
Status GetValues(const detail::DocumentState& state, TextRef section, TextRef key,
                 std::vector<Text>* texts) {
  const QdsKey* found = nullptr;
  if (ReadStatus status = FindKeyOf(state, section, key, &found); status != ReadStatus::Ok) {
    return Internals::Missing(status, section, key);
  }
  texts->clear();
  for (const QdsValue* value = found->values.head(); value != nullptr;
       value = ValueList::Next(value)) {
    if constexpr (std::is_same_v<Text, std::string>) {
      texts->push_back(ToUtf8(TextOf(value)));
    } else {
      texts->emplace_back(TextOf(value));
    }
  }
  return Status();
}

}  // namespace

Status QdsDocument::Get(TextRef section, TextRef key, size_t index, std::string* text) const {
  return GetValue(Internals::State(*this), section, key, index, text);
}

Status QdsDocument::Get(TextRef section, TextRef key, size_t index, std::u16string* text) const {
  return GetValue(Internals::State(*this), section, key, index, text);
}

Status QdsDocument::GetAll(TextRef section, TextRef key, std::vector<std::string>* texts) const {
  return GetValues(Internals::State(*this), section, key, texts);
}

Status QdsDocument::GetAll(TextRef section, TextRef key, std::vector<std::u16string>* texts) const {
  return GetValues(Internals::State(*this), section, key, texts);
}

// ---- Expanding a value ------------------------------------------------------------

Status QdsDocument::Expand(const Value& value, SymbolTable& table, std::string* out,
                           ReadFlags flags) {
  std::u16string wide;
  Status status = Expand(value, table, &wide, flags);
  *out = ToUtf8(wide);
  return status;
}

Status QdsDocument::Expand(const Value& value, SymbolTable& table, std::u16string* out,
                           ReadFlags flags) {
  detail::DocumentState& state = Internals::State(*this);
  const QdsValue* node = Internals::NodeOf<QdsValue>(value, &state);
  if (node == nullptr) return LibraryStatus::StaleView;
  std::u16string_view text = TextOf(node);
  // As GetEntry: an empty value or bare key is read as "", not expanded.
  if (text.empty()) {
    out->clear();
    return Status();
  }
  if (!Has(flags, ReadFlags::KeepQuotes)) text = WithoutEnclosingQuotes(text);
  uint32_t position = 0;
  ReplaceStatus expanded =
      ExpandWithRetry(Internals::Map(table), text, ExpansionMode(state), out, &position);
  state.expansionErrorPos = static_cast<int32_t>(position);
  if (expanded == ReplaceStatus::Ok) return Status();
  if (expanded != ReplaceStatus::BufferTooSmall) RecordExpansionFailure(state, text, expanded);
  detail::StatusDetails details;
  details.detail = static_cast<int32_t>(expanded);
  details.where = position;
  details.located = true;
  return Internals::MakeStatus(ReadStatus::ExpansionFailed, details);
}

}  // namespace qds
