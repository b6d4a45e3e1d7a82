#include "document/text_conversions.h"

#include <type_traits>

#include "common/utf8.h"

namespace qds {

// A file system whose paths are wide holds UTF-16 already.
constexpr bool kWidePaths = !std::is_same_v<std::filesystem::path::value_type, char>;

std::u16string ToUtf16(std::string_view utf8) { return DecodeUtf8(utf8); }

std::string ToUtf8(std::u16string_view utf16) { return EncodeUtf8(utf16); }

std::u16string Wide(TextRef text) {
  return text.IsUtf16() ? std::u16string(text.Utf16()) : DecodeUtf8(text.Utf8());
}

bool IsValidText(TextRef text) { return text.IsUtf16() || IsValidUtf8(text.Utf8()); }

std::u16string WidePathName(const std::filesystem::path& path) {
  if constexpr (kWidePaths) {
    return std::u16string(path.native().begin(), path.native().end());
  } else {
    return DecodeUtf8(path.native());
  }
}

std::filesystem::path PathFromWide(std::u16string_view name) {
  if constexpr (kWidePaths) {
    return std::filesystem::path::string_type(name.begin(), name.end());
  } else {
    return std::filesystem::path::string_type(EncodeUtf8(name));
  }
}

}  // namespace qds
