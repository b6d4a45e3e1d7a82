// The POSIX implementation of replace.h: copies and moves over the
// names a user gave, and the new files at the names the program picks.
//
// Every new file starts as a hidden file beside its destination, created
// exclusively with mode 0600 under a name with a random part, so that no one
// can prepare the name in advance and no one else can read the text while it
// is written. It gets its final permission bits (and owner) only when it is
// complete, just before it is renamed onto its name.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors.h"
#include "platform/posix_support.h"
#include "platform/random.h"
#include "platform/replace.h"

namespace qds::platform {

namespace {

CreatedFile IdentityOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

// False, with errno at kErrorNotOwnFile, when `status` is not the file that
// `expected` names (no expectation: any file will do).
bool IsExpectedFile(const struct stat& status, const CreatedFile* expected) {
  if (expected == nullptr || IdentityOf(status) == *expected) return true;
  errno = static_cast<int>(kErrorNotOwnFile);
  return false;
}

// The folder of a native path ("." for a bare name), and the name in it.
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameIn(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Opens a folder for the *at calls and for flushing; with `mayBeLink` false,
// a folder name that is a symbolic link fails with ELOOP.
int OpenFolder(const std::string& folder, bool mayBeLink) {
  return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (mayBeLink ? 0 : O_NOFOLLOW));
}

// Flushes a file or folder to disk. A file system that cannot flush (EINVAL)
// has nothing more to offer and counts as flushed.
bool Flush(int descriptor) { return fsync(descriptor) == 0 || errno == EINVAL; }

bool SyncFolder(const std::string& folder) {
  int descriptor = OpenFolder(folder, true);
  if (descriptor < 0) return false;
  if (!Flush(descriptor)) {
    CloseKeepingErrno(descriptor);
    return false;
  }
  return close(descriptor) == 0;
}

void UnlinkKeepingErrno(int folder, const std::string& name) {
  ErrnoKeeper keep;
  unlinkat(folder, name.c_str(), 0);
}

// The process's umask. Linux tells it in /proc/self/status; elsewhere it is
// read by setting it, and set back at once.
mode_t ProcessUmask() {
  int status = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (status >= 0) {
    char text[4096];
    ssize_t got = ReadSome(status, text, sizeof text - 1);
    close(status);
    text[got > 0 ? got : 0] = '\0';
    if (const char* line = std::strstr(text, "\nUmask:")) {
      return static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8));
    }
  }
  mode_t mask = umask(0);
  umask(mask);
  return mask;
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

// Copies the rest of `input` to `output`.
bool CopyBytes(int input, int output) {
  KernelCopy kernelCopy = CopyInKernel(input, output);
  if (kernelCopy != KernelCopy::Unsupported) return kernelCopy == KernelCopy::Done;
  static constexpr size_t kChunk = 1 << 16;
  char buffer[kChunk];
  for (;;) {
    ssize_t got = ReadSome(input, buffer, kChunk);
    if (got == 0) return true;
    if (got < 0 || !WriteAll(output, buffer, static_cast<size_t>(got))) return false;
  }
}

// Creates a new file in `folder` under a hidden name for `name`, with a
// part that no one can guess: ".NAME.XXXXXXXXXXXXXXXX.tmp" (NAME cut to
// leave room within the system's 255 bytes of a name). It is created
// exclusively and never through a link, readable and writable by its owner
// alone. -1 on failure, with errno set.
int CreateHidden(int folder, const std::string& name, std::string* hidden) {
  constexpr size_t kNameKept = 200;
  uint64_t random = 0;
  if (SystemResult filled = FillRandom(&random, sizeof random); !filled) {
    errno = static_cast<int>(filled.SystemCode());
    return -1;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random));
  // Built by appending to a new string: GCC 12 warns falsely (-Wrestrict)
  // about the copies of operator+ and assign.
  std::string made(1, '.');
  made.append(name, 0, kNameKept).append(".").append(digits).append(".tmp");
  *hidden = std::move(made);
  return openat(folder, hidden->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0600);
}

// What a new file takes as it takes its name: permission bits, and the
// owner and group of `owner` where the process may set them.
struct FinalBits {
  mode_t mode;
  const struct stat* owner;
};

bool GiveFinalBits(int file, const FinalBits& bits) {
  if (bits.owner != nullptr) {
    ErrnoKeeper keep;  // an owner that may not be given stays as it is
    (void)fchown(file, bits.owner->st_uid, bits.owner->st_gid);
  }
  // After the owner: a change of owner clears the set-id bits.
  return fchmod(file, bits.mode) == 0;
}

