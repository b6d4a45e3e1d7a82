// Loads arbitrary bytes (UTF-16 when they open with FF FE, ANSI otherwise)
// with every combination of the load flags, and checks the round trip of
// what loads with KeepComments: saved with KeepComments (with and without a
// digest) and loaded again, a document comes back with the same sections,
// keys, values and comments, except for what the format itself changes:
//   - a section without a comment gets the blank line that the writer puts
//     between sections, and a version-1 document one after its version line;
//   - a value loses the U+001A units at its start, and the white space after
//     them, which the reader skips right after the "=";
//   - a digest adds a blank line before the end marker, and after a text
//     that ended in a lone CR its marker line makes that CR an error.
// Documents the writer cannot give back as they are (a section with an empty
// name has no header line; a version line pushed beyond the first block is
// not read) are not compared.

#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "fuzz_support.h"
#include "model/document_model.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace qds::fuzz {
namespace {

struct SectionView {
  std::u16string name, comment;
  std::vector<std::u16string> entries;  // key, value, comment, key, ...
  bool operator==(const SectionView&) const = default;
};

struct DocumentView {
  int32_t version = 0;
  std::u16string leadingText, trailingText;
  std::vector<SectionView> sections;
  bool operator==(const DocumentView&) const = default;
};

// A value as the reader takes it back (see above).
std::u16string ReadBack(std::u16string_view value) {
  if (value == kBareKeyValue) return std::u16string(value);
  size_t start = value.find_first_not_of(format::kIgnoredUnit);
  while (start < value.size() && IsWhiteSpace(value[start])) ++start;
  return std::u16string(start < value.size() ? value.substr(start) : u"");
}

DocumentView ViewOf(const DocumentModel& document, bool readBack) {
  DocumentView view{document.version,
                    std::u16string(document.leadingText.View()),
                    std::u16string(document.trailingText.View()),
                    {}};
  for (const QdsSection* section = document.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    SectionView& s = view.sections.emplace_back(SectionView{
        std::u16string(section->name.View()), std::u16string(section->comment.View()), {}});
    for (const QdsKey* key = section->keys.head(); key != nullptr;
         key = NodeList<QdsKey>::Next(key)) {
      for (const QdsValue* value = key->values.head(); value != nullptr;
           value = ValueList::Next(value)) {
        std::u16string text(value->name.View());
        s.entries.insert(s.entries.end(),
                         {std::u16string(key->name.View()), readBack ? ReadBack(text) : text,
                          std::u16string(value->Comment())});
      }
    }
  }
  return view;
}

void CheckRoundTrip(DocumentModel& first, LoadFlags flags, bool digest) {
  static const std::u16string path = DecodeUtf8(ScratchFolder() + "saved.qds");
  const SaveFlags saveFlags =
      SaveFlags::KeepComments | (digest ? SaveFlags::Digest : SaveFlags::None);
  Check(SaveDocument(&first, path.c_str(), saveFlags) == SaveStatus::Ok, "a loaded document saves");
  DocumentView expected = ViewOf(first, true);
  DocumentModel again;
  const LoadFlags reload = (flags & LoadFlags::Lenient) | LoadFlags::KeepComments |
                           (digest ? LoadFlags::Digest : LoadFlags::None);
  LoadStatus status = LoadDocument(&again, path.c_str(), reload);
  // The reader skips U+001A, also after a lone CR at the end of the text.
  size_t last = expected.trailingText.find_last_not_of(format::kIgnoredUnit);
  if (digest && last != std::u16string::npos && expected.trailingText[last] == u'\r') {
    Check(status == LoadStatus::SyntaxError, "a lone CR before the end marker is an error");
    return;
  }
  for (const SectionView& section : expected.sections) {
    if (section.name.empty()) return;
  }
  // The reader looks for the version only in the first block.
  if (2 + (expected.leadingText.size() + format::kVersionLineCapacity) * 2 >
      format::kFirstBlockBytes) {
    return;
  }
  Check(status == LoadStatus::Ok, "a saved document loads again");
  const std::u16string blank(format::kLineEnd);
  for (size_t i = 1; i < expected.sections.size(); ++i) {
    if (expected.sections[i].comment.empty()) expected.sections[i].comment = blank;
  }
  if (digest) expected.trailingText += blank;
  if (expected.version == format::kDefaultVersion) {
    (expected.sections.empty() ? expected.trailingText : expected.sections.front().comment)
        .insert(0, blank);
  }
  Check(ViewOf(again, false) == expected, "a document survives a save and a load");
}

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  static const std::string inputPath = fuzz::ScratchFolder() + "input.qds";
  static const std::u16string widePath = DecodeUtf8(inputPath);
  std::ofstream(inputPath, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  for (int set = 0; set < 8; ++set) {
    const LoadFlags flags = (set & 1 ? LoadFlags::KeepComments : LoadFlags::None) |
                            (set & 2 ? LoadFlags::Digest : LoadFlags::None) |
                            (set & 4 ? LoadFlags::Lenient : LoadFlags::None);
    DocumentModel document;
    LoadStatus status = LoadDocument(&document, widePath.c_str(), flags);
    fuzz::Check(status == LoadStatus::Ok || status == LoadStatus::SyntaxError ||
                    status == LoadStatus::DigestMismatch,
                "a readable file loads, fails on its syntax or fails its digest");
    if (status == LoadStatus::SyntaxError)
      fuzz::Check(document.errorLine >= 1, "errors have lines");
    if (status != LoadStatus::Ok || !Has(flags, LoadFlags::KeepComments)) continue;
    fuzz::CheckRoundTrip(document, flags, false);
    fuzz::CheckRoundTrip(document, flags, true);
  }
  return 0;
}
