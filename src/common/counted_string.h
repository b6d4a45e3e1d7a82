// CountedString: the text type of the whole library.
//
// A counted sequence of UTF-16 code units that always ends in a terminating
// zero. Copies share one heap buffer through a reference count and a change
// first gives the string a private buffer (copy-on-write).
//
// All empty strings share one static representation whose count is -1: it is
// never released and never shared. A negative count in general means "do not
// share": a copy of such a string is made from its characters. A buffer handed
// out by GetBuffer() carries that negative count until ReleaseBuffer(), so no
// copy can alias text that the caller is still writing.

#ifndef KNITFOLD_COMMON_COUNTED_STRING_H_
#define KNITFOLD_COMMON_COUNTED_STRING_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qds {

class CountedString {
 public:
  CountedString() noexcept;
  CountedString(const char16_t* text);  // NOLINT: converts like a string literal
  CountedString(const char16_t* text, size_t length);
  explicit CountedString(std::u16string_view text);
  CountedString(const CountedString& other);
  CountedString(CountedString&& other) noexcept;
  CountedString& operator=(const CountedString& other);
  CountedString& operator=(CountedString&& other) noexcept;
  ~CountedString();

  size_t Length() const { return rep_->length; }
  bool Empty() const { return rep_->length == 0; }
  // Always terminated; valid until the next change of this string.
  const char16_t* Data() const { return Units(rep_); }
  std::u16string_view View() const { return {Data(), rep_->length}; }
  char16_t operator[](size_t index) const { return Data()[index]; }

  void Assign(std::u16string_view text);
  void Append(std::u16string_view text);
  void Append(char16_t unit);
  void Clear();

  // Hands out a private buffer with room for `capacity` units plus the
  // terminating zero, holding the current text. The string is not shared while
  // the buffer is out; ReleaseBuffer() then takes the length from the first
  // zero unit (at most `capacity`).
  char16_t* GetBuffer(size_t capacity);
  void ReleaseBuffer();

  friend bool operator==(const CountedString& a, const CountedString& b) {
    return a.View() == b.View();
  }
  friend bool operator==(const CountedString& a, std::u16string_view b) { return a.View() == b; }
  friend bool operator==(const CountedString& a, const char16_t* b) {
    return a.View() == std::u16string_view(b);
  }

 private:
  // The header of a text buffer; the units and their terminating zero follow
  // it in the same allocation.
  struct Rep {
    int32_t refs;
    size_t length;
    size_t capacity;  // units, not counting the terminating zero
  };

  // The empty representation and its terminating zero, constant-initialized
  // so that it is in place before any string, also a static one, exists.
  struct EmptyStorage {
    Rep rep;
    char16_t zero;
  };
  static EmptyStorage empty_;

  static char16_t* Units(Rep* rep) { return reinterpret_cast<char16_t*>(rep + 1); }
  static size_t RepBytes(size_t capacity) { return sizeof(Rep) + (capacity + 1) * sizeof(char16_t); }
  static Rep* Allocate(size_t capacity);
  static Rep* EmptyRep() { return &empty_.rep; }
  // Makes the buffer private and able to hold `capacity` units.
  void Reserve(size_t capacity);
  void Release() noexcept;

  Rep* rep_;
};

}  // namespace qds

#endif  // KNITFOLD_COMMON_COUNTED_STRING_H_
