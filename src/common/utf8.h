// Lossless conversion between the UTF-8 of the outside world (command lines,
// file names, console text) and the UTF-16 used inside.
//
// Bytes that are not valid UTF-8 decode to U+DC80..U+DCFF and encode back to
// the same bytes, so every byte string, and therefore every Linux file name,
// survives a round trip. Other unpaired surrogates encode as three-byte
// sequences in the manner of UTF-8 (they cannot come from decoding).

#ifndef KNITFOLD_COMMON_UTF8_H_
#define KNITFOLD_COMMON_UTF8_H_

#include <string>
#include <string_view>

namespace qds {

std::u16string DecodeUtf8(std::string_view bytes);
std::string EncodeUtf8(std::u16string_view text);
// Whether `bytes` are valid UTF-8 throughout (no overlong forms, surrogates
// or values above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace qds

#endif  // KNITFOLD_COMMON_UTF8_H_
