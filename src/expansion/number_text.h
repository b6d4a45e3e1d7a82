// Reading numbers from texts the way the C library's strtol family does,
// with the fixed white-space set of common/text.h and ASCII digits only.

#ifndef KNITFOLD_EXPANSION_NUMBER_TEXT_H_
#define KNITFOLD_EXPANSION_NUMBER_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qds {

// What ScanNumber read from the front of a text.
struct NumberScan {
  uint32_t magnitude = 0;  // the digits' value; meaningless when `overflow`
  bool negative = false;   // a minus sign stood before the digits
  bool overflow = false;   // the digits' value exceeds 4294967295
  // The index of the first character not taken: after the last digit, or 0
  // when no digits were found (then magnitude is 0).
  size_t end = 0;
};

// Skips leading white space, takes an optional sign and then digits. Base 10
// reads decimal; base 0 chooses as strtol does: "0x"/"0X" then hexadecimal, a
// leading "0" octal, else decimal ("0x" without a hex digit reads the 0).
NumberScan ScanNumber(std::u16string_view text, int base);

// An operand or argument read as a signed 32-bit integer in automatic base:
// true only when the text is not empty, the whole text is used, and the value
// lies in the signed 32-bit range. *value is left alone when false.
bool ParseInteger(std::u16string_view text, int32_t* value);

// The same for an unsigned 32-bit number: a minus sign negates it modulo
// 2^32, and the digits' value must not exceed 4294967295.
bool ParseUnsigned(std::u16string_view text, uint32_t* value);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_NUMBER_TEXT_H_
