#include "support/entry_outline.h"

#include <algorithm>
#include <vector>

namespace qds::test {
namespace {

std::string FoldAscii(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

}  // namespace

std::string EntryOutline(const QdsDocument& document) {
  std::string text;
  for (Section section : document.Sections()) {
    if (section.Name().empty() && section.KeyCount() == 0) continue;
    std::vector<std::string> keys;
    for (Key key : section.Keys()) {
      std::string& lines = keys.emplace_back();
      const std::string name = FoldAscii(key.Name());
      for (Value value : key.Values()) lines += name + "=" + value.Text() + ";";
    }
    std::sort(keys.begin(), keys.end());
    text += "[" + section.Name() + "]";
    for (const std::string& lines : keys) text += lines;
  }
  return text;
}

}  // namespace qds::test
