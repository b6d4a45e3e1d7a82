// TextSlice: the text of a document's names, values and comments.
//
// A counted run of UTF-16 units, not terminated. A slice either borrows its
// units from memory that outlives it (the text a document was loaded from,
// which the document keeps for its whole life) or owns a copy in a block of
// its own, as text that a caller hands in does. Loading thus copies no
// text, and a change copies only the text it brings.
//
// Slices move but do not copy: a second slice of the same units is made
// with Borrow (the units outlive both) or Part, or by copying the text.

#ifndef KNITFOLD_COMMON_TEXT_SLICE_H_
#define KNITFOLD_COMMON_TEXT_SLICE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qds {

class TextSlice {
 public:
  TextSlice() noexcept = default;
  // Owns a copy of `text`.
  explicit TextSlice(std::u16string_view text) { Assign(text); }
  // Owns a copy of `text`; a null text is empty.
  explicit TextSlice(const char16_t* text)
      : TextSlice(text != nullptr ? std::u16string_view(text) : std::u16string_view()) {}
  TextSlice(const TextSlice&) = delete;
  TextSlice& operator=(const TextSlice&) = delete;
  TextSlice(TextSlice&& other) noexcept : units_(other.units_), bits_(other.bits_) {
    other.units_ = nullptr;
    other.bits_ = 0;
  }
  TextSlice& operator=(TextSlice&& other) noexcept;
  ~TextSlice() { Release(); }

  // Refers to `text` without copying it: its units must outlive the slice.
  static TextSlice Borrow(std::u16string_view text) {
    TextSlice slice;
    slice.units_ = text.data();
    slice.bits_ = static_cast<uint64_t>(text.size()) << 1;
    return slice;
  }
  // A slice of `part`, which lies within `whole`: borrowed when `whole` is,
  // else a copy.
  static TextSlice Part(const TextSlice& whole, std::u16string_view part) {
    return whole.IsBorrowed() ? Borrow(part) : TextSlice(part);
  }

  size_t Length() const { return static_cast<size_t>(bits_ >> 1); }
  bool Empty() const { return Length() == 0; }
  std::u16string_view View() const { return {units_, Length()}; }
  char16_t operator[](size_t index) const { return units_[index]; }
  // Where the units lie (null when empty): for asking for memory ahead.
  const char16_t* Units() const { return units_; }
  bool IsBorrowed() const { return (bits_ & kOwned) == 0; }

  // Replaces the text by a copy of `text`, which may lie in this slice.
  void Assign(std::u16string_view text);
  void Clear() { Release(); }

  friend bool operator==(const TextSlice& a, std::u16string_view b) { return a.View() == b; }
  friend bool operator==(const TextSlice& a, const char16_t* b) {
    return a.View() == std::u16string_view(b);
  }

 private:
  static constexpr uint64_t kOwned = 1;

  void Release() noexcept;

  const char16_t* units_ = nullptr;
  uint64_t bits_ = 0;  // the length, shifted left once; the low bit: owned
};

}  // namespace qds

#endif  // KNITFOLD_COMMON_TEXT_SLICE_H_
