// The POSIX implementation of the platform layer: errors, log, console,
// files, directories and descriptor I/O. Paths arrive as UTF-16 and go to
// the system as the bytes that the lossless UTF-8 decoding came from.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

// ---- Replacing files ------------------------------------------------------------
//
// A copy replaces its destination in one step: the bytes go to a temporary
// file beside it, which is flushed to disk and renamed over the destination,
// and then the folder is flushed. Until the rename the destination is
// untouched; after a crash at any moment it is either its old self or the
// complete copy. A crash may leave the temporary file behind.

// The folder of a native path ("." for a bare name).
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows `path` while it names a symbolic link, so that a copy replaces the
// file that the links lead to and keeps the links; a name that does not
// exist ends the walk. Fails with ELOOP after as many links as the system
// follows in one path.
bool ResolveFinalLinks(std::string* path) {
  constexpr int kMaxLinks = 40;
  for (int links = 0; links < kMaxLinks; ++links) {
    struct stat status;
    if (lstat(path->c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
    std::string target(static_cast<size_t>(status.st_size) + 1, '\0');
    ssize_t length = readlink(path->c_str(), target.data(), target.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) >= target.size()) {
      errno = ENAMETOOLONG;  // the link changed under us
      return false;
    }
    target.resize(static_cast<size_t>(length));
    *path = target.starts_with('/') ? target : FolderOf(*path) + "/" + target;
  }
  errno = ELOOP;
  return false;
}

// Flushes a folder's entries to disk. A file system that cannot flush
// folders (EINVAL) has nothing more to offer and counts as flushed.
bool SyncFolder(const std::string& folder) {
  int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  if (fsync(descriptor) != 0 && errno != EINVAL) {
    CloseKeepingErrno(descriptor);
    return false;
  }
  return close(descriptor) == 0;
}

void RemoveKeepingErrno(const std::string& path) {
  ErrnoKeeper keep;
  unlink(path.c_str());
}

// Has the kernel copy the rest of the regular file `input` to `output`, no
// byte passing through this process. Unsupported: the kernel cannot copy
// between these two (file systems, kinds of file, older kernels) and has
// copied nothing.
enum class KernelCopy { Done, Failed, Unsupported };

KernelCopy CopyInKernel(int input, int output) {
  struct stat status;
  if (fstat(input, &status) != 0 || !S_ISREG(status.st_mode)) return KernelCopy::Unsupported;
  constexpr size_t kMostPerCall = size_t{1} << 30;
  bool copiedAny = false;
  for (;;) {
    ssize_t copied = copy_file_range(input, nullptr, output, nullptr, kMostPerCall, 0);
    if (copied > 0) {
      copiedAny = true;
      continue;
    }
    // Nothing at all may also be the kernel's shortcoming (a file of /proc
    // reports no size on older kernels): reading makes sure.
    if (copied == 0) return copiedAny ? KernelCopy::Done : KernelCopy::Unsupported;
    if (errno == EINTR) continue;
    bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                       errno == EOPNOTSUPP || errno == EBADF;
    return unsupported && !copiedAny ? KernelCopy::Unsupported : KernelCopy::Failed;
  }
}

// Copies the rest of `input` to `output` and flushes `output` to disk
// (devices, which cannot be flushed, count as flushed).
bool CopyBytes(int input, int output) {
  KernelCopy kernelCopy = CopyInKernel(input, output);
  if (kernelCopy == KernelCopy::Failed) return false;
  if (kernelCopy == KernelCopy::Unsupported) {
    static constexpr size_t kChunk = 1 << 16;
    char buffer[kChunk];
    for (;;) {
      ssize_t got = ReadSome(input, buffer, kChunk);
      if (got == 0) break;
      if (got < 0 || !WriteAll(output, buffer, static_cast<size_t>(got))) return false;
    }
  }
  return fsync(output) == 0 || errno == EINVAL;
}

// Creates a new file beside `destination`, named after it and hidden, with
// `mode` (less the umask); -1 on failure.
int CreateTemporaryBeside(const std::string& destination, mode_t mode, std::string* name) {
  // Room for the suffix within the system's 255 bytes of a name.
  constexpr size_t kNameKept = 200;
  static std::atomic<unsigned> serial{0};
  std::string base = destination.substr(destination.find_last_of('/') + 1).substr(0, kNameKept);
  std::string prefix = FolderOf(destination) + "/." + base + "." + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = prefix + std::to_string(++serial) + ".tmp";
    int descriptor = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

// Gives `file` the permission bits of `existing`, and its owner where the
// process may give it.
bool TakeIdentityOf(int file, const struct stat& existing) {
  {
    ErrnoKeeper keep;  // an owner that may not be given stays as it is
    (void)fchown(file, existing.st_uid, existing.st_gid);
  }
  return fchmod(file, existing.st_mode & 07777) == 0;
}

// Fills the new file `output` (named `temporary`) with a flushed copy of
// `input` and puts it in the place of `destination` in one step (see above).
// With `existing`, the copy takes the replaced file's permission bits, and
// its owner where the process may give it. With `failIfExists` the copy is
// linked in, which fails with EEXIST when the name is taken.
bool PlaceCopy(int input, int output, const std::string& temporary,
               const std::string& destination, const struct stat* existing, bool failIfExists) {
  bool written =
      (existing == nullptr || TakeIdentityOf(output, *existing)) && CopyBytes(input, output);
  if (!written) CloseKeepingErrno(output);
  if (!written || close(output) != 0) {
    RemoveKeepingErrno(temporary);
    return false;
  }
  bool placed = failIfExists ? link(temporary.c_str(), destination.c_str()) == 0
                             : rename(temporary.c_str(), destination.c_str()) == 0;
  if (!placed || failIfExists) RemoveKeepingErrno(temporary);
  return placed && SyncFolder(FolderOf(destination));
}

// Copies `input` over the existing `destination`, truncating it first.
bool OverwriteInPlace(int input, const std::string& destination) {
  int output = open(destination.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (output < 0) return false;
  if (!CopyBytes(input, output)) {
    CloseKeepingErrno(output);
    return false;
  }
  return close(output) == 0;
}

// Copies `input` over `destination` (links already followed); a new file
// gets `mode`. A regular file with one name is replaced in one step. A file
// with more than one name, or a device, is overwritten in place, so that
// every name keeps seeing the same file; so is a file whose folder may not be
// written, as it could be before.
bool CopyOpenFile(int input, mode_t mode, const std::string& destination, bool failIfExists) {
  std::string temporary;
  if (failIfExists) {
    int output = CreateTemporaryBeside(destination, mode, &temporary);
    return output >= 0 && PlaceCopy(input, output, temporary, destination, nullptr, true);
  }
  // Opening for writing asks what overwriting would: an existing file that
  // may not be written (or a folder) is refused as before.
  int probe = open(destination.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (probe < 0) {
    if (errno != ENOENT) return false;
    int output = CreateTemporaryBeside(destination, mode, &temporary);
    return output >= 0 && PlaceCopy(input, output, temporary, destination, nullptr, false);
  }
  struct stat existing;
  if (fstat(probe, &existing) != 0) {
    CloseKeepingErrno(probe);
    return false;
  }
  close(probe);
  if (S_ISREG(existing.st_mode) && existing.st_nlink == 1) {
    int output = CreateTemporaryBeside(destination, mode, &temporary);
    if (output >= 0) return PlaceCopy(input, output, temporary, destination, &existing, false);
    if (errno != EACCES && errno != EPERM) return false;
  }
  return OverwriteInPlace(input, destination);
}

enum class Renamed { Yes, YesButFoldersNotFlushed, No };

// Puts `source` itself in the place of the existing `destination` (links
// already followed) where that leaves what a copy followed by removing
// `source` would: both are regular files of one name on one file system.
// `source` takes the destination's permission bits and owner, is flushed and
// renamed; then the folders are flushed. No: nothing was renamed, and the
// caller copies instead.
Renamed RenameInPlaceOf(const std::string& source, const std::string& destination) {
  int input = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (input < 0) return Renamed::No;
  struct stat own {};
  struct stat existing {};
  bool movable = fstat(input, &own) == 0 && S_ISREG(own.st_mode) && own.st_nlink == 1;
  if (movable) {
    // Opening for writing asks what the copy would: a destination that may
    // not be written is left to the copy to refuse.
    int probe = open(destination.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    movable = probe >= 0 && fstat(probe, &existing) == 0 && S_ISREG(existing.st_mode) &&
              existing.st_nlink == 1 && existing.st_dev == own.st_dev &&
              existing.st_ino != own.st_ino;
    if (probe >= 0) close(probe);
  }
  movable = movable && TakeIdentityOf(input, existing) && (fsync(input) == 0 || errno == EINVAL) &&
            rename(source.c_str(), destination.c_str()) == 0;
  close(input);
  if (!movable) return Renamed::No;
  std::string folder = FolderOf(destination);
  bool flushed = SyncFolder(folder) && (FolderOf(source) == folder || SyncFolder(FolderOf(source)));
  return flushed ? Renamed::Yes : Renamed::YesButFoldersNotFlushed;
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
  std::string destination = NativePath(to);
  if (!ResolveFinalLinks(&destination)) return false;
  int input = open(NativePath(from).c_str(), O_RDONLY | O_CLOEXEC);
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
  if (!CopyOpenFile(input, status.st_mode & 0777, destination, failIfExists)) {
    CloseKeepingErrno(input);
    return false;
  }
  close(input);
  return true;
}

bool MoveFileOver(const char16_t* from, const char16_t* to) {
  std::string destination = NativePath(to);
  if (ResolveFinalLinks(&destination)) {
    switch (RenameInPlaceOf(NativePath(from), destination)) {
      case Renamed::Yes:
        return true;
      case Renamed::YesButFoldersNotFlushed:
        return false;
      case Renamed::No:
        break;
    }
  }
  return CopyFileTo(from, to, false) && RemoveFile(from);
}

bool MoveFileReplacing(const char16_t* from, const char16_t* to) {
  std::string source = NativePath(from);
  std::string destination = NativePath(to);
  if (rename(source.c_str(), destination.c_str()) != 0) return false;
  // The move lasts once the folders that lost and gained the name are flushed.
  std::string folder = FolderOf(destination);
  return SyncFolder(folder) && (FolderOf(source) == folder || SyncFolder(FolderOf(source)));
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
