#include "model/document_edits.h"

#include <string>
#include <utility>

namespace qds {
namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";

// What stays of a removed entry line's comment: all of it up to its last
// line end; the rest is the line's own indentation.
std::u16string_view Kept(std::u16string_view text) {
  size_t end = text.rfind(kLineEnd);
  return end == std::u16string_view::npos ? std::u16string_view() : text.substr(0, end + 2);
}

// The kept comments of `value` and the values after it, in order.
std::u16string KeptFrom(const QdsValue* value) {
  std::u16string kept;
  for (; value != nullptr; value = ValueList::Next(value)) kept += Kept(value->Comment());
  return kept;
}

// Puts `text` before the comment that `place()` points at, asked for only
// when there is text: a value's comment takes room of its own.
template <class Place>
void Prepend(std::u16string_view text, Place place) {
  if (text.empty()) return;
  TextSlice* comment = place();
  std::u16string joined(text);
  joined += comment->View();
  comment->Assign(joined);
}

// The comment that a save writes next after `section`, and after the values
// of `key` of `section`.
TextSlice* CommentAfter(DocumentModel* model, QdsSection* section) {
  QdsSection* next = NodeList<QdsSection>::Next(section);
  return next != nullptr ? &next->comment : &model->trailingText;
}

TextSlice* CommentAfter(DocumentModel* model, QdsSection* section, QdsKey* key) {
  for (QdsKey* next = NodeList<QdsKey>::Next(key); next != nullptr;
       next = NodeList<QdsKey>::Next(next)) {
    if (QdsValue* first = next->values.head()) return first->MutableComment();
  }
  return CommentAfter(model, section);
}

// Takes `node` out of `list` (naming `holder`, for a value), which the
// layout forgets, and deletes it or keeps it in `kept`.
template <class List, class Node, class... Holder>
void TakeOut(DocumentModel* model, RemovedNodes* kept, List* list, Node* node, Holder*... holder) {
  if (kept != nullptr) kept->Reserve();
  ListNode* next = node->next;
  list->Remove(node, holder...);
  if (model->layout) model->layout->Forget(node);
  if (kept != nullptr) {
    kept->Keep(node, next);
  } else {
    delete node;
  }
}

template <class List, class Node>
uint32_t PositionOf(const List& list, const Node* node) {
  uint32_t position = 0;
  for (const Node* at = list.head(); at != node; at = List::Next(at)) ++position;
  return position;
}

}  // namespace

ReadStatus FindSectionKey(const DocumentModel& model, std::u16string_view section,
                          std::u16string_view key, QdsSection** foundSection, QdsKey** foundKey) {
  *foundSection = model.sections.FindByName(section);
  if (*foundSection == nullptr) return ReadStatus::NoSection;
  *foundKey = (*foundSection)->keys.FindByName(key);
  return *foundKey != nullptr ? ReadStatus::Ok : ReadStatus::NoEntry;
}

QdsValue* ReplaceValue(DocumentModel* model, QdsSection* section, QdsKey* key, QdsValue* value,
                       std::u16string_view text) {
  auto* fresh = new QdsValue(text);
  fresh->SetComment(value->TakeComment());
  key->values.InsertAt(PositionOf(key->values, value), fresh, section);
  if (model->layout) model->layout->Replaced(value, fresh);
  delete key->values.Remove(value, section);
  return fresh;
}

void SetValueText(DocumentModel* model, QdsValue* value, std::u16string_view text) {
  value->name.Assign(text);
  if (model->layout) model->layout->Replaced(value, value);
}

void RemoveValue(DocumentModel* model, QdsSection* section, QdsKey* key, QdsValue* value,
                 RemovedNodes* kept) {
  QdsValue* next = ValueList::Next(value);
  Prepend(Kept(value->Comment()), [&] {
    return next != nullptr ? next->MutableComment() : CommentAfter(model, section, key);
  });
  TakeOut(model, kept, &key->values, value, section);
  if (key->values.count() == 0) TakeOut(model, kept, &section->keys, key);
}

void RemoveLaterValues(DocumentModel* model, QdsSection* section, QdsKey* key) {
  QdsValue* first = key->values.head();
  Prepend(KeptFrom(ValueList::Next(first)), [&] { return CommentAfter(model, section, key); });
  while (key->values.tail() != first) {
    TakeOut(model, nullptr, &key->values, key->values.tail(), section);
  }
}

void RemoveKey(DocumentModel* model, QdsSection* section, QdsKey* key, RemovedNodes* kept) {
  Prepend(KeptFrom(key->values.head()), [&] { return CommentAfter(model, section, key); });
  TakeOut(model, kept, &section->keys, key);
}

void RemoveSection(DocumentModel* model, QdsSection* section, RemovedNodes* removed) {
  std::u16string kept(section->comment.View());
  for (const QdsKey* key = section->keys.head(); key != nullptr;
       key = NodeList<QdsKey>::Next(key)) {
    kept += KeptFrom(key->values.head());
  }
  Prepend(kept, [&] { return CommentAfter(model, section); });
  TakeOut(model, removed, &model->sections, section);
}

void RenameSection(DocumentModel* model, QdsSection* section, std::u16string_view name) {
  model->sections.Rename(section, name);
  if (model->layout) model->layout->Renamed(section);
}

void RenameKey(DocumentModel* model, QdsSection* section, QdsKey* key, std::u16string_view name) {
  section->keys.Rename(key, name);
  if (model->layout) model->layout->Renamed(key);
}

}  // namespace qds
