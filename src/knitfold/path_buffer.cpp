#include "knitfold/path_buffer.h"

#include <algorithm>

namespace qds {

bool PathBuffer::ReplaceFrom(size_t position, std::u16string_view text) {
  if (position > length_ || position + text.size() >= kCapacity) return false;
  std::copy(text.begin(), text.end(), units_ + position);
  length_ = position + text.size();
  units_[length_] = 0;
  return true;
}

}  // namespace qds
