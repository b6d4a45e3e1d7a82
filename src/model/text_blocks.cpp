#include "model/text_blocks.h"

#include <cstring>
#include <new>

#include "platform/descriptors.h"
#include "platform/memory.h"

namespace qds {

TextBlocks::~TextBlocks() {
  for (const Block& block : blocks_) Free(block);
}

void TextBlocks::Free(const Block& block) {
  if (block.mapped) {
    platform::UnmapFile(block.base, block.bytes);
  } else {
    platform::FreePages(const_cast<void*>(block.base), block.bytes);
  }
}

char16_t* TextBlocks::Reserve(size_t units) {
  blocks_.reserve(blocks_.size() + 1);  // so that the push below cannot throw
  // Whole pages, large ones where the block is large enough: a block is
  // filled once, and touching fresh memory a small page at a time costs
  // more than filling it.
  size_t bytes = units * sizeof(char16_t);
  void* block = platform::AllocatePages(bytes);
  if (block == nullptr) throw std::bad_alloc();
  blocks_.push_back({block, bytes, false});
  return static_cast<char16_t*>(block);
}

char16_t* TextBlocks::Renew(const char16_t* spent, const char16_t* text, size_t kept,
                            size_t units) {
  char16_t* block = Reserve(units);
  if (kept > 0) std::memcpy(block, text, kept * sizeof(char16_t));
  if (spent != nullptr) Drop(spent);
  return block;
}

void TextBlocks::Drop(const char16_t* base) {
  for (size_t i = blocks_.size(); i-- > 0;) {
    if (blocks_[i].base != base) continue;
    Free(blocks_[i]);
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

void TextBlocks::AdoptMapping(const void* mapping, size_t bytes) {
  try {
    blocks_.push_back({mapping, bytes, true});
  } catch (...) {
    platform::UnmapFile(mapping, bytes);
    throw;
  }
}

void TextBlocks::TakeOver(TextBlocks* other) {
  blocks_.insert(blocks_.end(), other->blocks_.begin(), other->blocks_.end());
  other->blocks_.clear();
}

const void* TextBlocks::FirstMapping() const {
  for (const Block& block : blocks_) {
    if (block.mapped) return block.base;
  }
  return nullptr;
}

const void* TextBlocks::CutMapping() const {
  for (const Block& block : blocks_) {
    if (block.mapped && platform::MappingCut(block.base)) return block.base;
  }
  return nullptr;
}

}  // namespace qds
