// The order of a run's system calls, traced with strace: a copy that replaces
// the backup or the target is on disk before it takes the name, and the
// folder is flushed after, so that a crash at any moment leaves either the
// old file or the whole new one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include "reliability/package_run.h"

namespace qds {
namespace {

namespace fs = std::filesystem;

const fs::path kStrace = "/usr/bin/strace";

// One traced call: a flush of the file or folder `path`, or a rename of
// `path` to `to`.
struct Call {
  enum Kind { Flush, Rename } kind;
  std::string path;
  std::string to;
};

// The quoted texts of a traced line, in order (the paths here hold no quote).
std::vector<std::string> QuotedTexts(const std::string& line) {
  std::vector<std::string> texts;
  for (size_t open = line.find('"'); open != std::string::npos;) {
    size_t close = line.find('"', open + 1);
    if (close == std::string::npos) break;
    texts.push_back(line.substr(open + 1, close - open - 1));
    open = line.find('"', close + 1);
  }
  return texts;
}

// The successful flushes and renames of an strace log written with -f (which
// starts each line with the number of the thread that made the call) and -y
// (which shows the path of each descriptor as "3</path>").
std::vector<Call> ReadTrace(const fs::path& trace) {
  std::vector<Call> calls;
  std::istringstream lines(test::ReadBytes(trace));
  for (std::string line; std::getline(lines, line);) {
    line.erase(0, line.find_first_not_of("0123456789 "));
    if (!line.ends_with(") = 0")) continue;
    if (line.starts_with("fsync(") || line.starts_with("fdatasync(")) {
      size_t open = line.find('<');
      size_t close = line.rfind(">)");
      if (open != std::string::npos && close != std::string::npos && open < close) {
        calls.push_back({Call::Flush, line.substr(open + 1, close - open - 1), {}});
      }
    } else if (line.starts_with("rename")) {
      std::vector<std::string> paths = QuotedTexts(line);
      if (paths.size() == 2) calls.push_back({Call::Rename, paths[0], paths[1]});
    }
  }
  return calls;
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
  const fs::path trace = package.root() / "trace.txt";
  // The sanitizer build's leak check cannot work under a tracer.
  const char* asan = std::getenv("ASAN_OPTIONS");
  test::ScopedEnvironment noLeakCheck(
      {{"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":detect_leaks=0"}});
  test::ProcessResult result =
      test::RunProcess(kStrace,
                       {"-f", "-y", "-qq", "-e", "trace=fsync,fdatasync,rename,renameat,renameat2",
                        "-o", trace.string(), test::BuiltProgram("src/knitfold").string(),
                        package.target().string(), package.compat().string()},
                       package.root());
  ASSERT_EQ(result.exitCode, 0) << result.standardError;
  const std::vector<Call> calls = ReadTrace(trace);

  for (const fs::path& destination : {package.backup(), package.target()}) {
    SCOPED_TRACE(destination.string());
    std::optional<size_t> renamed;
    for (size_t i = 0; i < calls.size() && !renamed; ++i) {
      if (calls[i].kind == Call::Rename && calls[i].to == destination.string()) renamed = i;
    }
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

}  // namespace
}  // namespace qds
