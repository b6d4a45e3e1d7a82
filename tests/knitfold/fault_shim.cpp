// A fault injector for whole-program tests, loaded with LD_PRELOAD. It counts
// the file-system operations that a run makes on the paths below one folder
// (and on the descriptors opened there), and at the N-th one it acts:
//
//   KNITFOLD_FAULT_ROOT     the folder whose paths count (absolute)
//   KNITFOLD_FAULT_AT       N, from 1; 0 or unset only counts
//   KNITFOLD_FAULT_ACTION   "fail" (default): the operation does nothing and
//                           fails with a fitting error number;
//                           "kill": the process is killed (SIGKILL) before
//                           the operation;
//                           "pause": the operation waits 100 ms, then runs
//   KNITFOLD_FAULT_REPORT   a file that receives one line per counted
//                           operation: "N OPERATION PATH", and " !" after the
//                           one acted on
//
// Counted: the calls that src/platform makes on files (add any new one here):
// open, openat, read, write, copy_file_range (on its destination), fsync,
// close, rename, renameat, linkat, unlink, unlinkat, mkdir, ftruncate,
// fchmod, fchown. The error
// numbers of "fail": ENOSPC for what creates or writes (a creating open,
// write, copy_file_range, mkdir), EIO for reads, flushes, closes and
// truncations, EACCES for other opens, renames and links, ENOENT for
// unlinks, EPERM for fchmod and fchown. A failed close still closes the
// descriptor, as the system does.
//
// Only the real functions of the next library are called; nothing here is
// counted twice, and the dynamic loader's own file access never passes here.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

enum class Action { Fail, Kill, Pause };

constexpr int kMaxTracked = 1024;
constexpr size_t kPathKept = 512;  // of each tracked descriptor's path, for the report

struct State {
  bool ready = false;
  char root[4096] = {};
  size_t rootLength = 0;
  long at = 0;
  std::atomic<long> count{0};  // a run loads its two files on two threads
  Action action = Action::Fail;
  int report = -1;
  // The paths of the counted descriptors; empty for the others.
  char paths[kMaxTracked][kPathKept] = {};
};

State state;

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using CloseFn = int (*)(int);

