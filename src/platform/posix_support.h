// Small helpers that the POSIX files of the platform layer share: paths as
// the system takes them, errno kept across cleanup, and whole reads and
// writes that ride out interrupted calls. Private to the posix*.cpp files.

#ifndef KNITFOLD_PLATFORM_POSIX_SUPPORT_H_
#define KNITFOLD_PLATFORM_POSIX_SUPPORT_H_

#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "common/utf8.h"

namespace qds::platform {

// Paths arrive as UTF-16 and go to the system as the bytes that the
// lossless UTF-8 decoding came from.
inline std::string NativePath(const char16_t* path) {
  return EncodeUtf8(std::u16string_view(path));
}

// Lists a mapping of MapFile for the guard of GuardMappedFiles; false when
// the list is full (the file is then read instead). ForgetMapping takes it
// off before it is unmapped.
bool GuardMapping(const void* mapping, size_t bytes);
void ForgetMapping(const void* mapping);

// Keeps errno across cleanup calls that may change it.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

 private:
  int saved_;
};

inline void CloseKeepingErrno(int descriptor) {
  ErrnoKeeper keep;
  close(descriptor);
}

// Writes all `count` bytes; false with errno set on failure.
inline bool WriteAll(int descriptor, const void* buffer, size_t count) {
  const char* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t written = write(descriptor, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

// One read, repeated only when a signal interrupted it.
inline ssize_t ReadSome(int descriptor, void* buffer, size_t count) {
  for (;;) {
    ssize_t got = read(descriptor, buffer, count);
    if (got >= 0 || errno != EINTR) return got;
  }
}

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_POSIX_SUPPORT_H_
