#include "knitfold/path_names.h"

#include "platform/path_syntax.h"
#include "platform/text_services.h"

namespace qds {

namespace {

bool IsNameBoundary(char16_t c) {
  return c == platform::kPathSeparator || (platform::kHasDriveLetters && c == u':');
}

}  // namespace

const char16_t* FindExtension(const char16_t* path) {
  const char16_t* dot = nullptr;
  const char16_t* p = path;
  for (; *p != 0; p = platform::NextChar(p)) {
    if (*p == u'.') {
      dot = p;
    } else if (*p == platform::kPathSeparator || *p == u' ') {
      dot = nullptr;
    }
  }
  return dot != nullptr ? dot : p;
}

const char16_t* FindFileName(const char16_t* path) {
  const char16_t* start = path;
  for (const char16_t* p = path; *p != 0; p = platform::NextChar(p)) {
    if (IsNameBoundary(*p) && p[1] != platform::kPathSeparator && p[1] != 0) start = p + 1;
  }
  return start;
}

}  // namespace qds
