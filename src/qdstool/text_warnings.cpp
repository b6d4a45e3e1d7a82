#include "qdstool/text_warnings.h"

#include <qds/qds.h>

#include <algorithm>

namespace qds::tool {
namespace {

constexpr size_t kSampleBytes = 4096;

// Whether the bytes look like UTF-16 of mostly Latin text: in most pairs
// one byte is 0 (the second for little-endian) and the other is not.
bool LooksLikeUtf16(std::string_view bytes, bool bigEndian) {
  size_t pairs = std::min(bytes.size(), kSampleBytes) / 2;
  size_t matching = 0;
  for (size_t i = 0; i < pairs; ++i) {
    char zero = bytes[2 * i + (bigEndian ? 0 : 1)];
    char other = bytes[2 * i + (bigEndian ? 1 : 0)];
    matching += zero == '\0' && other != '\0';
  }
  return pairs > 0 && matching * 4 > pairs * 3;
}

}  // namespace

std::vector<TextWarning> FindTextWarnings(std::string_view bytes, uint32_t codePage) {
  std::vector<TextWarning> warnings;
  bool utf16 = bytes.starts_with("\xFF\xFE");
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    warnings.push_back({1, "starts with a UTF-8 byte-order mark: read as ANSI text (code page " +
                               std::to_string(codePage) + "), mark included"});
  }
  if (bytes.starts_with("\xFE\xFF") || (!utf16 && LooksLikeUtf16(bytes, true))) {
    warnings.push_back({1,
                        "looks like big-endian UTF-16: only little-endian UTF-16 after FF FE "
                        "is read as UTF-16"});
  } else if (!utf16 && LooksLikeUtf16(bytes, false)) {
    warnings.push_back(
        {1, "looks like UTF-16 without the byte-order mark FF FE: read as ANSI text"});
  }
  std::string text;
  if (!DecodeFileText(bytes, codePage, &text).Ok()) return warnings;
  uint32_t line = 1;
  uint32_t loneLine = 0;
  size_t lone = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string_view content(text.data() + start, end - start);
    bool crlf = content.ends_with('\r');
    if (crlf) content.remove_suffix(1);
    size_t indent = content.find_first_not_of(" \t");
    if (indent != 0 && indent != std::string_view::npos && content[indent] == '[') {
      size_t equals = content.find('=', indent);
      if (equals != std::string_view::npos) {
        std::string_view key = content.substr(indent, equals - indent);
        key = key.substr(0, key.find_last_not_of(" \t") + 1);
        warnings.push_back({line, "key \"" + std::string(key) +
                                      "\" starts with \"[\": written without its indentation, as "
                                      "a merge writes it, it reads as a section header"});
      }
    }
    if (end < text.size() && !crlf && lone++ == 0) loneLine = line;
    line += crlf;
    start = end + 1;
  }
  if (lone > 0) {
    warnings.push_back({loneLine, std::to_string(lone) +
                                      " line ends are LF alone, not CR LF: the text from here "
                                      "reads as one line"});
  }
  std::stable_sort(warnings.begin(), warnings.end(),
                   [](const TextWarning& a, const TextWarning& b) { return a.line < b.line; });
  return warnings;
}

}  // namespace qds::tool
