// The order of a run's system calls, traced with strace: a copy that replaces
// the backup or the target is on disk before it takes the name, and the
// folder is flushed after, so that a crash at any moment leaves either the
// old file or the whole new one; a large merged text goes to the disk while
// it is written, ahead of its flush.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "reliability/package_run.h"

namespace qds {
namespace {

namespace fs = std::filesystem;

const fs::path kStrace = "/usr/bin/strace";

// One successful traced call: its name, the path of its first descriptor
// (strace -y shows "3</path>"), the paths it names in quotes, each joined to
// the folder of the descriptor before it (as renameat takes them), and its
// two numbers after the descriptor (a write-back's offset and length).
struct Call {
  std::string name, path;
  std::vector<std::string> names;
  long long offset = 0, length = 0;
};

// The successful calls of an strace log written with -f (each line starts
// with its thread's number) and -y.
std::vector<Call> ReadTrace(const std::string& trace) {
  std::vector<Call> calls;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    line.erase(0, line.find_first_not_of("0123456789 "));
    if (!line.ends_with(") = 0")) continue;
    Call call;
    call.name = line.substr(0, line.find('('));
    std::string folder;
    for (size_t at = line.find_first_of("<\""); at != line.npos;
         at = line.find_first_of("<\"", at + 1)) {
      size_t end = line.find(line[at] == '<' ? '>' : '"', at + 1);
      if (end == line.npos) break;
      std::string text = line.substr(at + 1, end - at - 1);
      if (line[at] == '"') {
        call.names.push_back(folder.empty() || text.starts_with('/') ? text : folder + "/" + text);
      } else if (call.path.empty()) {
        call.path = text;
        std::istringstream numbers(line.substr(end + 3));
        char comma = 0;
        numbers >> call.offset >> comma >> call.length;
      }
      folder = line[at] == '<' ? text : "";
      at = end;
    }
    calls.push_back(call);
  }
  return calls;
}

// The strace log of `command` run in `package`'s folder, following threads,
// of the calls in `calls`.
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

// The position of the first call from `from` on that is a flush of `path`,
// or with `renamedOver`, a rename of a file over `path`; calls.size() if none.
size_t Find(const std::vector<Call>& calls, size_t from, const std::string& path,
            bool renamedOver = false) {
  for (; from < calls.size(); ++from) {
    const Call& c = calls[from];
    if (renamedOver ? c.name.starts_with("rename") && c.names.size() == 2 && c.names[1] == path
                    : c.name.ends_with("sync") && c.path == path) {
      break;
    }
  }
  return from;
}

// Some 18 MB of merged text: the copy that becomes the target is also handed
// to the disk in pieces as it is written, each where the last one ended.
TEST(SyscallOrderTest, CopiesAreFlushedBeforeTheyTakeTheirNameAndTheFolderAfter) {
  if (!fs::exists(kStrace)) GTEST_SKIP() << "strace is not installed (Debian package strace)";
  std::u16string target = u"[$version 3, codepage 1200$]\n[S]\n";
  for (int key = 1000000; key < 1560000; ++key) {
    std::string digits = std::to_string(key);
    target += u"key" + std::u16string(digits.begin(), digits.end()) + u"=value\n";
  }
  test::Package package(target, u"[S]\nk=2\n");
  const std::vector<Call> calls = ReadTrace(Trace(
      package, "fsync,fdatasync,rename,renameat,renameat2,sync_file_range", KnitfoldRun(package)));
  for (const fs::path& destination : {package.backup(), package.target()}) {
    SCOPED_TRACE(destination.string());
    const size_t renamed = Find(calls, 0, destination, true);
    ASSERT_LT(renamed, calls.size()) << "no copy was renamed over it";
    const std::string& copy = calls[renamed].names[0];
    EXPECT_EQ(fs::path(copy).parent_path(), destination.parent_path());
    const size_t flushed = Find(calls, 0, copy);
    EXPECT_LT(flushed, renamed) << copy << " was not flushed before";
    EXPECT_LT(Find(calls, renamed + 1, destination.parent_path()), calls.size())
        << "the folder was not flushed after the rename";
    if (destination != package.target()) continue;
    long long handedOver = 0;
    for (size_t i = 0; i < flushed; ++i) {
      if (calls[i].name != "sync_file_range" || calls[i].path != copy) continue;
      EXPECT_EQ(calls[i].offset, handedOver) << "the hand-overs leave a gap or overlap";
      handedOver = calls[i].offset + calls[i].length;
    }
    // Most of the text goes before the flush (two pieces of 8 MB), the rest with it.
    EXPECT_GE(handedOver, 16ll << 20);
    EXPECT_LT(handedOver, static_cast<long long>(fs::file_size(package.target())));
  }
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
  mode_t umaskBefore = umask(0);
  std::string trace =
      Trace(package, "openat,fchmod", KnitfoldRun(package)) +
      Trace(package, "openat,fchmod",
            {test::BuiltProgram("bin/qdstool").string(), "sign", package.target().string()});
  umask(umaskBefore);
  // openat(..., O_...|O_CREAT|..., 0600) = 3</path>, fchmod(3</path>, 0600) = 0
  std::istringstream lines(trace);
  int checked = 0;
  for (std::string line; std::getline(lines, line);) {
    line.erase(0, line.find_first_not_of("0123456789 "));
    const size_t end = line.rfind(") = ");
    const bool creates = line.starts_with("openat(") && line.find("O_CREAT") != line.npos;
    if (end == line.npos || line[end + 4] == '-' || !(creates || line.starts_with("fchmod("))) {
      continue;
    }
    const size_t open = line.find('<', creates ? end : 0);
    std::string path = line.substr(open + 1, line.find('>', open) - open - 1);
    if (!path.starts_with((package.root() / "pkg/").string()) || path.ends_with(".log")) continue;
    ++checked;
    size_t mode = line.rfind(", ", end) + 2;
    EXPECT_EQ(std::stoi(line.substr(mode, end - mode), nullptr, 8) & 077, 0) << line;
  }
  EXPECT_GE(checked, 6) << "the trace shows fewer files made than a run makes";
}

}  // namespace
}  // namespace qds
