#include "document/text_conversions.h"

#include "common/utf8.h"

namespace qds {

namespace {

// The native name of a path in UTF-16: a file system whose names are wide
// (Char of two bytes) holds UTF-16 already, a narrow one holds UTF-8. The
// branches depend on Char, so the one not taken is never compiled.
template <typename Char>
std::u16string WideFromNative(const std::basic_string<Char>& native) {
  if constexpr (sizeof(Char) == sizeof(char16_t)) {
    return std::u16string(native.begin(), native.end());
  } else {
    return DecodeUtf8(native);
  }
}

template <typename Char>
std::basic_string<Char> NativeFromWide(std::u16string_view name) {
  if constexpr (sizeof(Char) == sizeof(char16_t)) {
    return std::basic_string<Char>(name.begin(), name.end());
  } else {
    return EncodeUtf8(name);
  }
}

}  // namespace

std::u16string ToUtf16(std::string_view utf8) { return DecodeUtf8(utf8); }

std::string ToUtf8(std::u16string_view utf16) { return EncodeUtf8(utf16); }

std::u16string Wide(TextRef text) {
  return text.IsUtf16() ? std::u16string(text.Utf16()) : DecodeUtf8(text.Utf8());
}

bool IsValidText(TextRef text) { return text.IsUtf16() || IsValidUtf8(text.Utf8()); }

std::u16string WidePathName(const std::filesystem::path& path) {
  return WideFromNative(path.native());
}

std::filesystem::path PathFromUtf16(std::u16string_view name) {
  return NativeFromWide<std::filesystem::path::value_type>(name);
}

}  // namespace qds
