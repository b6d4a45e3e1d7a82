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
//
// A slice may carry a second text, its note, which moves with it. A
// document's values keep their comments there: few values have one, and a
// field of their own would cost every value a word. The note of an indented
// line is its indentation, which many files give every line: a short run of
// spaces or of tabs is kept in the slice's word, not in a record.

#ifndef KNITFOLD_MODEL_TEXT_SLICE_H_
#define KNITFOLD_MODEL_TEXT_SLICE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

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
  TextSlice(TextSlice&& other) noexcept : word_(other.word_) { other.word_ = 0; }
  TextSlice& operator=(TextSlice&& other) noexcept;
  ~TextSlice() { Release(); }

  // Refers to `text` without copying it: its units must outlive the slice.
  // Only a text of more than 32767 units needs memory of its own (a small
  // record; running out of memory throws std::bad_alloc).
  static TextSlice Borrow(std::u16string_view text) {
    TextSlice slice;
    slice.Set(text.data(), text.size(), false);
    return slice;
  }
  // Refers to `text`, with `note` as its note, without copying either: as
  // Borrow(text) given the note, with the record that holds the note made
  // once, and none for a text of up to 511 units whose note is a run of up
  // to 16 spaces or tabs.
  static TextSlice Borrow(std::u16string_view text, std::u16string_view note) {
    if (note.empty()) return Borrow(text);
    TextSlice slice;
    slice.SetWithNote(text, note);
    return slice;
  }
  // A slice of `part`, which lies within `whole`: borrowed when `whole` is,
  // else a copy.
  static TextSlice Part(const TextSlice& whole, std::u16string_view part) {
    return whole.IsBorrowed() ? Borrow(part) : TextSlice(part);
  }

  std::u16string_view View() const {
    if ((word_ & kOutOfLine) != 0) return OutOfLineView();
    return {reinterpret_cast<const char16_t*>(word_ & kAddressMask),
            static_cast<size_t>((word_ >> kLengthShift) & kInlineLengthMask)};
  }
  size_t Length() const { return View().size(); }
  bool Empty() const { return (word_ & kOutOfLine) != 0 ? OutOfLineView().empty() : word_ == 0; }
  char16_t operator[](size_t index) const { return View()[index]; }
  // Where the units lie (null when empty): for asking for memory ahead.
  const char16_t* Units() const { return View().data(); }
  bool IsBorrowed() const;

  // Replaces the text by a copy of `text`, which may lie in this slice; the
  // note stays.
  void Assign(std::u16string_view text);
  // Lets go of the text and the note.
  void Clear() { Release(); }

  // The note (empty: none).
  std::u16string_view Note() const {
    return (word_ & kOutOfLine) != 0 ? OutOfLineNote() : std::u16string_view();
  }
  // Replaces the note by `note`.
  void SetNote(TextSlice note) {
    if (!note.Empty() || !Note().empty()) *MutableNote() = std::move(note);
  }
  // Hands the note over, leaving none.
  TextSlice TakeNote();
  // The note, to change in place: a slice without a note gets room for one.
  TextSlice* MutableNote();

  friend bool operator==(const TextSlice& a, std::u16string_view b) { return a.View() == b; }
  friend bool operator==(const TextSlice& a, const char16_t* b) {
    return a.View() == std::u16string_view(b);
  }

 private:
  // Names, values and comments are most of a document's nodes, so a slice
  // is one word. Inline: the address of the units in the low 48 bits (every
  // address of a process on the systems this runs on), the length in the 15
  // bits above, and whether the units are owned in the top bit. A longer
  // text, or one whose address does not fit, is kept out of line: the word
  // holds the address of a LongText record (with its lowest bit set, which
  // no address of units or records has: both are aligned to 2 or more), and
  // the slice owns the record. A text with a note is a Noted record of two
  // slices, the text and the note (the word's second bit set too, which no
  // record's address has: they are aligned to 8), except indentation: a
  // word with its lowest and its top bit set (which no record's address
  // has) holds a borrowed text of up to 511 units and the run of spaces or
  // tabs of its note (see text_slice.cpp). Such words take the out-of-line
  // way, so that the inline one stays as short.
  struct LongText;
  struct Noted;
  static constexpr uint64_t kOutOfLine = 1;
  static constexpr uint64_t kNoted = 2;
  static constexpr int kLengthShift = 48;
  static constexpr uint64_t kAddressMask = (uint64_t{1} << kLengthShift) - 1;
  static constexpr uint64_t kInlineLengthMask = 0x7FFF;
  static constexpr uint64_t kOwned = uint64_t{1} << 63;

  // Takes `units` as its text (owned: a block of AllocateBlock), the slice
  // being empty.
  void Set(const char16_t* units, size_t length, bool owned) {
    auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(units));
    if (length == 0) return;
    if (length > kInlineLengthMask || address > kAddressMask) {
      return SetOutOfLine(units, length, owned);
    }
    word_ = address | (static_cast<uint64_t>(length) << kLengthShift) | (owned ? kOwned : 0);
  }
  void SetOutOfLine(const char16_t* units, size_t length, bool owned);
  // A block of `bytes` for a record, at an address that a word can hold.
  static void* AllocateRecord(size_t bytes);
  // A Noted record, both slices empty, that no slice owns yet.
  static Noted* NewNoted();
  // Borrows `text` and `note` (not empty), the slice being empty.
  void SetWithNote(std::u16string_view text, std::u16string_view note);
  bool Indented() const { return (word_ & (kOutOfLine | kOwned)) == (kOutOfLine | kOwned); }
  bool IsNoted() const { return (word_ & (kOutOfLine | kNoted | kOwned)) == (kOutOfLine | kNoted); }
  // The record of a slice kept out of line, neither Indented() nor IsNoted().
  LongText* Long() const;
  // The record of a slice that IsNoted().
  Noted* NotedRecord() const;
  std::u16string_view OutOfLineView() const;
  std::u16string_view OutOfLineNote() const;
  // A borrowed inline text has nothing to let go.
  void Release() noexcept {
    if ((word_ & (kOwned | kOutOfLine)) != 0) Free();
    word_ = 0;
  }
  void Free() noexcept;

  uint64_t word_ = 0;  // 0: the empty text
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_TEXT_SLICE_H_
