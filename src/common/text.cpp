#include "common/text.h"

#include <algorithm>

namespace qds {

int CompareIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  size_t shared = std::min(a.size(), b.size());
  for (size_t i = 0; i < shared; ++i) {
    char16_t x = FoldAscii(a[i]);
    char16_t y = FoldAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

size_t TextLength(const char16_t* text) { return std::char_traits<char16_t>::length(text); }

}  // namespace qds
