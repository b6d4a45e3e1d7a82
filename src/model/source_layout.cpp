#include "model/source_layout.h"

#include <algorithm>

#include "model/qds_nodes.h"

namespace qds {

namespace {

// Nodes are known by the reference of their ListNode part: a section's
// does not begin where the section does.
NodePool::Reference ReferenceOf(const ListNode* node) { return NodePool::ReferenceTo(node); }

}  // namespace

void SourceLayout::Reserve(uint64_t bytes) {
  bytes_.reserve(bytes);
  items_.reserve(bytes / kExpectedLineBytes);
  items_of_.reserve(bytes / kExpectedLineBytes);
}

void SourceLayout::AppendBytes(const void* bytes, size_t count) {
  bytes_.append(static_cast<const char*>(bytes), count);
}

void SourceLayout::AddItem(uint64_t start, const ListNode* node, bool header) {
  NodePool::Reference reference = ReferenceOf(node);
  items_of_[reference] = static_cast<uint32_t>(items_.size());
  items_.push_back(Item{start, start, reference, header, false});
}

void SourceLayout::EndItem(uint64_t end) {
  if (!items_.empty() && items_.back().end == items_.back().start) items_.back().end = end;
}

// A line starts after a line feed, which every code page keeps as the one
// byte 0x0A and converts to U+000A alone: the item that starts after the
// k-th line feed of the text starts after the k-th 0x0A byte of the file.
bool SourceLayout::PositionsToBytes(std::u16string_view text) {
  std::string_view bytes = Bytes();
  if (utf16_) {
    for (Item& item : items_) item.start *= 2, item.end *= 2;
    if (endMarker_) *endMarker_ *= 2;
    return true;
  }
  size_t character = 0;
  size_t byte = 0;
  // Moves from the line start at `character` to the one at `to`.
  auto toByte = [&](uint64_t to) -> std::optional<uint64_t> {
    if (to > text.size()) return std::nullopt;
    if (to == text.size()) return bytes.size();
    if (to != 0 && text[to - 1] != u'\n') return std::nullopt;
    for (; character < to; ++character) {
      if (text[character] != u'\n') continue;
      byte = bytes.find('\n', byte);
      if (byte == std::string::npos) return std::nullopt;
      ++byte;
    }
    return byte;
  };
  for (Item& item : items_) {
    std::optional<uint64_t> start = toByte(item.start);
    std::optional<uint64_t> end = start ? toByte(item.end) : std::nullopt;
    if (!end) return false;
    item.start = *start;
    item.end = *end;
  }
  if (endMarker_) {
    std::optional<uint64_t> marker = toByte(*endMarker_);
    if (!marker) return false;
    endMarker_ = *marker;
  }
  return true;
}

void SourceLayout::Forget(const QdsValue* value) { items_of_.erase(ReferenceOf(value)); }

void SourceLayout::Forget(const QdsKey* key) {
  items_of_.erase(ReferenceOf(key));
  for (const QdsValue* value = key->values.head(); value != nullptr; value = ValueList::Next(value)) {
    Forget(value);
  }
}

void SourceLayout::Forget(const QdsSection* section) {
  items_of_.erase(ReferenceOf(section));
  for (const QdsKey* key = section->keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    Forget(key);
  }
}

void SourceLayout::Replaced(const ListNode* replaced, const ListNode* fresh) {
  auto found = items_of_.find(ReferenceOf(replaced));
  if (found == items_of_.end()) return;
  uint32_t item = found->second;
  items_of_.erase(found);
  items_[item].node = ReferenceOf(fresh);
  items_[item].changed = true;
  items_of_[items_[item].node] = item;
}

void SourceLayout::Renamed(const ListNode* node) {
  auto [found, added] = items_of_.try_emplace(ReferenceOf(node), kRenamedKey);
  if (!added && found->second != kRenamedKey) items_[found->second].changed = true;
}

std::optional<uint32_t> SourceLayout::ItemOfReference(NodePool::Reference node) const {
  auto found = items_of_.find(node);
  if (found == items_of_.end() || found->second == kRenamedKey) return std::nullopt;
  return found->second;
}

std::optional<uint32_t> SourceLayout::ItemOf(const ListNode* node) const {
  return ItemOfReference(ReferenceOf(node));
}

bool SourceLayout::IsRenamedKey(const ListNode* key) const {
  auto found = items_of_.find(ReferenceOf(key));
  return found != items_of_.end() && found->second == kRenamedKey;
}

}  // namespace qds
