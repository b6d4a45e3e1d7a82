// The order of a run's system calls, traced with strace: a copy that replaces
// the backup or the target is on disk before it takes the name, and the
// folder is flushed after, so that a crash at any moment leaves either the
// old file or the whole new one; a large merged text goes to the disk while
// it is written, ahead of its flush.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include "knitfold/package_run.h"

namespace qds {
namespace {

namespace fs = std::filesystem;

const fs::path kStrace = "/usr/bin/strace";

// One traced call: a flush of the file or folder `path`, a rename of `path`
// to `to`, or a write-back request for `length` bytes of `path` from
// `offset`.
struct Call {
  enum Kind { Flush, Rename, WriteBack } kind;
  std::string path;
  std::string to;
  long long offset = 0;
  long long length = 0;
};

// The path of the first descriptor of a line traced with -y, "3</path>".
std::string DescriptorPath(const std::string& line) {
  size_t open = line.find('<');
  size_t close = line.find('>', open);
  if (open == std::string::npos || close == std::string::npos) return {};
  return line.substr(open + 1, close - open - 1);
}

// The paths of a traced call, in order: its quoted names (these hold no
// quote), each joined to the folder of the descriptor before it ("3</dir>",
// as renameat takes them) unless it is absolute.
std::vector<std::string> TracedPaths(const std::string& line) {
  std::vector<std::string> paths;
  std::string folder;
  for (size_t at = line.find_first_of("<\""); at != std::string::npos;
       at = line.find_first_of("<\"", at + 1)) {
    size_t end = line.find(line[at] == '<' ? '>' : '"', at + 1);
    if (end == std::string::npos) break;
    std::string text = line.substr(at + 1, end - at - 1);
    if (line[at] == '<') {
      folder = text;
    } else {
      paths.push_back(folder.empty() || text.starts_with('/') ? text : folder + "/" + text);
      folder.clear();
    }
    at = end;
  }
  return paths;
}

// The successful flushes, renames and write-back requests of an strace log
// written with -f (which starts each line with the number of the thread that
// made the call) and -y (which shows the path of each descriptor as
// "3</path>").
std::vector<Call> ReadTrace(const std::string& trace) {
  std::vector<Call> calls;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    line.erase(0, line.find_first_not_of("0123456789 "));
    if (!line.ends_with(") = 0")) continue;
    if (line.starts_with("fsync(") || line.starts_with("fdatasync(")) {
      calls.push_back({Call::Flush, DescriptorPath(line), {}});
    } else if (line.starts_with("rename")) {
      std::vector<std::string> paths = TracedPaths(line);
      if (paths.size() == 2) calls.push_back({Call::Rename, paths[0], paths[1]});
    } else if (line.starts_with("sync_file_range(")) {
      Call call{Call::WriteBack, DescriptorPath(line), {}};
      // sync_file_range(3</path>, OFFSET, LENGTH, FLAGS) = 0
      std::istringstream numbers(line.substr(line.find(">, ") + 3));
      char comma = 0;
      numbers >> call.offset >> comma >> call.length;
      calls.push_back(call);
    }
  }
  return calls;
}

// The strace log of `command` (a program and its arguments) run in
// `package`'s folder, following threads, of the calls in `calls`.
std::string Trace(const test::Package& package, const std::string& calls,
                  std::vector<std::string> command) {
  const fs::path trace = package.root() / "trace.txt";
  // The sanitizer build's leak check cannot work under a tracer.
  const char* asan = std::getenv("ASAN_OPTIONS");
  test::ScopedEnvironment noLeakCheck(
      {{"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":detect_leaks=0"}});
  command.insert(command.begin(),
                 {"-f", "-y", "-qq", "-e", "trace=" + calls, "-o", trace.string()});
  test::ProcessResult result = test::RunProcess(kStrace, command, package.root());
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  return test::ReadBytes(trace);
}

std::vector<std::string> KnitfoldRun(const test::Package& package) {
  return {test::BuiltProgram("bin/knitfold").string(), package.target().string(),
          package.compat().string()};
}

// The trace of a knitfold run on `package`, of the calls in `calls`.
std::vector<Call> TraceRun(const test::Package& package, const std::string& calls) {
  return ReadTrace(Trace(package, calls, KnitfoldRun(package)));
}

// The position of the first rename of a file over `destination`.
std::optional<size_t> FindRenameOver(const std::vector<Call>& calls, const fs::path& destination) {
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].kind == Call::Rename && calls[i].to == destination.string()) return i;
  }
  return std::nullopt;
}

// The position of the first flush of `path` from `from` on.
std::optional<size_t> FindFlush(const std::vector<Call>& calls, size_t from,
                                const std::string& path) {
  for (size_t i = from; i < calls.size(); ++i) {
    if (calls[i].kind == Call::Flush && calls[i].path == path) return i;
  }
  return std::nullopt;
}

TEST(SyscallOrderTest, CopiesAreFlushedBeforeTheyTakeTheirNameAndTheFolderAfter) {
  if (!fs::exists(kStrace)) GTEST_SKIP() << "strace is not installed (Debian package strace)";
  test::Package package(u"[$version 3, codepage 1200$]\n[S]\nk=1\n", u"[S]\nk=2\n");
  const std::vector<Call> calls = TraceRun(package, "fsync,fdatasync,rename,renameat,renameat2");

  for (const fs::path& destination : {package.backup(), package.target()}) {
    SCOPED_TRACE(destination.string());
    std::optional<size_t> renamed = FindRenameOver(calls, destination);
    ASSERT_TRUE(renamed.has_value()) << "no copy was renamed over it";
    const std::string& copy = calls[*renamed].path;
    EXPECT_EQ(fs::path(copy).parent_path(), destination.parent_path());
    std::optional<size_t> flushed = FindFlush(calls, 0, copy);
    ASSERT_TRUE(flushed.has_value()) << copy << " was never flushed";
    EXPECT_LT(*flushed, *renamed);
    EXPECT_TRUE(FindFlush(calls, *renamed + 1, destination.parent_path().string()))
        << "the folder was not flushed after the rename";
  }
}

TEST(SyscallOrderTest, ALargeMergedTextIsHandedToTheDiskAsItIsWrittenAndFlushedAfter) {
  if (!fs::exists(kStrace)) GTEST_SKIP() << "strace is not installed (Debian package strace)";
  // Some 18 MB of merged text: two hand-overs of about 8 MB, and a rest that
  // only the flush writes.
  std::u16string target = u"[$version 3, codepage 1200$]\n[S]\n";
  for (int key = 0; key < 560000; ++key) {
    target += u"key";
    for (char digit : std::to_string(1000000 + key)) target += static_cast<char16_t>(digit);
    target += u"=value\n";
  }
  test::Package package(target, u"[S]\nk=2\n");
  const std::vector<Call> calls = TraceRun(package, "fsync,rename,sync_file_range");

  std::optional<size_t> renamed = FindRenameOver(calls, package.target());
  ASSERT_TRUE(renamed.has_value()) << "no copy was renamed over the target";
  const std::string& copy = calls[*renamed].path;
  std::optional<size_t> flushed = FindFlush(calls, 0, copy);
  ASSERT_TRUE(flushed.has_value()) << copy << " was never flushed";
  long long handedOver = 0;
  for (size_t i = 0; i < *flushed; ++i) {
    if (calls[i].kind != Call::WriteBack || calls[i].path != copy) continue;
    EXPECT_EQ(calls[i].offset, handedOver) << "the hand-overs leave a gap or overlap";
    handedOver = calls[i].offset + calls[i].length;
  }
  EXPECT_GE(handedOver, 16ll << 20);
  EXPECT_LT(handedOver, static_cast<long long>(fs::file_size(package.target())));
}

// No file that holds the text of a target that only its owner may read is
// ever open to anyone else, whatever the umask: the backup, the temporary
// file of a save and the hidden copies are each created for their owner
// alone and never given more than the target's bits.
TEST(SyscallOrderTest, NoCopyOfAPrivateTargetIsEverOpenToOthers) {
  if (!fs::exists(kStrace)) GTEST_SKIP() << "strace is not installed (Debian package strace)";
  test::Package package(u"[$version 3, codepage 1200$]\n[S]\nk=1\n", u"[S]\nk=2\n");
  for (const char* file : {"pkg/app.qds", "in/extra.cmd", "in/extra.key"}) {
    fs::permissions(package.root() / file, fs::perms::owner_read | fs::perms::owner_write);
  }
  const std::string calls = "openat,fchmod";
  mode_t umaskBefore = umask(0);
  std::string trace =
      Trace(package, calls, KnitfoldRun(package)) +
      Trace(package, calls,
            {test::BuiltProgram("bin/qdstool").string(), "sign", package.target().string()});
  umask(umaskBefore);
  // openat(..., O_...|O_CREAT|..., 0600) = 3</path>, fchmod(3</path>, 0600) = 0
  std::istringstream lines(trace);
  int checked = 0;
  for (std::string line; std::getline(lines, line);) {
    line.erase(0, line.find_first_not_of("0123456789 "));
    const size_t end = line.rfind(") = ");
    const bool creates = line.starts_with("openat(") && line.find("O_CREAT") != std::string::npos;
    if (end == std::string::npos || line[end + 4] == '-' ||
        !(creates || line.starts_with("fchmod("))) {
      continue;
    }
    std::string path = DescriptorPath(creates ? line.substr(end) : line);
    if (!path.starts_with((package.root() / "pkg/").string()) || path.ends_with(".log")) continue;
    ++checked;
    size_t mode = line.rfind(", ", end) + 2;
    EXPECT_EQ(std::stoi(line.substr(mode, end - mode), nullptr, 8) & 077, 0) << line;
  }
  EXPECT_GE(checked, 6) << "the trace shows fewer files made than a run makes";
}

}  // namespace
}  // namespace qds
