// The platform's text services: its case-insensitive comparison, its
// character step, and the conversion of ANSI code pages to UTF-16.

#ifndef KNITFOLD_PLATFORM_TEXT_SERVICES_H_
#define KNITFOLD_PLATFORM_TEXT_SERVICES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qds::platform {

// Case-insensitive comparison of two terminated texts (A-Z folded; on
// Windows the system's comparison, which folds every letter): <0, 0, >0.
int CompareNoCase(const char16_t* a, const char16_t* b);
// The position of the character after `p`; `p` itself at the terminating zero.
// (Windows' step may take a surrogate pair in two steps.)
const char16_t* NextChar(const char16_t* p);
// The system's ANSI code page (1252 on POSIX).
uint32_t AnsiCodePage();
// Whether this system converts text of `codePage` (AnsiToWide).
bool IsKnownCodePage(uint32_t codePage);
// Converts `count` bytes of `codePage` text into at most `capacity` units.
// Returns the units written; 0 when the code page is unknown or the output
// does not fit. Bytes that cannot be converted become U+FFFD (on Windows,
// the code page's own default character where it has one).
size_t AnsiToWide(uint32_t codePage, const char* bytes, size_t count, char16_t* out,
                  size_t capacity);
// The number of bytes at the end of `bytes` that begin a character of
// `codePage` without completing it: 0 for a single-byte code page, and when
// the last character is whole. A reader that converts a text block by block
// carries them into the next block, so that no character is cut in two.
size_t CutCharacterBytes(uint32_t codePage, const char* bytes, size_t count);
// The number of bytes that `text` takes in `codePage` (the inverse measure of
// AnsiToWide, for counting file bytes behind converted text).
size_t WideToAnsiLength(uint32_t codePage, std::u16string_view text);
// Appends `text` in `codePage` to *out, each character as the code page
// holds it, never an approximation. Returns the position of the first
// character that the code page cannot hold (then *out holds a part), or
// npos when every one was converted.
size_t WideToAnsi(uint32_t codePage, std::u16string_view text, std::string* out);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_TEXT_SERVICES_H_
