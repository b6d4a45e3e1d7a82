#include "common/text_slice.h"

#include <cstring>

#include "common/block_pool.h"

namespace qds {

TextSlice& TextSlice::operator=(TextSlice&& other) noexcept {
  if (this != &other) {
    Release();
    units_ = other.units_;
    bits_ = other.bits_;
    other.units_ = nullptr;
    other.bits_ = 0;
  }
  return *this;
}

void TextSlice::Assign(std::u16string_view text) {
  if (text.empty()) return Release();
  // Copy first: the text may lie in the block about to be let go.
  auto* units = static_cast<char16_t*>(AllocateBlock(text.size() * sizeof(char16_t)));
  std::memcpy(units, text.data(), text.size() * sizeof(char16_t));
  Release();
  units_ = units;
  bits_ = (static_cast<uint64_t>(text.size()) << 1) | kOwned;
}

void TextSlice::Release() noexcept {
  if ((bits_ & kOwned) != 0) FreeBlock(const_cast<char16_t*>(units_), Length() * sizeof(char16_t));
  units_ = nullptr;
  bits_ = 0;
}

}  // namespace qds
