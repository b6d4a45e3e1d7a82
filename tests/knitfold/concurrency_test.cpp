// Two knitfold runs on one target at the same time: the log is held
// exclusively by the first, the second gives up (KnitfoldCliTest shows that
// it touches nothing), and the target is never corrupted. Within a run, what goes on at the same
// time never shows: a run that ends early never touches the compat file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>

#include "knitfold/package_run.h"
#include "support/system_codes.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WriteBytes;
namespace fs = std::filesystem;

constexpr int kFailure = test::kExitStatusMinusOne;

const char16_t kTarget[] = u"[$version 3, codepage 1200$]\n[S]\nk=1\n";
const char16_t kCompat[] = u"[$version 3, codepage 1200$]\n[S]\nk=2\n[T]\nx=y\n";

bool FoundLogHeld(const test::ProcessResult& result) {
  return result.exitCode == kFailure &&
         result.standardError.find("creating log file") != std::string::npos;
}

// Pairs of runs started together, as many as fit a few seconds: in one half
// the run that takes the log first pauses while it holds it (the fault
// injector delays one of its operations), so that the other surely meets it;
// in the other half they race as they are. Whatever the order, each run
// either merges or finds the log held, and the target holds one merge per
// successful run.
TEST(ConcurrencyTest, RunsAtTheSameTimeNeverCorruptTheTarget) {
  test::Package package(kTarget, kCompat);
  const std::string old = ReadBytes(package.target());
  const std::string once = test::MergedBytes(package, old);
  const std::string twice = test::MergedBytes(package, once);
  constexpr int kPairs = 24;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int overlapped = 0;
  for (int pair = 0; pair < kPairs && std::chrono::steady_clock::now() < deadline; ++pair) {
    SCOPED_TRACE("pair " + std::to_string(pair));
    WriteBytes(package.target(), old);
    bool paused = pair % 2 == 0;
    // Operation 3 comes after the log is taken: the log's open and truncation.
    test::ScopedEnvironment environment(
        paused ? package.FaultEnvironment(3, "pause", package.root() / "faults.txt")
               : std::map<std::string, std::string>{});
    auto first = std::async(std::launch::async, [&] { return package.Launch(); });
    auto second = std::async(std::launch::async, [&] { return package.Launch(); });
    test::ProcessResult results[] = {first.get(), second.get()};

    int merged = 0;
    for (const test::ProcessResult& result : results) {
      ASSERT_TRUE(result.exitCode == 0 || FoundLogHeld(result))
          << result.exitCode << " " << result.standardError;
      merged += result.exitCode == 0 ? 1 : 0;
    }
    ASSERT_GE(merged, 1) << "one of the runs holds the log and completes";
    overlapped += merged == 1 ? 1 : 0;
    EXPECT_EQ(ReadBytes(package.target()), merged == 1 ? once : twice);
    EXPECT_FALSE(fs::exists(package.backup()));
    EXPECT_EQ(package.LogText(), u"");
  }
  EXPECT_GT(overlapped, 0) << "no pair of runs ever met";
  RecordProperty("overlapping_pairs", overlapped);
}

// The compat file loads beside the target only where that cannot be seen. A
// run that ends before the compat file's turn (the target has a syntax
// error, or is missing so that no backup can be made) tells its own failure
// at once and never opens the compat file, here a FIFO that no one writes.
TEST(ConcurrencyTest, ARunThatEndsBeforeTheCompatLoadNeverOpensTheCompatFile) {
  test::Package package(u"[$version 3, codepage 1200$]\n[S]\n=no key\n", kCompat);
  fs::remove(package.compat());
  ASSERT_EQ(mkfifo(package.compat().c_str(), 0600), 0);
  const std::u16string target = test::WidePath(package.target());
  const fs::path report = package.root() / "faults.txt";
  const struct {
    bool targetMissing;
    std::u16string log;
  } cases[] = {
      {false, u"Error 7 loading file " + target + u"\n"},
      {true, u"Error copying " + target + u" to " + test::WidePath(package.backup()) + u" : " +
                 test::SystemErrorText(test::kCodeMissingFile) + u"\n"},
  };
  for (const auto& c : cases) {
    if (c.targetMissing) fs::remove(package.target());
    fs::remove(report);
    test::ProcessResult result =
        package.Run(package.FaultEnvironment(0, "fail", report), std::chrono::seconds(10));
    EXPECT_LT(result.elapsed, std::chrono::seconds(2));
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_EQ(package.LogText(), c.log);
    EXPECT_FALSE(fs::exists(package.backup()));
    for (const std::string& operation : test::ReadFaultReport(report).operations) {
      EXPECT_EQ(operation.find(package.compat().string()), std::string::npos) << operation;
    }
  }
}

}  // namespace
}  // namespace qds
