// Two knitfold runs on one target at the same time: the log is held
// exclusively by the first, the second gives up without touching anything,
// and the target is never corrupted.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "reliability/package_run.h"

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

TEST(ConcurrencyTest, ARunThatFindsTheLogHeldTouchesNothing) {
  test::Package package(kTarget, kCompat);
  WriteBytes(package.log(), test::Utf16Bytes(u"an earlier run's message\n"));
  auto before = test::Snapshot(package.root());
  test::ExclusiveHold hold(package.log());
  ASSERT_TRUE(hold.held());
  EXPECT_TRUE(FoundLogHeld(package.Run()));
  EXPECT_EQ(test::Snapshot(package.root()), before);
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

}  // namespace
}  // namespace qds
