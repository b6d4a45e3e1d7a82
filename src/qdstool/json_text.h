// JSON strings for qdstool's machine-readable output.
//
// The output is pure ASCII: the quotation mark, the backslash and every
// UTF-16 code unit outside U+0020..U+007E are written as \uXXXX (four
// uppercase hexadecimal digits) of the unit itself, so that any text, a lone
// surrogate included, comes back exactly from a JSON reader.

#ifndef KNITFOLD_QDSTOOL_JSON_TEXT_H_
#define KNITFOLD_QDSTOOL_JSON_TEXT_H_

#include <string>
#include <string_view>

namespace qds::tool {

// Appends `text` as a JSON string, quotation marks included.
void AppendJsonString(std::string* out, std::u16string_view text);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_JSON_TEXT_H_
