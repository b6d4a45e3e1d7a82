// Loads arbitrary bytes keeping their layout, applies a few edits chosen by
// the fuzzer's first bytes (set, add, new key, new section, removals,
// renames, and changes through the views of a walk), and saves keeping the
// layout. The text written must load, with the same sections, keys and
// values as a canonical document after the same edits, and every line of it
// that no edit names must be a line of the input: the edits bring their
// texts marked with "~", so that a line without one is either a blank line,
// the check line of a signed file, or one the input had (a last line
// completed with its line end counts as itself).

#include <qds/qds.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "support/entry_outline.h"

namespace qds::fuzz {
namespace {

constexpr LoadFlags kLoad = LoadFlags::KeepComments | LoadFlags::Lenient;

constexpr uint8_t kEditKinds = 12;
constexpr uint8_t kRenameSection = 7;

// An edit through the views of `key` of `section`, as a walk makes it.
Status ThroughViews(QdsDocument& document, uint8_t kind, const std::string& section,
                    const std::string& key, uint8_t index) {
  std::optional<MutableSection> holder = document.FindSection(section);
  std::optional<MutableKey> found = holder ? holder->FindKey(key) : std::nullopt;
  if (!found) return ReadStatus::NoEntry;
  Status status;
  int position = 0;
  for (MutableValue value : found->Values()) {
    if (kind == 9) status = value.Set("~vset");
    if (kind == 10 && position++ == index % 3) status = value.Remove();
  }
  return kind == 11 ? found->Add("~vadd") : status;
}

// One edit by the input's choices, applied to `document`; the names it
// reaches are those of `names` (the first section of each name and its
// keys), which both documents share.
Status Apply(QdsDocument& document, uint8_t kind, const std::string& section,
             const std::string& key, uint8_t index) {
  switch (kind % kEditKinds) {
    case 0:
      return document.Set(section, key, "~set");
    case 1:
      return document.Add(section, key, "~add");
    case 2:
      return document.Set(section, "~key", "~v");
    case 3:
      return document.Add("~section" + std::to_string(index), "~k", "~v");
    case 4:
      return document.RemoveValue(section, key, index % 3);
    case 5:
      return document.RemoveKey(section, key);
    case 6:
      return document.RemoveSection(section);
    case kRenameSection:
      return document.RenameSection(section, "~renamed" + std::to_string(index));
    case 8:
      return document.RenameKey(section, key, "~renamed");
    default:
      return ThroughViews(document, kind % kEditKinds, section, key, index);
  }
}

std::vector<std::string> Lines(const std::string& bytes) {
  std::string text;
  if (!DecodeFileText(bytes, 1252, &text).Ok()) return {};
  // A last line that ends in a lone CR gets its line feed when a line
  // follows it, after any U+001A, which lines are compared without.
  std::erase(text, '\x1A');
  if (text.ends_with('\r')) text.pop_back();
  std::vector<std::string> lines;
  for (size_t at = 0; at <= text.size();) {
    size_t end = std::min(text.find("\r\n", at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

void CheckEdits(const std::string& bytes, Input& input) {
  QdsDocument canonical, lossless;
  if (!canonical.LoadBytes(bytes, kLoad).Ok()) return;
  Check(lossless.LoadBytes(bytes, kLoad | LoadFlags::KeepLayout).Ok() && lossless.KeepsLayout(),
        "what loads keeps its layout");
  // A name given to the section that a lenient load found without a header
  // names all its lines: they may have to move after the version line.
  bool namedNameless = false;
  for (int edits = 1 + input.Byte() % 4; edits > 0; --edits) {
    std::vector<std::pair<std::string, std::string>> names;
    for (Section section : canonical.Sections()) {
      for (Key key : section.Keys()) names.emplace_back(section.Name(), key.Name());
    }
    if (names.empty()) names.emplace_back("~none", "~none");
    const auto& [section, key] = names[input.Byte() % names.size()];
    uint8_t kind = input.Byte(), index = input.Byte();
    namedNameless = namedNameless || (kind % kEditKinds == kRenameSection && section.empty());
    Check(Apply(canonical, kind, section, key, index) == Apply(lossless, kind, section, key, index),
          "both documents take the edit alike");
  }
  std::string written;
  Check(lossless.Write(&written, SaveFlags::KeepComments | SaveFlags::KeepLayout).Ok(),
        "a document that keeps its layout writes it");
  QdsDocument reread;
  Check(reread.LoadBytes(written, kLoad).Ok(), "what is written loads");
  Check(test::EntryOutline(reread) == test::EntryOutline(canonical),
        "the edits give the canonical document's entries");
  Check(written.starts_with("\xFF\xFE") == bytes.starts_with("\xFF\xFE"), "the encoding stays");
  std::vector<std::string> before = Lines(bytes);
  std::sort(before.begin(), before.end());
  std::vector<std::string> after = Lines(written);
  for (size_t i = 0; i < after.size(); ++i) {
    const std::string& line = after[i];
    bool named = line.find('~') != std::string::npos ||
                 line.find_first_not_of(" \t") == std::string::npos ||
                 (i > 0 && after[i - 1] == "[$end$]");
    Check(named || namedNameless || std::binary_search(before.begin(), before.end(), line),
          "a line that no edit names is one of the input's");
  }
}

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qds::fuzz::Input input(data, size);
  uint8_t choices[6];
  for (uint8_t& choice : choices) choice = input.Byte();
  std::string bytes(reinterpret_cast<const char*>(data) + std::min<size_t>(size, sizeof choices),
                    size - std::min<size_t>(size, sizeof choices));
  qds::fuzz::Input edits(choices, sizeof choices);
  qds::fuzz::CheckEdits(bytes, edits);
  return 0;
}
