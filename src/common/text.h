// Small text helpers shared by every subsystem: the fixed white-space set,
// the name comparison that folds only the ASCII letters, and the character
// that a surrogate pair makes.

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

// The character that starts at text[at]: the code point of a surrogate pair
// (above U+FFFF, two units), or the unit itself, a lone surrogate included.
constexpr char32_t CharacterAt(std::u16string_view text, size_t at) {
  const char32_t unit = text[at];
  if (unit < 0xD800 || unit > 0xDBFF || at + 1 >= text.size()) return unit;
  const char32_t next = text[at + 1];
  if (next < 0xDC00 || next > 0xDFFF) return unit;
  return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
}

// Length of a zero-terminated text.
size_t TextLength(const char16_t* text);

}  // namespace qds

#endif  // KNITFOLD_COMMON_TEXT_H_
