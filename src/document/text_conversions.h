// The texts of the public interface as the library holds them: a TextRef or
// a file path in UTF-16, and back.

#ifndef KNITFOLD_DOCUMENT_TEXT_CONVERSIONS_H_
#define KNITFOLD_DOCUMENT_TEXT_CONVERSIONS_H_

#include <qds/text.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace qds {

// The UTF-16 of `text` (UTF-8 decoded losslessly).
std::u16string Wide(TextRef text);
// Whether `text` is valid: UTF-16 always is, UTF-8 when its bytes are.
bool IsValidText(TextRef text);
// A path's UTF-16 name: the system's own characters on Windows; elsewhere
// its bytes, decoded losslessly, so that any file name works (PathFromUtf16
// goes back).
std::u16string WidePathName(const std::filesystem::path& path);

}  // namespace qds

#endif  // KNITFOLD_DOCUMENT_TEXT_CONVERSIONS_H_
