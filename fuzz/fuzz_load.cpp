// Loads arbitrary bytes (UTF-16 when they open with FF FE, ANSI otherwise)
// with every combination of the load flags, and checks the round trip of
// what loads with KeepComments: saved with KeepComments (with and without a
// digest) and loaded again with the same flags, a document comes back with
// the same sections, keys, values and comments, except for what the format
// itself changes:
//   - a section without a comment gets the blank line that the writer puts
//     between sections as its comment;
//   - a version-1 document gains a blank line after its version line;
//   - a value that starts with U+001A loses it (and the white space after
//     it), which the reader skips right after the "=";
//   - a digest adds a blank line before the end marker, and after a text
//     that ended in a lone CR its marker line makes that CR an error;
//   - a section with an empty name has no header line, so its lines join
//     the section before it (and without Lenient, lines before every
//     section are an error);
//   - a version line that the writer puts beyond the first 4096 bytes is not
//     read, so the version is the new document's.
// Where none of that applies, saving the reloaded document gives the bytes of
// the first save again.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/utf8.h"
#include "fuzz_support.h"
#include "model/document_model.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace qds::fuzz {
namespace {

struct KeyView {
  std::u16string name;
  std::vector<std::u16string> values;
  std::vector<std::u16string> comments;
  bool operator==(const KeyView&) const = default;
};

struct SectionView {
  std::u16string name;
  std::u16string comment;
  std::vector<KeyView> keys;
  bool operator==(const SectionView&) const = default;
};

struct DocumentView {
  int32_t version = 0;
  std::u16string leadingText;
  std::u16string trailingText;
  std::vector<SectionView> sections;
  bool operator==(const DocumentView&) const = default;
};

std::u16string Text(const CountedString& text) { return std::u16string(text.View()); }

DocumentView ViewOf(const DocumentModel& document) {
  DocumentView view{document.version, Text(document.leadingText), Text(document.trailingText), {}};
  for (const QdsSection* section = document.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    SectionView& s = view.sections.emplace_back();
    s.name = Text(section->name);
    s.comment = Text(section->comment);
    for (const QdsKey* key = section->keys.head(); key != nullptr;
         key = NodeList<QdsKey>::Next(key)) {
      KeyView& k = s.keys.emplace_back();
      k.name = Text(key->name);
      for (const QdsValue* value = key->values.head(); value != nullptr;
           value = NodeList<QdsValue>::Next(value)) {
        k.values.push_back(Text(value->name));
        k.comments.push_back(Text(value->comment));
      }
    }
  }
  return view;
}

bool HasEmptyName(const DocumentView& view) {
  for (const SectionView& section : view.sections) {
    if (section.name.empty()) return true;
  }
  return false;
}

// A value as the reader takes it back: the writer puts it right after the
// "=", and the reader opens a value at its first unit that is not U+001A and
// trims the white space at its start, so U+001A units at the start of a
// value, and white space after them, are lost.
std::u16string ReadBack(const std::u16string& value) {
  if (value == kBareKeyValue) return value;
  size_t start = value.find_first_not_of(format::kIgnoredUnit);
  while (start < value.size() && IsWhiteSpace(value[start])) ++start;
  return start < value.size() ? value.substr(start) : std::u16string();
}

void ReadBackValues(SectionView* section) {
  for (KeyView& key : section->keys) {
    for (std::u16string& value : key.values) value = ReadBack(value);
  }
}

// What a document without empty-named sections looks like after a save with
// KeepComments (and `digest`) and a load with KeepComments.
DocumentView AfterRoundTrip(DocumentView view, bool digest) {
  std::u16string blank(format::kLineEnd);
  for (SectionView& section : view.sections) ReadBackValues(&section);
  for (size_t i = 1; i < view.sections.size(); ++i) {
    if (view.sections[i].comment.empty()) view.sections[i].comment = blank;
  }
  if (digest) view.trailingText += blank;
  if (view.version == format::kDefaultVersion) {
    std::u16string& first =
        view.sections.empty() ? view.trailingText : view.sections.front().comment;
    first.insert(0, blank);
  }
  return view;
}

// Entries only (no comments), with every empty-named section's lines moved
// into the section before it, as a reader of the written text meets them.
DocumentView EntriesAfterRoundTrip(const DocumentView& view) {
  DocumentView entries;
  for (const SectionView& section : view.sections) {
    if (section.keys.empty()) {
      if (!section.name.empty()) entries.sections.push_back({section.name, {}, {}});
      continue;
    }
    if (!section.name.empty() || entries.sections.empty()) {
      entries.sections.push_back({section.name, {}, {}});
    }
    std::vector<KeyView>& keys = entries.sections.back().keys;
    SectionView readBack = section;
    ReadBackValues(&readBack);
    for (const KeyView& key : readBack.keys) {
      auto same = std::find_if(keys.begin(), keys.end(), [&](const KeyView& k) {
        return EqualsIgnoreAsciiCase(k.name, key.name);
      });
      if (same == keys.end()) same = keys.insert(keys.end(), {key.name, {}, {}});
      same->values.insert(same->values.end(), key.values.begin(), key.values.end());
    }
  }
  return entries;
}

DocumentView EntriesOf(DocumentView view) {
  DocumentView entries;
  for (SectionView& section : view.sections) {
    entries.sections.push_back({section.name, {}, {}});
    for (KeyView& key : section.keys) {
      entries.sections.back().keys.push_back({key.name, key.values, {}});
    }
  }
  return entries;
}

// A text may end in a lone CR (the reader skips U+001A, also after it),
// which stays in the trailing text; the end marker line that a digest adds
// then follows it as "\r\r\n".
bool EndsInLoneCr(std::u16string_view text) {
  size_t last = text.find_last_not_of(format::kIgnoredUnit);
  return last != std::u16string_view::npos && text[last] == u'\r';
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Utf16(std::u16string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// The bytes of the first save's layout after one more round: a version-1
// document gains "\r\n" after its version line, a digest one before the end
// marker; the check line differs and is left out of the comparison.
bool SameLayout(std::string first, std::string second, const DocumentView& view, bool digest) {
  const std::string blank = Utf16(format::kLineEnd);
  if (digest) {
    const size_t checkLine = format::kCheckLineLength * 2;
    const std::string marker = Utf16(format::kEndMarkerLine);
    if (first.size() < checkLine + marker.size()) return false;
    first.resize(first.size() - checkLine - marker.size());
    if (second.size() < checkLine + marker.size() + blank.size()) return false;
    second.resize(second.size() - checkLine - marker.size() - blank.size());
  }
  if (view.version == format::kDefaultVersion) {
    static constexpr std::u16string_view kVersionOne = u"[$version 1$]\r\n";
    size_t versionEnd = 2 + (view.leadingText.size() + kVersionOne.size()) * 2;
    if (first.size() < versionEnd) return false;
    first.insert(versionEnd, blank);
  }
  return first == second;
}

void CheckRoundTrip(DocumentModel& first, uint32_t flags, bool digest) {
  static const std::u16string firstPath = DecodeUtf8(ScratchFolder() + "first.qds");
  static const std::u16string secondPath = DecodeUtf8(ScratchFolder() + "second.qds");
  const uint32_t saveFlags = KeepComments | (digest ? Digest : 0);
  const uint32_t reloadFlags = (flags & ~Digest) | (digest ? Digest : 0);

  Check(SaveDocument(&first, firstPath.c_str(), saveFlags) == SaveStatus::Ok,
        "a loaded document saves");
  const DocumentView view = ViewOf(first);
  const std::string firstBytes = ReadFile(EncodeUtf8(firstPath));

  DocumentModel again;
  LoadStatus status = LoadDocument(&again, firstPath.c_str(), reloadFlags);
  if (digest && EndsInLoneCr(view.trailingText)) {
    Check(status == LoadStatus::SyntaxError, "a lone CR before the end marker is an error");
    return;
  }
  if (HasEmptyName(view)) {
    DocumentView expected = EntriesAfterRoundTrip(view);
    bool headless = !expected.sections.empty() && expected.sections.front().name.empty();
    if (headless && (flags & Lenient) == 0) {
      Check(status == LoadStatus::SyntaxError, "lines before every section are an error");
      return;
    }
    Check(status == LoadStatus::Ok, "a saved document loads again");
    Check(EntriesOf(ViewOf(again)) == expected, "the entries of empty-named sections join");
    return;
  }
  Check(status == LoadStatus::Ok, "a saved document loads again");
  DocumentView reloaded = ViewOf(again);
  // The reader looks for the version number only in the first block; the
  // line's format buffer bounds its length.
  const size_t versionEnd = 2 + (view.leadingText.size() + format::kVersionLineCapacity) * 2;
  if (versionEnd > format::kFirstBlockBytes) {
    Check(EntriesOf(reloaded) == EntriesOf(view), "entries survive a late version line");
    return;
  }
  const DocumentView expected = AfterRoundTrip(view, digest);
  Check(reloaded == expected, "a document survives a save and a load");
  if (EntriesOf(expected) != EntriesOf(view)) return;  // values lost U+001A units
  Check(SaveDocument(&again, secondPath.c_str(), saveFlags) == SaveStatus::Ok,
        "a reloaded document saves");
  Check(SameLayout(firstBytes, ReadFile(EncodeUtf8(secondPath)), view, digest),
        "a second save repeats the first");
}

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  static const std::string inputPath = fuzz::ScratchFolder() + "input.qds";
  static const std::u16string widePath = DecodeUtf8(inputPath);
  {
    std::ofstream out(inputPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  static const uint32_t kFlagSets[] = {0,
                                       KeepComments,
                                       Digest,
                                       Lenient,
                                       KeepComments | Digest,
                                       KeepComments | Lenient,
                                       Digest | Lenient,
                                       KeepComments | Digest | Lenient};
  for (uint32_t flags : kFlagSets) {
    DocumentModel document;
    LoadStatus status = LoadDocument(&document, widePath.c_str(), flags);
    fuzz::Check(status == LoadStatus::Ok || status == LoadStatus::SyntaxError ||
                    status == LoadStatus::DigestMismatch,
                "a readable file loads, fails on its syntax or fails its digest");
    if (status == LoadStatus::SyntaxError)
      fuzz::Check(document.errorLine >= 1, "errors have lines");
    if (status != LoadStatus::Ok || (flags & KeepComments) == 0) continue;
    fuzz::CheckRoundTrip(document, flags, false);
    fuzz::CheckRoundTrip(document, flags, true);
  }
  return 0;
}
