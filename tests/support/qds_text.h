// Helpers of the document file tests: files in both encodings, a compact
// text form of a loaded document, files signed through the stream's own
// digest, and that digest computed independently of the streams.

#ifndef KNITFOLD_TESTS_SUPPORT_QDS_TEXT_H_
#define KNITFOLD_TESTS_SUPPORT_QDS_TEXT_H_

#include <filesystem>
#include <string>
#include <string_view>

#include "model/document_model.h"
#include "qdsfile/file_flags.h"
#include "qdsfile/qds_format.h"

namespace qds::test {

enum class Encoding { Utf16, Ansi };

const char* EncodingName(Encoding encoding);

// The file bytes of ASCII `text`: as it stands for ANSI, widened after the
// byte-order mark for UTF-16.
std::string FileBytes(std::string_view text, Encoding encoding);

// Writes `bytes` to `path` and loads it into `document`, lines limited to
// `maxLine` units.
[[nodiscard]] LoadStatus LoadBytes(DocumentModel& document, const std::filesystem::path& path,
                                   std::string_view bytes, LoadFlags flags,
                                   InputFlags input = InputFlags::None,
                                   uint32_t maxLine = format::kMaxLineUnits);

// The sections and entries as UTF-8 text: "[name]key=value|key=value|[next]...",
// entries in their flat order. With `comments`, every stored comment is shown
// in braces before its section or entry, and the leading and trailing text
// as "<lead{...}>" and "<trail{...}>" where they are not empty.
std::string Dump(const DocumentModel& document, bool comments = false);

// Loads `bytes` with `loadFlags`, saves the document with `saveFlags`, and
// returns the bytes written (empty when the load or the save fails).
std::string RoundTrip(const std::filesystem::path& dir, std::string_view bytes, LoadFlags loadFlags,
                      SaveFlags saveFlags = SaveFlags::KeepComments);

// Writes `body` (file bytes ending in the end marker) through a stream that
// computes the digest, then the check line in the file's encoding, then
// `tail`. Returns the 32 digits.
std::u16string WriteSigned(const std::filesystem::path& path, std::string_view body,
                           Encoding encoding, std::string_view tail = {});

// The digest of `covered` as defined, in 32 uppercase hexadecimal digits:
// MD5 of the salt, the covered bytes and the zeros that complete the last
// 64-byte block.
std::string ExpectedDigest(std::string_view covered);

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_SUPPORT_QDS_TEXT_H_
