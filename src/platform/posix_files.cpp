// Files and directories on POSIX. A name that starts with a dot counts as
// hidden, one without write permission as read-only.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/files.h"
#include "platform/posix_support.h"

namespace qds::platform {

namespace {

uint32_t AttributesOf(const struct stat& status, const std::string& path) {
  uint32_t attributes = 0;
  if (S_ISDIR(status.st_mode)) attributes |= kAttributeDirectory;
  if (S_ISLNK(status.st_mode)) attributes |= kAttributeReparsePoint;
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttributeReadOnly;
  size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string::npos ? std::string_view(path)
                                                     : std::string_view(path).substr(slash + 1);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttributeHidden;
  return attributes == 0 ? kAttributeNormal : attributes;
}

bool Status(const char16_t* path, struct stat* status) {
  return stat(NativePath(path).c_str(), status) == 0;
}

}  // namespace

SystemResult QueryAttributes(const char16_t* path, uint32_t* attributes) {
  std::string native = NativePath(path);
  struct stat status;
  if (stat(native.c_str(), &status) != 0) return LastSystemFailure();
  *attributes = AttributesOf(status, native);
  return {};
}

SystemResult ResetAttributes(const char16_t* path) {
  std::string native = NativePath(path);
  struct stat status;
  if (stat(native.c_str(), &status) != 0) return LastSystemFailure();
  return SystemCallResult(chmod(native.c_str(), (status.st_mode & 07777) | S_IWUSR) == 0);
}

SystemResult FindEntry(const char16_t* path, uint32_t* attributes) {
  std::string native = NativePath(path);
  struct stat status;
  if (lstat(native.c_str(), &status) != 0) return LastSystemFailure();
  *attributes = AttributesOf(status, native);
  return {};
}

SystemResult MakeDirectory(const char16_t* path) {
  return SystemCallResult(mkdir(NativePath(path).c_str(), 0777) == 0);
}

SystemResult RemoveFile(const char16_t* path) {
  return SystemCallResult(unlink(NativePath(path).c_str()) == 0);
}

bool SameFile(const char16_t* a, const char16_t* b) {
  struct stat first;
  struct stat second;
  return Status(a, &first) && Status(b, &second) && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

std::optional<uint64_t> RegularFileSize(const char16_t* path) {
  struct stat status;
  if (!Status(path, &status) || !S_ISREG(status.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(status.st_size);
}

bool IsReadOnlyFile(const char16_t* path) {
  // Asked as the effective account, which is the one that writes.
  return faccessat(AT_FDCWD, NativePath(path).c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

}  // namespace qds::platform
