// Texts in and out of the library. Every name and value goes in as a TextRef,
// which takes UTF-8 and UTF-16 alike; texts come out as std::string (UTF-8)
// from the functions without a suffix and as std::u16string (UTF-16) from
// those whose names end in 16.
//
// Inside, a document holds UTF-16. The conversions are lossless both ways:
// bytes that are not valid UTF-8 become the units U+DC80..U+DCFF and go back
// out as the same bytes, and a lone surrogate of UTF-16 goes out as three
// bytes in the manner of UTF-8, so any text, and any file name of the
// system, survives the trip.

#ifndef KNITFOLD_QDS_TEXT_H_
#define KNITFOLD_QDS_TEXT_H_

#include <qds/export.h>
#include <qds/status.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qds {

// A text given as UTF-8 or UTF-16. It refers to the caller's characters and
// owns nothing: it lives for the call it is passed to.
class TextRef {
 public:
  TextRef(std::string_view utf8) : utf8_(utf8) {}
  TextRef(std::u16string_view utf16) : utf16_(utf16), isUtf16_(true) {}
  TextRef(const char* utf8) : TextRef(std::string_view(utf8)) {}
  TextRef(const char16_t* utf16) : TextRef(std::u16string_view(utf16)) {}
  TextRef(const std::string& utf8) : TextRef(std::string_view(utf8)) {}
  TextRef(const std::u16string& utf16) : TextRef(std::u16string_view(utf16)) {}

  // Which form the text was given in.
  bool IsUtf16() const { return isUtf16_; }
  // The text as given: Utf8() when !IsUtf16(), else Utf16().
  std::string_view Utf8() const { return utf8_; }
  std::u16string_view Utf16() const { return utf16_; }

 private:
  std::string_view utf8_;
  std::u16string_view utf16_;
  bool isUtf16_ = false;
};

// The UTF-16 of `utf8`; bytes that are not valid UTF-8 become U+DC80..U+DCFF.
QDS_API std::u16string ToUtf16(std::string_view utf8);
// The UTF-8 of `utf16`, the inverse of ToUtf16.
QDS_API std::string ToUtf8(std::u16string_view utf16);

// The path of a file name held in UTF-16, such as a command-line argument:
// the units as they are where the system's names are UTF-16 (Windows);
// elsewhere their UTF-8 as ToUtf8 makes it, so that a name that ToUtf16
// decoded from any bytes names the same file again.
QDS_API std::filesystem::path PathFromUtf16(std::u16string_view name);

// Reads the whole of `file` into *bytes (appended). Returns a LoadStatus
// as QdsDocument::Load does: 0; 1, 2, 3 (open) or 4 (read, a folder
// included) with the system's error.
QDS_API Status ReadFile(const std::filesystem::path& file, std::string* bytes);

// The text of a QDS file's bytes as UTF-8, decoded as loading decodes it:
// UTF-16 after the byte-order mark FF FE (the mark dropped), any other
// bytes in `codePage`, whole, so that no character is cut; bytes that the
// code page cannot convert become U+FFFD. Line ends stay as they are.
// Returns 0, or LibraryStatus::UnknownCodePage with *utf8 unchanged.
QDS_API Status DecodeFileText(std::string_view bytes, uint32_t codePage, std::string* utf8);

}  // namespace qds

#endif  // KNITFOLD_QDS_TEXT_H_
