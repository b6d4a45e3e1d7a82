#include "expansion/symbol_map.h"

#include <limits>

#include "common/text.h"
#include "common/wide_format.h"
#include "expansion/number_text.h"
#include "expansion/symbol_undo.h"

namespace qds {

struct SymbolMap::Block {
  Block* previous;
  Node* nodes;
};

SymbolMap::SymbolMap(bool caseInsensitive, int32_t blockSize, const CommandTable* commands)
    : blockSize_(blockSize < 1 ? 1 : blockSize),
      caseInsensitive_(caseInsensitive),
      commands_(commands) {}

SymbolMap::~SymbolMap() { RemoveAll(); }

uint32_t SymbolMap::HashOf(std::u16string_view name) const {
  uint32_t hash = 0;
  for (char16_t c : name) {
    if (caseInsensitive_ && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    hash = hash * 33 + c;
  }
  return hash;
}

bool SymbolMap::NamesEqual(std::u16string_view a, std::u16string_view b) const {
  return caseInsensitive_ ? EqualsIgnoreAsciiCase(a, b) : a == b;
}

SymbolMap::Node** SymbolMap::FindLink(std::u16string_view name, uint32_t hash) const {
  if (buckets_ == nullptr) return nullptr;
  Node** link = &buckets_[hash % bucketCount_];
  while (*link != nullptr && ((*link)->hash != hash || !NamesEqual((*link)->name, name))) {
    link = &(*link)->next;
  }
  return *link != nullptr ? link : nullptr;
}

bool SymbolMap::Lookup(std::u16string_view name, std::u16string* value) const {
  const std::u16string* found = Find(name);
  if (found == nullptr) return false;
  *value = *found;
  return true;
}

const std::u16string* SymbolMap::Find(std::u16string_view name) const {
  Node** link = FindLink(name, HashOf(name));
  return link != nullptr ? &(*link)->value : nullptr;
}

bool SymbolMap::LookupUnsigned(std::u16string_view name, uint32_t* value) const {
  Node** link = FindLink(name, HashOf(name));
  if (link == nullptr) return false;
  std::u16string_view text = (*link)->value;
  NumberScan scan = ScanNumber(text, 10);
  if (scan.end != text.size()) {
    *value = 0;
  } else if (scan.overflow) {
    *value = std::numeric_limits<uint32_t>::max();
  } else {
    *value = scan.negative ? 0u - scan.magnitude : scan.magnitude;
  }
  return true;
}

namespace {

// The first prime at or above `n`: a prime modulus other than 3 and 11 shares
// no factor with the hash's multiplier 33, so every character of a name
// reaches the bucket index.
uint32_t PrimeAtLeast(uint32_t n) {
  for (;; ++n) {
    bool prime = n >= 2;
    for (uint32_t d = 2; prime && d <= n / d; ++d) prime = n % d != 0;
    if (prime) return n;
  }
}

}  // namespace

void SymbolMap::Grow() {
  uint32_t count = PrimeAtLeast(bucketCount_ * 2 + 1);
  Node** grown = new Node*[count]();
  for (uint32_t i = 0; i < bucketCount_; ++i) {
    while (Node* node = buckets_[i]) {
      buckets_[i] = node->next;
      Node** head = &grown[node->hash % count];
      node->next = *head;
      *head = node;
    }
  }
  delete[] buckets_;
  buckets_ = grown;
  bucketCount_ = count;
}

SymbolMap::Node* SymbolMap::TakeFreeNode() {
  if (freeList_ == nullptr) {
    Block* block = new Block{blocks_, new Node[blockSize_]};
    blocks_ = block;
    // Chained back to front so the nodes are handed out in their block order.
    for (int32_t i = blockSize_ - 1; i >= 0; --i) {
      block->nodes[i].next = freeList_;
      freeList_ = &block->nodes[i];
    }
  }
  Node* node = freeList_;
  freeList_ = node->next;
  return node;
}

void SymbolMap::KeepForUndo(std::u16string_view name, Node** link) {
  if (undo_ == nullptr) return;
  if (link == nullptr) {
    undo_->Keep(name, nullptr, nullptr);
  } else {
    undo_->Keep(name, &(*link)->name, &(*link)->value);
  }
}

void SymbolMap::Set(std::u16string_view name, std::u16string_view value) {
  const uint32_t hash = HashOf(name);
  Node** link = FindLink(name, hash);
  KeepForUndo(name, link);
  Node* node;
  if (link != nullptr) {
    node = *link;
  } else {
    if (buckets_ == nullptr) buckets_ = new Node*[bucketCount_]();
    if (count_ >= static_cast<int64_t>(bucketCount_) * kMaxLoad) Grow();
    node = TakeFreeNode();
    ++count_;
    node->hash = hash;
    node->name.assign(name);
    Node** head = &buckets_[hash % bucketCount_];
    node->next = *head;
    *head = node;
  }
  node->value.assign(value);
}

void SymbolMap::SetNumber(std::u16string_view name, int32_t number) {
  char16_t text[12];
  FormatWide(text, 12, u"%ld", {number});
  Set(name, text);
}

bool SymbolMap::Remove(std::u16string_view name) {
  Node** link = FindLink(name, HashOf(name));
  if (link == nullptr) return false;
  KeepForUndo(name, link);
  Node* node = *link;
  *link = node->next;
  // A free node keeps its strings' room for the next symbol it holds; an
  // emptied table releases it all (RemoveAll).
  node->name.clear();
  node->value.clear();
  node->next = freeList_;
  freeList_ = node;
  if (--count_ == 0) RemoveAll();
  return true;
}

void SymbolMap::RemoveAll() {
  delete[] buckets_;
  buckets_ = nullptr;
  bucketCount_ = kBucketCount;
  count_ = 0;
  freeList_ = nullptr;
  while (blocks_ != nullptr) {
    Block* previous = blocks_->previous;
    delete[] blocks_->nodes;
    delete blocks_;
    blocks_ = previous;
  }
}

void SymbolMap::ForEach(
    const std::function<void(std::u16string_view, std::u16string_view)>& visit) const {
  if (buckets_ == nullptr) return;
  for (uint32_t i = 0; i < bucketCount_; ++i) {
    for (const Node* node = buckets_[i]; node != nullptr; node = node->next) {
      visit(node->name, node->value);
    }
  }
}

}  // namespace qds
