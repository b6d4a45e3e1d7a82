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

// Deletes a node that left the model, which its layout forgets.
template <class Node>
void Delete(DocumentModel* model, Node* node) {
  if (model->layout) model->layout->Forget(node);
  delete node;
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

void RemoveValue(DocumentModel* model, QdsSection* section, QdsKey* key, QdsValue* value) {
  QdsValue* next = ValueList::Next(value);
  Prepend(Kept(value->Comment()), [&] {
    return next != nullptr ? next->MutableComment() : CommentAfter(model, section, key);
  });
  Delete(model, key->values.Remove(value, section));
  if (key->values.count() == 0) Delete(model, section->keys.Remove(key));
}

void RemoveLaterValues(DocumentModel* model, QdsSection* section, QdsKey* key) {
  QdsValue* first = key->values.head();
  Prepend(KeptFrom(ValueList::Next(first)), [&] { return CommentAfter(model, section, key); });
  while (key->values.tail() != first) Delete(model, key->values.RemoveTail(section));
}

void RemoveKey(DocumentModel* model, QdsSection* section, QdsKey* key) {
  Prepend(KeptFrom(key->values.head()), [&] { return CommentAfter(model, section, key); });
  Delete(model, section->keys.Remove(key));
}

void RemoveSection(DocumentModel* model, QdsSection* section) {
  std::u16string kept(section->comment.View());
  for (const QdsKey* key = section->keys.head(); key != nullptr;
       key = NodeList<QdsKey>::Next(key)) {
    kept += KeptFrom(key->values.head());
  }
  Prepend(kept, [&] { return CommentAfter(model, section); });
  Delete(model, model->sections.Remove(section));
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
