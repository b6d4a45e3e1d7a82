// A fault injector for whole-program tests, loaded with LD_PRELOAD. It counts
// the file-system calls that a run makes on the paths below one folder (and
// on the descriptors opened there), and at the N-th one it acts:
//
//   KNITFOLD_FAULT_ROOT     the folder whose paths count (absolute)
//   KNITFOLD_FAULT_AT       N, from 1; 0 or unset only counts
//   KNITFOLD_FAULT_ACTION   "fail" (default): the call does nothing and fails
//                           with the error number of its row below; "kill":
//                           SIGKILL before the call; "pause": the call waits
//                           100 ms, then runs; "shorten": the file the call
//                           names is emptied, then the call runs
//   KNITFOLD_FAULT_REPORT   a file that receives "N OPERATION PATH" per
//                           counted call, and " !" after the one acted on
//   KNITFOLD_FAULT_ON       "OPERATION SUFFIX": N counts only the calls of
//                           OPERATION on a path that ends in SUFFIX, so that
//                           the calls of other threads never move it
//
// Counted: every call that src/platform makes on files (add any new one to
// the tables below). A failed close still closes the descriptor, as the
// system does. Only the next library's functions are called, so nothing is
// counted twice, and the dynamic loader's own file access never passes here.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

constexpr int kMaxTracked = 1024;