// Fills the hidden file `output` (named `hidden` in `folder`) with a copy of
// `input`, gives it `bits`, flushes it and renames it onto `name` in the
// same folder, which is flushed after. With `linkOnly` it is linked there
// instead, which fails with EEXIST when the name is taken. The hidden name
// is gone afterwards, whatever happened; `made` receives the file's identity.
bool FillAndPlace(int input, int output, int folder, const std::string& hidden,
                  const std::string& name, const FinalBits& bits, bool linkOnly,
                  CreatedFile* made) {
  struct stat created;
  bool written = CopyBytes(input, output) && GiveFinalBits(output, bits) && Flush(output) &&
                 fstat(output, &created) == 0;
  if (!written) CloseKeepingErrno(output);
  if (!written || close(output) != 0) {
    UnlinkKeepingErrno(folder, hidden);
    return false;
  }
  bool placed = linkOnly ? linkat(folder, hidden.c_str(), folder, name.c_str(), 0) == 0
                         : renameat(folder, hidden.c_str(), folder, name.c_str()) == 0;
  if (!placed || linkOnly) UnlinkKeepingErrno(folder, hidden);
  if (!placed) return false;
  if (made != nullptr) *made = IdentityOf(created);
  return Flush(folder);
}

// Copies `input` over the existing `destination`, truncating it first.
bool OverwriteInPlace(int input, const std::string& destination) {
  int output = open(destination.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (output < 0) return false;
  if (!CopyBytes(input, output) || !Flush(output)) {
    CloseKeepingErrno(output);
    return false;
  }
  return close(output) == 0;
}

// Copies `input` over `destination` (links already followed); a new file
// gets `mode` less the umask. A regular file with one name is replaced in
// one step. A file with more than one name, or a device, is overwritten in
// place, so that every name keeps seeing the same file; so is a file whose
// folder may not be written, as it could be before.
bool CopyToUserName(int input, mode_t mode, const std::string& destination, bool failIfExists) {
  FinalBits bits{mode, nullptr};
  struct stat existing;
  if (!failIfExists) {
    // Opening for writing asks what overwriting would: an existing file that
    // may not be written (or a folder) is refused as before.
    int probe = open(destination.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (probe < 0 && errno != ENOENT) return false;
    if (probe >= 0) {
      bool known = fstat(probe, &existing) == 0;
      if (!known) CloseKeepingErrno(probe);
      if (!known || close(probe) != 0) return false;
      if (!S_ISREG(existing.st_mode) || existing.st_nlink != 1) {
        return OverwriteInPlace(input, destination);
      }
      bits = {static_cast<mode_t>(existing.st_mode & 07777), &existing};
    }
  }
  if (bits.owner == nullptr) bits.mode &= ~ProcessUmask();
  int folder = OpenFolder(FolderOf(destination), true);
  if (folder < 0) return false;
  std::string name = NameIn(destination);
  std::string hidden;
  int output = CreateHidden(folder, name, &hidden);
  bool placed =
      output >= 0 && FillAndPlace(input, output, folder, hidden, name, bits, failIfExists, nullptr);
  CloseKeepingErrno(folder);
  // A folder that may not be written still lets its files be overwritten.
  bool folderLocked = output < 0 && (errno == EACCES || errno == EPERM);
  if (folderLocked && bits.owner != nullptr) return OverwriteInPlace(input, destination);
  return placed;
}

// Copies the open regular file `input` to the user's name `to`; a new file
// gets `mode` less the umask.
bool CopyOpenFile(int input, const struct stat& source, mode_t mode, const char16_t* to,
                  bool failIfExists) {
  if (S_ISDIR(source.st_mode)) {
    errno = EISDIR;
    return false;
  }
  std::string destination = NativePath(to);
  return ResolveFinalLinks(&destination) && CopyToUserName(input, mode, destination, failIfExists);
}

// What a file made at a name that had none gets from MoveFileOver.
constexpr mode_t kNewFileMode = 0666;

enum class Renamed { Yes, YesButFoldersNotFlushed, No };

// Puts the open file `input` (named `source`, with status `own`) in the
// place of `destination` (links already followed) where that leaves what a
// copy followed by removing `source` would: both are regular files of one
// name on one file system, or nothing stands at `destination` yet. `input`
// takes the replaced file's permission bits and owner (a new file's bits
// less the umask when there is none), is flushed and renamed; then the
// folders are flushed. No: nothing was renamed, and the caller copies
// instead.
Renamed RenameInPlaceOf(int input, const struct stat& own, const std::string& source,
                        const std::string& destination) {
  if (!S_ISREG(own.st_mode) || own.st_nlink != 1) return Renamed::No;
  // Opening for writing asks what the copy would: a destination that may
  // not be written is left to the copy to refuse.
  int probe = open(destination.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  struct stat existing {};
  FinalBits bits{static_cast<mode_t>(kNewFileMode & ~ProcessUmask()), nullptr};
  if (probe >= 0) {
    bool replaceable = fstat(probe, &existing) == 0 && S_ISREG(existing.st_mode) &&
                       existing.st_nlink == 1 && existing.st_dev == own.st_dev &&
                       existing.st_ino != own.st_ino;
    close(probe);
    if (!replaceable) return Renamed::No;
    bits = {static_cast<mode_t>(existing.st_mode & 07777), &existing};
  } else if (errno != ENOENT) {
    return Renamed::No;
  }
  if (!GiveFinalBits(input, bits) || !Flush(input) ||
      rename(source.c_str(), destination.c_str()) != 0) {
    return Renamed::No;
  }
  std::string folder = FolderOf(destination);
  bool flushed = SyncFolder(folder) && (FolderOf(source) == folder || SyncFolder(FolderOf(source)));
  return flushed ? Renamed::Yes : Renamed::YesButFoldersNotFlushed;
}

// Removes `path` while it still shows the file `identity` names.
bool RemoveIfStill(const std::string& path, const CreatedFile& identity) {
  struct stat found;
  if (lstat(path.c_str(), &found) != 0 || !IsExpectedFile(found, &identity)) return false;
  return unlink(path.c_str()) == 0;
}

}  // namespace

SystemResult CopyFileTo(const char16_t* from, const char16_t* to, bool failIfExists) {
  int input = open(NativePath(from).c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) return LastSystemFailure();
  struct stat source;
  bool copied = fstat(input, &source) == 0 &&
                CopyOpenFile(input, source, source.st_mode & 0777, to, failIfExists);
  CloseKeepingErrno(input);
  return SystemCallResult(copied);
}

SystemResult MoveFileOver(const char16_t* from, const char16_t* to, const CreatedFile* created) {
  std::string source = NativePath(from);
  int input = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (input < 0) return LastSystemFailure();
  struct stat own;
  bool moved = fstat(input, &own) == 0 && IsExpectedFile(own, created);
  if (moved) {
    std::string destination = NativePath(to);
    Renamed renamed = ResolveFinalLinks(&destination)
                          ? RenameInPlaceOf(input, own, source, destination)
                          : Renamed::No;
    moved = renamed == Renamed::Yes ||
            (renamed == Renamed::No && CopyOpenFile(input, own, kNewFileMode, to, false) &&
             RemoveIfStill(source, IdentityOf(own)));
  }
  CloseKeepingErrno(input);
  return SystemCallResult(moved);
}

SystemResult CreateCopy(const char16_t* from, const char16_t* to, NewCopyBits bits,
                        NewCopyFolder folder, CreatedFile* made) {
  // Opened without waiting: a FIFO without a writer, or a device, must not
  // hold the run before it is refused.
  int input = open(NativePath(from).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (input < 0) return LastSystemFailure();
  std::string destination = NativePath(to);
  int folderDescriptor = -1;
  struct stat source;
  bool copied = fstat(input, &source) == 0;
  if (copied && !S_ISREG(source.st_mode)) {
    errno = S_ISDIR(source.st_mode) ? EISDIR : static_cast<int>(kErrorNotRegularFile);
    copied = false;
  }
  if (copied) {
    folderDescriptor = OpenFolder(FolderOf(destination), folder == NewCopyFolder::MayBeLink);
    copied = folderDescriptor >= 0;
  }
  if (copied) {
    mode_t mode = source.st_mode & 0777;
    if (bits == NewCopyBits::SourceLessUmask) mode &= ~ProcessUmask();
    std::string name = NameIn(destination);
    std::string hidden;
    int output = CreateHidden(folderDescriptor, name, &hidden);
    copied = output >= 0 && FillAndPlace(input, output, folderDescriptor, hidden, name,
                                         {mode, nullptr}, false, made);
  }
  if (folderDescriptor >= 0) CloseKeepingErrno(folderDescriptor);
  CloseKeepingErrno(input);
  return SystemCallResult(copied);
}

SystemResult CreateNewFile(const char16_t* path, CreatedFile* made, int* descriptor) {
  std::string native = NativePath(path);
  struct stat found;
  // Whatever stands at the name goes; a failed look leaves the reason to the
  // creation.
  if (lstat(native.c_str(), &found) == 0) {
    if (S_ISDIR(found.st_mode)) return SystemFailure(EISDIR);
    if (unlink(native.c_str()) != 0 && errno != ENOENT) return LastSystemFailure();
  }
  int opened = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  struct stat created;
  if (opened < 0 || fstat(opened, &created) != 0) {
    SystemResult failure = LastSystemFailure();
    if (opened >= 0) close(opened);
    return failure;
  }
  *made = IdentityOf(created);
  *descriptor = opened;
  return {};
}

SystemResult RemoveCreatedFile(const char16_t* path, const CreatedFile& created) {
  return SystemCallResult(RemoveIfStill(NativePath(path), created));
}

}  // namespace qds::platform
