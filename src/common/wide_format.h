// Wide printf: the subset of conversions the system uses, for UTF-16 text,
// into a bounded buffer.
//
// Conversions: %d and %ld (signed 32-bit), %u (unsigned 32-bit), %s (a
// terminated UTF-16 text; a null pointer prints as "(null)"), %c (one UTF-16
// unit), %X, and a zero-padded width as in %02X; %% prints one percent sign.
// A conversion without a matching argument prints nothing. Arguments are
// typed, so a wrong type cannot read past the argument list.

#ifndef KNITFOLD_COMMON_WIDE_FORMAT_H_
#define KNITFOLD_COMMON_WIDE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace qds {

class FormatArg {
 public:
  enum class Kind { Integer, Text, Unit };

  FormatArg(int32_t value) : kind_(Kind::Integer), integer_(value) {}    // NOLINT
  FormatArg(uint32_t value) : kind_(Kind::Integer), integer_(value) {}   // NOLINT
  FormatArg(const char16_t* value) : kind_(Kind::Text), text_(value) {}  // NOLINT
  FormatArg(char16_t value) : kind_(Kind::Unit), integer_(value) {}      // NOLINT

  Kind kind() const { return kind_; }
  int64_t integer() const { return integer_; }
  const char16_t* text() const { return text_; }

 private:
  Kind kind_;
  int64_t integer_ = 0;
  const char16_t* text_ = nullptr;
};

// Formats into `out`, writing at most capacity - 1 units and a terminating
// zero (nothing when capacity is 0). Returns the length of the whole
// formatted text, without the zero, so that a result of capacity or more
// tells that it was cut and how much room it needs.
size_t FormatWide(char16_t* out, size_t capacity, const char16_t* format,
                  std::initializer_list<FormatArg> args);

}  // namespace qds

#endif  // KNITFOLD_COMMON_WIDE_FORMAT_H_
