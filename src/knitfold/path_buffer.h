// PathBuffer: a path built in a fixed buffer of 260 UTF-16 units, the
// platform's path limit. Every change is checked: text that would not fit
// with its terminating zero is refused, so nothing is ever written past the
// buffer and the caller learns that the path is too long.

#ifndef KNITFOLD_KNITFOLD_PATH_BUFFER_H_
#define KNITFOLD_KNITFOLD_PATH_BUFFER_H_

#include <cstddef>
#include <string_view>

namespace qds {

class PathBuffer {
 public:
  static constexpr size_t kCapacity = 260;

  PathBuffer() { units_[0] = 0; }

  // Replaces the text from `position` on with `text`; false (and no change)
  // when the result would not fit.
  [[nodiscard]] bool ReplaceFrom(size_t position, std::u16string_view text);
  [[nodiscard]] bool Assign(std::u16string_view text) { return ReplaceFrom(0, text); }
  [[nodiscard]] bool Append(std::u16string_view text) { return ReplaceFrom(length_, text); }

  const char16_t* c_str() const { return units_; }
  char16_t* data() { return units_; }
  size_t length() const { return length_; }
  std::u16string_view view() const { return {units_, length_}; }

 private:
  char16_t units_[kCapacity];
  size_t length_ = 0;
};

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_PATH_BUFFER_H_
