// Small text helpers shared by every subsystem: the fixed white-space set and
// the name comparison that folds only the ASCII letters.

#ifndef KNITFOLD_COMMON_TEXT_H_
#define KNITFOLD_COMMON_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qds {

// The one white-space set of the system, the same on every platform and
// independent of the process locale: U+0009-U+000D, U+0020, U+0085, U+00A0,
// U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
constexpr bool IsWhiteSpace(char16_t c) {
  // Most text is printable ASCII, which one range test rules out.
  if (c > 0x20 && c < 0x85) return false;
  if (c <= 0x00FF) return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0;
  return c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

constexpr char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

// Three-way comparison folding only A-Z onto a-z; every other unit compares
// by its value.
int CompareIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);

// Name lookups ask this of every candidate: names that meet are mostly
// spelled alike, so units are folded only where they differ.
inline bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  // Names of one list often share all but their last units (Key1, Key2):
  // those tell most names apart at once.
  if (!a.empty() && a.back() != b.back() && FoldAscii(a.back()) != FoldAscii(b.back()))
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// Length of a zero-terminated text.
size_t TextLength(const char16_t* text);

}  // namespace qds

#endif  // KNITFOLD_COMMON_TEXT_H_
