#include "model/source_layout.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "common/prefetch.h"
#include "model/qds_nodes.h"

namespace qds {

namespace {

// Nodes are known by the reference of their ListNode part: a section's
// does not begin where the section does.
NodePool::Reference ReferenceOf(const ListNode* node) { return NodePool::ReferenceTo(node); }

// Where the table's probe for `node` starts.
size_t Home(NodePool::Reference node, size_t mask) {
  return static_cast<size_t>((static_cast<uint64_t>(node) * 0x9E3779B97F4A7C15u) >> 32) & mask;
}

}  // namespace

void SourceLayout::Reserve(uint64_t bytes) {
  if (borrowed_.data() == nullptr) bytes_.reserve(bytes);
  items_.reserve(bytes / kExpectedLineBytes);
}

void SourceLayout::AppendBytes(const void* bytes, size_t count) {
  bytes_.append(static_cast<const char*>(bytes), count);
}

void SourceLayout::AddItem(uint64_t start, const ListNode* node, bool header) {
  items_.push_back(Item{start, start, ReferenceOf(node), header, false});
}

// All at once, in a table sized for them, asking for the slots of the items
// a few ahead: each filing would otherwise wait for its slot's memory, and
// the table of a large file is larger than the caches.
void SourceLayout::FileItems() {
  constexpr size_t kAhead = 16;
  GrowTable(items_.size());
  const size_t mask = table_.size() - 1;
  for (size_t item = 0; item < items_.size(); ++item) {
    if (item + kAhead < items_.size()) Prefetch(&table_[Home(items_[item + kAhead].node, mask)]);
    File(items_[item].node, static_cast<uint32_t>(item));
  }
}

void SourceLayout::EndItem(uint64_t end) {
  if (versionHeaderOpen_) versionHeaderEnds_.push_back(end);
  versionHeaderOpen_ = false;
  if (!items_.empty() && items_.back().end == items_.back().start) items_.back().end = end;
}

// A line starts after a line feed, which every code page keeps as the one
// byte 0x0A and converts to U+000A alone: the item that starts after the
// k-th line feed of the text starts after the k-th 0x0A byte of the file.
bool SourceLayout::PositionsToBytes(std::u16string_view text) {
  std::string_view bytes = Bytes();
  // The places of lines other than items.
  std::vector<uint64_t*> lines;
  for (std::optional<uint64_t>* line : {&endMarker_, &unfinishedLine_, &versionLine_}) {
    if (*line) lines.push_back(&**line);
  }
  for (uint64_t& end : versionHeaderEnds_) lines.push_back(&end);
  if (utf16_) {
    for (Item& item : items_) item.start *= 2, item.end *= 2;
    for (uint64_t* line : lines) *line *= 2;
    return true;
  }
  size_t character = 0;
  size_t byte = 0;
  // Moves from the line start at `character` to the one at `to`, which
  // lies no earlier.
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
  // The lines in the order of their positions, each moved to when the walk
  // through the items reaches it: the version line may lie between items.
  std::sort(lines.begin(), lines.end(), [](uint64_t* a, uint64_t* b) { return *a < *b; });
  auto next = lines.begin();
  auto toBytesUpTo = [&](uint64_t to) {
    for (; next != lines.end() && **next <= to; ++next) {
      std::optional<uint64_t> at = toByte(**next);
      if (!at) return false;
      **next = *at;
    }
    return true;
  };
  for (Item& item : items_) {
    std::optional<uint64_t> start = toBytesUpTo(item.start) ? toByte(item.start) : std::nullopt;
    std::optional<uint64_t> end = start && toBytesUpTo(item.end) ? toByte(item.end) : std::nullopt;
    if (!end) return false;
    item.start = *start;
    item.end = *end;
  }
  return toBytesUpTo(std::numeric_limits<uint64_t>::max());
}

std::optional<uint64_t> SourceLayout::VersionLineEnd() const {
  if (versionHeaderEnds_.empty()) return std::nullopt;
  return versionHeaderEnds_.front();
}

std::optional<uint64_t> SourceLayout::VersionHeaderEndBefore(uint64_t at) const {
  auto after = std::upper_bound(versionHeaderEnds_.begin(), versionHeaderEnds_.end(), at);
  if (after == versionHeaderEnds_.begin()) return std::nullopt;
  return *(after - 1);
}

void SourceLayout::Forget(const QdsValue* value) { Unfile(ReferenceOf(value)); }

void SourceLayout::Forget(const QdsKey* key) {
  Unfile(ReferenceOf(key));
  for (const QdsValue* value = key->values.head(); value != nullptr;
       value = ValueList::Next(value)) {
    Forget(value);
  }
}

void SourceLayout::Forget(const QdsSection* section) {
  Unfile(ReferenceOf(section));
  for (const QdsKey* key = section->keys.head(); key != nullptr;
       key = NodeList<QdsKey>::Next(key)) {
    Forget(key);
  }
}

void SourceLayout::Replaced(const ListNode* replaced, const ListNode* fresh) {
  std::optional<uint32_t> item = ItemOf(replaced);
  if (!item) return;
  Unfile(ReferenceOf(replaced));
  items_[*item].node = ReferenceOf(fresh);
  items_[*item].changed = true;
  File(items_[*item].node, *item);
}

void SourceLayout::Renamed(const ListNode* node) {
  const Entry* found = Find(ReferenceOf(node));
  if (found == nullptr) {
    File(ReferenceOf(node), kRenamedKey);
    keysRenamed_ = true;
  } else if (found->item != kRenamedKey) {
    items_[found->item].changed = true;
  }
}

std::optional<uint32_t> SourceLayout::ItemOfReference(NodePool::Reference node) const {
  const Entry* found = Find(node);
  if (found == nullptr || found->item == kRenamedKey) return std::nullopt;
  return found->item;
}

std::optional<uint32_t> SourceLayout::ItemOf(const ListNode* node) const {
  return ItemOfReference(ReferenceOf(node));
}

std::optional<uint32_t> SourceLayout::ItemOf(const ListNode* node, uint32_t likely) const {
  if (likely < items_.size() && items_[likely].node == ReferenceOf(node)) return likely;
  return ItemOf(node);
}

bool SourceLayout::IsRenamedKey(const ListNode* key) const {
  if (!keysRenamed_) return false;
  const Entry* found = Find(ReferenceOf(key));
  return found != nullptr && found->item == kRenamedKey;
}

// ---- The table

// The entry of `node`, or the free one where it would go.
size_t SourceLayout::SlotOf(NodePool::Reference node) const {
  const size_t mask = table_.size() - 1;
  size_t at = Home(node, mask);
  while (table_[at].node != 0 && table_[at].node != node) at = (at + 1) & mask;
  return at;
}

const SourceLayout::Entry* SourceLayout::Find(NodePool::Reference node) const {
  if (table_.empty()) return nullptr;
  const Entry& entry = table_[SlotOf(node)];
  return entry.node != 0 ? &entry : nullptr;
}

void SourceLayout::File(NodePool::Reference node, uint32_t item) {
  if (2 * (filed_ + 1) > table_.size()) GrowTable(2 * (filed_ + 1));
  Entry& entry = table_[SlotOf(node)];
  if (entry.node == 0) ++filed_;
  entry = Entry{node, item};
}

// Takes the entry out, and moves up each entry after it that its probe
// would no longer reach.
void SourceLayout::Unfile(NodePool::Reference node) {
  if (table_.empty()) return;
  size_t hole = SlotOf(node);
  if (table_[hole].node == 0) return;
  if (table_[hole].item != kRenamedKey) items_[table_[hole].item].node = kNoNode;
  --filed_;
  const size_t mask = table_.size() - 1;
  for (size_t at = (hole + 1) & mask; table_[at].node != 0; at = (at + 1) & mask) {
    size_t home = Home(table_[at].node, mask);
    // Whether `home` lies cyclically in (hole, at]: the entry stays.
    bool stays = hole < at ? (home > hole && home <= at) : (home > hole || home <= at);
    if (stays) continue;
    table_[hole] = table_[at];
    hole = at;
  }
  table_[hole] = Entry{0, 0};
}

// Room for `entries` entries at most half full, the filed ones moved over.
void SourceLayout::GrowTable(size_t entries) {
  size_t size = 16;
  while (size < 2 * entries) size *= 2;
  if (size <= table_.size()) return;
  std::vector<Entry> old(size, Entry{0, 0});
  old.swap(table_);
  for (const Entry& entry : old) {
    if (entry.node != 0) table_[SlotOf(entry.node)] = entry;
  }
}

}  // namespace qds