void Initialize() {
  if (state.ready) return;
  state.ready = true;
  if (const char* root = getenv("KNITFOLD_FAULT_ROOT"); root != nullptr && root[0] == '/') {
    state.rootLength = strlen(root);
    if (state.rootLength >= sizeof state.root) state.rootLength = 0;
    memcpy(state.root, root, state.rootLength);
    while (state.rootLength > 1 && state.root[state.rootLength - 1] == '/') --state.rootLength;
  }
  if (const char* at = getenv("KNITFOLD_FAULT_AT")) state.at = strtol(at, nullptr, 10);
  if (const char* action = getenv("KNITFOLD_FAULT_ACTION")) {
    if (strcmp(action, "kill") == 0) state.action = Action::Kill;
    if (strcmp(action, "pause") == 0) state.action = Action::Pause;
  }
  if (const char* report = getenv("KNITFOLD_FAULT_REPORT")) {
    static const OpenFn open = Real<OpenFn>("open");
    state.report = open(report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }
}

// True for a path at or below the root, relative paths taken from the
// current folder.
bool Counts(const char* path) {
  Initialize();
  if (state.rootLength == 0 || path == nullptr) return false;
  char absolute[8192];
  if (path[0] != '/') {
    if (getcwd(absolute, 4096) == nullptr) return false;
    size_t length = strlen(absolute);
    snprintf(absolute + length, sizeof absolute - length, "/%s", path);
    path = absolute;
  }
  return strncmp(path, state.root, state.rootLength) == 0 &&
         (path[state.rootLength] == '/' || path[state.rootLength] == '\0');
}

bool Tracked(int fd) { return fd >= 0 && fd < kMaxTracked && state.paths[fd][0] != '\0'; }

// Counts the descriptor's operations from now on (a null path: no longer).
void Track(int fd, const char* path) {
  if (fd < 0 || fd >= kMaxTracked) return;
  snprintf(state.paths[fd], kPathKept, "%s", path != nullptr && path[0] != '\0' ? path : "");
}

void Report(long number, const char* operation, const char* what, bool acted) {
  if (state.report < 0) return;
  static const WriteFn write = Real<WriteFn>("write");
  char line[8400];
  int length =
      snprintf(line, sizeof line, "%ld %s %s%s\n", number, operation, what, acted ? " !" : "");
  if (length > 0) write(state.report, line, std::min(static_cast<size_t>(length), sizeof line - 1));
}

// Counts one operation; true when it must fail with `error` (errno is set).
bool Strike(const char* operation, const char* what, int error) {
  long number = ++state.count;
  bool acted = number == state.at;
  Report(number, operation, what, acted);
  if (!acted) return false;
  switch (state.action) {
    case Action::Kill:
      kill(getpid(), SIGKILL);
      return false;
    case Action::Pause: {
      timespec pause{0, 100 * 1000 * 1000};
      nanosleep(&pause, nullptr);
      return false;
    }
    case Action::Fail:
      errno = error;
      return true;
  }
  return false;
}

bool StrikePath(const char* operation, const char* path, int error) {
  return Counts(path) && Strike(operation, path, error);
}

bool StrikeDescriptor(const char* operation, int fd, int error) {
  Initialize();
  return Tracked(fd) && Strike(operation, state.paths[fd], error);
}

mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

int OpenError(int flags) { return (flags & O_CREAT) != 0 ? ENOSPC : EACCES; }

int CountedOpen(const char* name, const char* path, int flags, mode_t mode) {
  static const OpenFn open = Real<OpenFn>("open");
  bool counts = Counts(path);
  if (counts && Strike(name, path, OpenError(flags))) return -1;
  int fd = open(path, flags, mode);
  if (counts) Track(fd, path);
  return fd;
}

// A path relative to a folder descriptor counts when the folder does.
bool CountsAt(int dirfd, const char* path) {
  if (path == nullptr) return false;
  if (path[0] == '/' || dirfd == AT_FDCWD) return Counts(path);
  Initialize();
  return Tracked(dirfd);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return CountedOpen("open", path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  static const OpenAtFn openat = Real<OpenAtFn>("openat");
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  bool counts = CountsAt(dirfd, path);
  if (counts && Strike("open", path, OpenError(flags))) return -1;
  int fd = openat(dirfd, path, flags, mode);
  if (counts) Track(fd, path);
  return fd;
}

ssize_t read(int fd, void* buffer, size_t count) {
  static const auto read = Real<ssize_t (*)(int, void*, size_t)>("read");
  if (StrikeDescriptor("read", fd, EIO)) return -1;
  return read(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  static const WriteFn write = Real<WriteFn>("write");
  if (StrikeDescriptor("write", fd, ENOSPC)) return -1;
  return write(fd, buffer, count);
}

ssize_t copy_file_range(int input, off64_t* inputOffset, int output, off64_t* outputOffset,
                        size_t count, unsigned int flags) {
  static const auto copy_file_range =
      Real<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned int)>("copy_file_range");
  if (StrikeDescriptor("copy_file_range", output, ENOSPC)) return -1;
  return copy_file_range(input, inputOffset, output, outputOffset, count, flags);
}

int fsync(int fd) {
  static const auto fsync = Real<int (*)(int)>("fsync");
  if (StrikeDescriptor("fsync", fd, EIO)) return -1;
  return fsync(fd);
}

int close(int fd) {
  static const CloseFn close = Real<CloseFn>("close");
  bool fails = StrikeDescriptor("close", fd, EIO);
  Track(fd, nullptr);
  if (!fails) return close(fd);
  close(fd);
  errno = EIO;
  return -1;
}

int ftruncate(int fd, off_t length) {
  static const auto ftruncate = Real<int (*)(int, off_t)>("ftruncate");
  if (StrikeDescriptor("ftruncate", fd, EIO)) return -1;
  return ftruncate(fd, length);
}

int fchmod(int fd, mode_t mode) {
  static const auto fchmod = Real<int (*)(int, mode_t)>("fchmod");
  if (StrikeDescriptor("fchmod", fd, EPERM)) return -1;
  return fchmod(fd, mode);
}

int fchown(int fd, uid_t owner, gid_t group) {
  static const auto fchown = Real<int (*)(int, uid_t, gid_t)>("fchown");
  if (StrikeDescriptor("fchown", fd, EPERM)) return -1;
  return fchown(fd, owner, group);
}

int rename(const char* from, const char* to) {
  static const auto rename = Real<int (*)(const char*, const char*)>("rename");
  if ((Counts(from) || Counts(to)) && Strike("rename", to, EACCES)) return -1;
  return rename(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static const auto renameat = Real<int (*)(int, const char*, int, const char*)>("renameat");
  if ((CountsAt(fromDir, from) || CountsAt(toDir, to)) && Strike("rename", to, EACCES)) return -1;
  return renameat(fromDir, from, toDir, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  static const auto linkat = Real<int (*)(int, const char*, int, const char*, int)>("linkat");
  if ((CountsAt(fromDir, from) || CountsAt(toDir, to)) && Strike("link", to, EACCES)) return -1;
  return linkat(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
  static const auto unlink = Real<int (*)(const char*)>("unlink");
  if (StrikePath("unlink", path, ENOENT)) return -1;
  return unlink(path);
}

int unlinkat(int dirfd, const char* path, int flags) {
  static const auto unlinkat = Real<int (*)(int, const char*, int)>("unlinkat");
  if (CountsAt(dirfd, path) && Strike("unlink", path, ENOENT)) return -1;
  return unlinkat(dirfd, path, flags);
}

int mkdir(const char* path, mode_t mode) {
  static const auto mkdir = Real<int (*)(const char*, mode_t)>("mkdir");
  if (StrikePath("mkdir", path, ENOSPC)) return -1;
  return mkdir(path, mode);
}

}  // extern "C"
