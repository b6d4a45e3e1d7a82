// FieldListScanner: cuts a symbol's value into the fields of the "split"
// command.
//
// A field list is a run of fields parted by one separator character. A field
// is written bare or in double or single quotes:
// - bare fields lose the white space around them and keep the white space
//   inside them; quote characters inside a bare field are ordinary text;
// - quoted fields keep everything between their quotes, separators and white
//   space included, and a doubled quote of their own kind stands for one;
//   after the closing quote only white space may come before the separator or
//   the end.
// An empty value is one empty field, and a value that ends with a separator
// ends with an empty field. With no separator at all, the whole value is one
// field under the same rules.
//
// White space here is tab, line feed, vertical tab, form feed, carriage return
// and blank, and the units above U+00FF of the system's white-space set.
//
// Scanning is one pass, linear in the length of the value. The scanner owns
// the field texts; Field() views stay valid until the next Scan().

#ifndef KNITFOLD_EXPANSION_FIELD_LIST_SCANNER_H_
#define KNITFOLD_EXPANSION_FIELD_LIST_SCANNER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qds {

// True for the white space of field lists (see above).
bool IsFieldSpace(char16_t c);

class FieldListScanner {
 public:
  // Scans `value`. False when it is not a valid field list: a quote left open,
  // or something other than white space, the separator or the same quote
  // doubled after a closing quote. After a failure the scanner holds no
  // fields.
  [[nodiscard]] bool Scan(std::u16string_view value, std::optional<char16_t> separator);

  size_t Count() const { return fields_.size(); }
  // Field `index`, 0-based; index < Count().
  std::u16string_view Field(size_t index) const {
    return std::u16string_view(text_).substr(fields_[index].start, fields_[index].length);
  }

 private:
  struct Span {
    size_t start;
    size_t length;
  };

  // All field texts, one after the other; a field never holds more units than
  // the value it came from, so the buffer is sized once per scan.
  std::u16string text_;
  std::vector<Span> fields_;
};

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_FIELD_LIST_SCANNER_H_
