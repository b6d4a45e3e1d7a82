#include "support/entry_outline.h"

#include <algorithm>
#include <vector>

namespace qds::test {

std::string EntryOutline(const QdsDocument& document) {
  std::string text;
  for (Section section : document.Sections()) {
    if (section.Name().empty() && section.KeyCount() == 0) continue;
    std::vector<std::string> keys;
    for (Key key : section.Keys()) {
      std::string& lines = keys.emplace_back();
      for (Value value : key.Values()) lines += key.Name() + "=" + value.Text() + ";";
    }
    std::sort(keys.begin(), keys.end());
    text += "[" + section.Name() + "]";
    for (const std::string& lines : keys) text += lines;
  }
  return text;
}

}  // namespace qds::test
