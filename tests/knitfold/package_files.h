// The bytes of a package's QDS files, and of the folders around them, as the
// whole-program tests write and compare them.

#ifndef KNITFOLD_TESTS_KNITFOLD_PACKAGE_FILES_H_
#define KNITFOLD_TESTS_KNITFOLD_PACKAGE_FILES_H_

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "support/test_support.h"

namespace qds::test {

// UTF-16LE bytes with a byte-order mark; "\n" in `text` becomes "\r\n".
inline std::string Qds(std::u16string_view text) {
  std::u16string crlf;
  for (char16_t c : text) {
    if (c == u'\n') crlf += u'\r';
    crlf += c;
  }
  return Utf16Bytes(crlf, true);
}

// Every file below `root`, by relative name, with its bytes ("<dir>" for
// folders).
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    files[std::filesystem::relative(entry.path(), root).string()] =
        entry.is_regular_file() ? ReadBytes(entry.path()) : "<dir>";
  }
  return files;
}

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_KNITFOLD_PACKAGE_FILES_H_
