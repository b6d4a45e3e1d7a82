// The warnings of "qdstool check": text that loads, but probably does not
// say what its author meant.

#ifndef KNITFOLD_QDSTOOL_TEXT_WARNINGS_H_
#define KNITFOLD_QDSTOOL_TEXT_WARNINGS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qds::tool {

struct TextWarning {
  uint32_t line;  // 1-based, counted by CR LF as loading counts
  std::string words;
};

// Looks at the bytes of a QDS file, read in `codePage` unless UTF-16, for:
// line ends of LF alone (the text after the first reads as one line); a
// UTF-8 byte-order mark; UTF-16 without the byte-order mark FF FE, or
// big-endian; an indented key that begins with "[", which reads back as a
// section header once written without its indentation, as a merge writes
// it.
std::vector<TextWarning> FindTextWarnings(std::string_view bytes, uint32_t codePage);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_TEXT_WARNINGS_H_