struct State {
  bool ready = false;
  char root[4096] = {};
  size_t rootLength = 0;
  long at = 0;
  std::atomic<long> count{0};  // a run loads its two files on two threads
  std::atomic<long> countOn{0};
  char onOperation[64] = {};  // empty: every counted call counts for `at`
  char onSuffix[512] = {};
  char action = 'f';  // f(ail), k(ill), p(ause) or s(horten)
  int report = -1;
  char paths[kMaxTracked][512] = {};  // of the counted descriptors; empty for others
} state;

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void Initialize() {
  if (state.ready) return;
  state.ready = true;
  if (const char* root = getenv("KNITFOLD_FAULT_ROOT"); root != nullptr && root[0] == '/') {
    state.rootLength = strlen(root) < sizeof state.root ? strlen(root) : 0;
    memcpy(state.root, root, state.rootLength);
    while (state.rootLength > 1 && state.root[state.rootLength - 1] == '/') --state.rootLength;
  }
  if (const char* at = getenv("KNITFOLD_FAULT_AT")) state.at = strtol(at, nullptr, 10);
  if (const char* action = getenv("KNITFOLD_FAULT_ACTION")) state.action = action[0];
  if (const char* on = getenv("KNITFOLD_FAULT_ON")) {
    sscanf(on, "%63s %511s", state.onOperation, state.onSuffix);
  }
  if (const char* report = getenv("KNITFOLD_FAULT_REPORT")) {
    state.report = Real<int (*)(const char*, int, ...)>("open")(
        report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
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
    snprintf(absolute + strlen(absolute), 4096, "/%s", path);
    path = absolute;
  }
  return strncmp(path, state.root, state.rootLength) == 0 &&
         (path[state.rootLength] == '/' || path[state.rootLength] == '\0');
}

bool Tracked(int fd) {
  Initialize();
  return fd >= 0 && fd < kMaxTracked && state.paths[fd][0] != '\0';
}

// A path relative to a folder descriptor counts when the folder does.
bool CountsAt(int dirfd, const char* path) {
  if (path == nullptr) return false;
  return path[0] == '/' || dirfd == AT_FDCWD ? Counts(path) : Tracked(dirfd);
}

// Counts the descriptor's calls from now on (a null path: no longer).
void Track(int fd, const char* path) {
  if (fd >= 0 && fd < kMaxTracked) snprintf(state.paths[fd], 512, "%s", path ? path : "");
}

// Counts one call on `what`; true when it must fail with `error` (set in errno).
bool Strike(const char* operation, const char* what, int error) {
  long number = ++state.count;
  bool acted = number == state.at;
  if (state.onOperation[0] != '\0') {
    size_t length = strlen(what), suffix = strlen(state.onSuffix);
    acted = strcmp(operation, state.onOperation) == 0 && length >= suffix &&
            strcmp(what + length - suffix, state.onSuffix) == 0 && ++state.countOn == state.at;
  }
  if (state.report >= 0) {
    char line[8400];
    int length =
        snprintf(line, sizeof line, "%ld %s %s%s\n", number, operation, what, acted ? " !" : "");
    static const auto write = Real<ssize_t (*)(int, const void*, size_t)>("write");
    if (length > 0) write(state.report, line, strnlen(line, sizeof line));
  }
  if (!acted) return false;
  if (state.action == 'k') kill(getpid(), SIGKILL);
  if (state.action == 'p') {
    timespec pause{0, 100 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  if (state.action == 's') truncate(what, 0);
  if (state.action != 'f') return false;
  errno = error;
  return true;
}

// Creating opens fail as on a full disk, others as if forbidden.
template <typename Open>
int CountedOpen(bool counts, const char* path, int flags, Open open) {
  if (counts && Strike("open", path, (flags & O_CREAT) != 0 ? ENOSPC : EACCES)) return -1;
  int fd = open();
  if (counts) Track(fd, path);
  return fd;
}

mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

// One row per counted call: its name as reported, its error number, what it
// names (a descriptor FD, or the path PATH), and its signature.
#define COUNTED(Ret, name, operation, error, counts, what, Params, Args) \
  Ret name Params {                                                      \
    static const auto real = Real<Ret(*) Params>(#name);                 \
    if ((counts) && Strike(operation, what, error)) return -1;           \
    return real Args;                                                    \
  }
#define ON_FD(Ret, name, error, Params, Args) \
  COUNTED(Ret, name, #name, error, Tracked(fd), state.paths[fd], Params, Args)

extern "C" {

ON_FD(ssize_t, read, EIO, (int fd, void* buffer, size_t count), (fd, buffer, count))
ON_FD(ssize_t, write, ENOSPC, (int fd, const void* buffer, size_t count), (fd, buffer, count))
ON_FD(int, fsync, EIO, (int fd), (fd))
ON_FD(int, ftruncate, EIO, (int fd, off_t length), (fd, length))
ON_FD(int, fchmod, EPERM, (int fd, mode_t mode), (fd, mode))
ON_FD(int, fchown, EPERM, (int fd, uid_t owner, gid_t group), (fd, owner, group))
// Counted on its destination.
COUNTED(ssize_t, copy_file_range, "copy_file_range", ENOSPC, Tracked(output), state.paths[output],
        (int input, off64_t* inputAt, int output, off64_t* outputAt, size_t count, unsigned flags),
        (input, inputAt, output, outputAt, count, flags))
COUNTED(int, rename, "rename", EACCES, Counts(from) || Counts(to), to,
        (const char* from, const char* to), (from, to))
COUNTED(int, renameat, "rename", EACCES, CountsAt(fromDir, from) || CountsAt(toDir, to), to,
        (int fromDir, const char* from, int toDir, const char* to), (fromDir, from, toDir, to))
COUNTED(int, linkat, "link", EACCES, CountsAt(fromDir, from) || CountsAt(toDir, to), to,
        (int fromDir, const char* from, int toDir, const char* to, int flags),
        (fromDir, from, toDir, to, flags))
COUNTED(int, unlink, "unlink", ENOENT, Counts(path), path, (const char* path), (path))
COUNTED(int, unlinkat, "unlink", ENOENT, CountsAt(dirfd, path), path,
        (int dirfd, const char* path, int flags), (dirfd, path, flags))
COUNTED(int, mkdir, "mkdir", ENOSPC, Counts(path), path, (const char* path, mode_t mode),
        (path, mode))

// A mapping of a counted file, which fails as the system's would.
void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  static const auto real = Real<void* (*)(void*, size_t, int, int, int, off_t)>("mmap");
  if (fd >= 0 && Tracked(fd) && Strike("mmap", state.paths[fd], ENODEV)) return MAP_FAILED;
  return real(address, length, protection, flags, fd, offset);
}

int close(int fd) {
  static const auto real = Real<int (*)(int)>("close");
  bool fails = Tracked(fd) && Strike("close", state.paths[fd], EIO);
  Track(fd, nullptr);
  int result = real(fd);
  if (fails) errno = EIO;
  return fails ? -1 : result;
}

int open(const char* path, int flags, ...) {
  static const auto real = Real<int (*)(const char*, int, ...)>("open");
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return CountedOpen(Counts(path), path, flags, [&] { return real(path, flags, mode); });
}

int openat(int dirfd, const char* path, int flags, ...) {
  static const auto real = Real<int (*)(int, const char*, int, ...)>("openat");
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return CountedOpen(CountsAt(dirfd, path), path, flags,
                     [&] { return real(dirfd, path, flags, mode); });
}

}  // extern "C"
