// The POSIX implementation of the platform layer: errors, log, console,
// files, directories and descriptor I/O. Paths arrive as UTF-16 and go to
// the system as the bytes that the lossless UTF-8 decoding came from.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/utf8.h"
#include "platform/platform.h"

namespace qds::platform {

namespace {

std::string NativePath(const char16_t* path) { return EncodeUtf8(std::u16string_view(path)); }

// Keeps errno across cleanup calls that may change it.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }

 private:
  int saved_;
};

void CloseKeepingErrno(int descriptor) {
  ErrnoKeeper keep;
  close(descriptor);
}

bool WriteAll(int descriptor, const void* buffer, size_t count) {
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

ssize_t ReadSome(int descriptor, void* buffer, size_t count) {
  for (;;) {
    ssize_t got = read(descriptor, buffer, count);
    if (got >= 0 || errno != EINTR) return got;
  }
}

uint32_t AttributesOf(const struct stat& status, const std::string& path) {
  uint32_t attributes = 0;
  if (S_ISDIR(status.st_mode)) attributes |= kAttributeDirectory;
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
  // Open without truncating: another run may hold this log, and its content
  // must survive until the lock says the log is ours.
  int descriptor = open(native.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) return kInvalidHandle;
  if (flock(descriptor, LOCK_EX | LOCK_NB) != 0 || ftruncate(descriptor, 0) != 0) {
    CloseKeepingErrno(descriptor);
    return kInvalidHandle;
  }
  return descriptor;
}

void WriteLog(FileHandle log, const void* bytes, size_t size) {
  if (log != kInvalidHandle) WriteAll(static_cast<int>(log), bytes, size);
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

bool CopyFileTo(const char16_t* from, const char16_t* to, bool failIfExists) {
  std::string source = NativePath(from);
  std::string destination = NativePath(to);
  int input = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) return false;
  struct stat status;
  if (fstat(input, &status) != 0) {
    CloseKeepingErrno(input);
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    close(input);
    errno = EISDIR;
    return false;
  }
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
  int output = open(destination.c_str(), flags, status.st_mode & 0777);
  if (output < 0) {
    CloseKeepingErrno(input);
    return false;
  }
  static constexpr size_t kChunk = 1 << 16;
  char buffer[kChunk];
  bool ok = true;
  for (;;) {
    ssize_t got = ReadSome(input, buffer, kChunk);
    if (got == 0) break;
    if (got < 0 || !WriteAll(output, buffer, static_cast<size_t>(got))) {
      ok = false;
      break;
    }
  }
  if (!ok) {
    CloseKeepingErrno(input);
    CloseKeepingErrno(output);
    return false;
  }
  close(input);
  return close(output) == 0;
}

bool MoveFileReplacing(const char16_t* from, const char16_t* to) {
  return rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
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

bool CloseDescriptor(int descriptor) { return close(descriptor) == 0; }

int64_t PathSize(const char16_t* path) {
  struct stat status;
  if (stat(NativePath(path).c_str(), &status) != 0) return -1;
  return status.st_size;
}

}  // namespace qds::platform
