// The POSIX short path names: POSIX has no short names, so the short form of
// an existing path is the path itself.

#include <cstring>

#include "common/text.h"
#include "platform/descriptors.h"
#include "platform/short_path.h"

namespace qds::platform {

size_t ShortPathName(const char16_t* path, char16_t* out, size_t capacity) {
  if (PathSize(path) < 0) return 0;
  size_t length = TextLength(path);
  if (out == nullptr || capacity <= length) return length + 1;
  // The caller may pass the path's own buffer as `out`.
  std::memmove(out, path, (length + 1) * sizeof(char16_t));
  return length;
}

}  // namespace qds::platform
