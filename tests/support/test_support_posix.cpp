// The POSIX side of the test helpers: scratch folders, wide paths, child
// processes and file locks.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "common/utf8.h"
#include "support/system_codes.h"
#include "support/test_support.h"

extern char** environ;

namespace qds::test {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "knitfold-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

std::u16string WidePath(const std::filesystem::path& path) { return DecodeUtf8(path.string()); }

namespace {

std::string DrainInto(int descriptor) {
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(descriptor, buffer, sizeof buffer)) > 0) text.append(buffer, got);
  return text;
}

}  // namespace

ProcessResult RunProcess(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDir,
                         std::chrono::milliseconds timeout) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  if (!workingDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
  }
  std::vector<std::string> argv{program.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  pid_t pid;
  auto start = std::chrono::steady_clock::now();
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) throw std::runtime_error("posix_spawn failed: " + program.string());
  // The watchdog kills the process once the timeout passes, unless it has
  // ended by then (its output closed).
  std::mutex mutex;
  std::condition_variable endedOrTimedOut;
  bool ended = false;
  std::thread watchdog;
  if (timeout.count() > 0) {
    watchdog = std::thread([&] {
      std::unique_lock<std::mutex> lock(mutex);
      if (!endedOrTimedOut.wait_for(lock, timeout, [&] { return ended; })) kill(pid, SIGKILL);
    });
  }
  ProcessResult result;
  // Standard error is small; read standard output to its end first.
  result.standardOutput = DrainInto(out[0]);
  result.standardError = DrainInto(err[0]);
  close(out[0]);
  close(err[0]);
  {
    std::lock_guard<std::mutex> lock(mutex);
    ended = true;
  }
  endedOrTimedOut.notify_one();
  if (watchdog.joinable()) watchdog.join();
  int status = 0;
  waitpid(pid, &status, 0);
  result.elapsed = std::chrono::steady_clock::now() - start;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::u16string SystemErrorText(uint32_t code) {
  return DecodeUtf8(std::strerror(static_cast<int>(code)));
}

std::filesystem::path ShortPath(const std::filesystem::path& path) { return path; }

void CloseLogHandle(intptr_t handle) { close(static_cast<int>(handle)); }

ExclusiveHold::ExclusiveHold(const std::filesystem::path& path)
    : handle_(open(path.c_str(), O_WRONLY | O_CLOEXEC)) {
  if (handle_ >= 0 && flock(static_cast<int>(handle_), LOCK_EX) != 0) {
    close(static_cast<int>(handle_));
    handle_ = -1;
  }
}

ExclusiveHold::~ExclusiveHold() {
  if (held()) close(static_cast<int>(handle_));
}

}  // namespace qds::test
