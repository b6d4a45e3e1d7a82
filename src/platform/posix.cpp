// The POSIX implementation of the platform layer: errors, log, console,
// files, directories and descriptor I/O. The services that put files in
// place are in posix_file_replacement.cpp.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/utf8.h"
#include "platform/platform.h"
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

}  // namespace

// ---- Last error ----------------------------------------------------------

const uint32_t kErrorAlreadyExists = EEXIST;
const uint32_t kErrorFileExists = EEXIST;
const uint32_t kErrorNameTooLong = ENAMETOOLONG;
const uint32_t kErrorNotRegularFile = ENXIO;
const uint32_t kErrorSeveralLinks = EMLINK;

uint32_t LastErrorCode() { return static_cast<uint32_t>(errno); }
void SetLastErrorCode(uint32_t code) { errno = static_cast<int>(code); }

bool ErrorText(uint32_t code, CountedString* text) {
  char buffer[256];
  // The GNU strerror_r returns the text, which need not be in `buffer`.
  const char* message = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  if (message == nullptr) return false;
  std::u16string wide = DecodeUtf8(message);
  text->Assign(wide);
  return true;
}

// ---- Console and log --------------------------------------------------------

FileHandle CreateExclusiveLog(const char16_t* path) {
  std::string native = NativePath(path);
  // Never through a link, never blocking on a FIFO, never a terminal; the
  // content of a log found at the name survives until the lock says that it
  // is this run's.
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int descriptor = open(native.c_str(), kFlags);
  if (descriptor < 0 && errno == ENOENT) {
    descriptor = open(native.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    if (descriptor < 0 && errno == EEXIST) descriptor = open(native.c_str(), kFlags);
  }
  if (descriptor < 0) return kInvalidHandle;
  struct stat status;
  bool usable = fstat(descriptor, &status) == 0;
  if (usable && !S_ISREG(status.st_mode)) {
    errno = static_cast<int>(kErrorNotRegularFile);
    usable = false;
  } else if (usable && status.st_nlink != 1) {
    errno = static_cast<int>(kErrorSeveralLinks);
    usable = false;
  }
  if (!usable || flock(descriptor, LOCK_EX | LOCK_NB) != 0 || ftruncate(descriptor, 0) != 0) {
    CloseKeepingErrno(descriptor);
    return kInvalidHandle;
  }
  return descriptor;
}

bool WriteLog(FileHandle log, const void* bytes, size_t size) {
  return log != kInvalidHandle && WriteAll(static_cast<int>(log), bytes, size);
}

void WriteStandardError(std::u16string_view text) {
  std::string bytes = EncodeUtf8(text);
  WriteAll(STDERR_FILENO, bytes.data(), bytes.size());
}

// ---- Files and directories ----------------------------------------------------

bool QueryAttributes(const char16_t* path, uint32_t* attributes) {
  std::string native = NativePath(path);
  struct stat status;
  if (stat(native.c_str(), &status) != 0) return false;
  *attributes = AttributesOf(status, native);
  return true;
}

bool ResetAttributes(const char16_t* path) {
  std::string native = NativePath(path);
  struct stat status;
  if (stat(native.c_str(), &status) != 0) return false;
  return chmod(native.c_str(), (status.st_mode & 07777) | S_IWUSR) == 0;
}

bool FindEntry(const char16_t* path, uint32_t* attributes) {
  std::string native = NativePath(path);
  struct stat status;
  if (lstat(native.c_str(), &status) != 0) return false;
  *attributes = AttributesOf(status, native);
  return true;
}

bool MakeDirectory(const char16_t* path) {
  return mkdir(NativePath(path).c_str(), 0777) == 0;
}

bool RemoveFile(const char16_t* path) { return unlink(NativePath(path).c_str()) == 0; }

// ---- Descriptor I/O ----------------------------------------------------------

int OpenDescriptor(const char16_t* path, int mode, int* error) {
  std::string native = NativePath(path);
  int flags = mode == kOpenRead ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
  int descriptor = open(native.c_str(), flags | O_CLOEXEC, 0666);
  if (descriptor < 0) *error = errno;
  return descriptor;
}

int64_t ReadDescriptor(int descriptor, void* buffer, size_t count, int* error) {
  ssize_t got = ReadSome(descriptor, buffer, count);
  if (got < 0) *error = errno;
  return got;
}

bool WriteDescriptor(int descriptor, const void* buffer, size_t count, int* error) {
  if (WriteAll(descriptor, buffer, count)) return true;
  *error = errno;
  return false;
}

void StartWriteBack(int descriptor, int64_t offset, int64_t length) {
#ifdef SYNC_FILE_RANGE_WRITE
  (void)sync_file_range(descriptor, offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)descriptor, (void)offset, (void)length;  // no such request here: the flush does it all
#endif
}

bool CloseDescriptor(int descriptor) { return close(descriptor) == 0; }

int64_t PathSize(const char16_t* path) {
  struct stat status;
  if (stat(NativePath(path).c_str(), &status) != 0) return -1;
  return status.st_size;
}

}  // namespace qds::platform
