// Two knitfold runs on one target at the same time: the log is held
// exclusively by the first, the second gives up (KnitfoldCliTest shows that
// it touches nothing), and the target is never corrupted; a log that the
// other creates at the same moment is taken as it stands. Within a run, what
// goes on at the same time never shows: a run that ends early never touches
// the compat file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <qds/document.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "common/utf8.h"
#include "reliability/package_run.h"
#include "support/system_codes.h"

namespace qds {
namespace {

using test::ReadBytes;
namespace fs = std::filesystem;

constexpr int kFailure = test::kExitStatusMinusOne;
const char16_t kCompat[] = u"[$version 3, codepage 1200$]\n[S]\nk=2\n[T]\nx=y\n";

// Pairs of runs started together, as many as fit a few seconds: in one half
// the run that takes the log first pauses while it holds it (the fault
// injector delays its third operation, after the log's open and truncation),
// so that the other surely meets it; in the other half they race as they
// are. Each run either merges or finds the log held, and the target holds
// one merge per successful run.
TEST(ConcurrencyTest, RunsAtTheSameTimeNeverCorruptTheTarget) {
  test::Package package(u"[$version 3, codepage 1200$]\n[S]\nk=1\n", kCompat);
  const std::string old = ReadBytes(package.target());
  const std::string once = test::MergedBytes(package, old);
  const std::string twice = test::MergedBytes(package, once);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int overlapped = 0;
  for (int pair = 0; pair < 24 && std::chrono::steady_clock::now() < deadline; ++pair) {
    SCOPED_TRACE("pair " + std::to_string(pair));
    test::WriteBytes(package.target(), old);
    test::ScopedEnvironment environment(pair % 2 == 0 ? package.FaultEnvironment(3, "pause")
                                                      : test::Environment{});
    auto first = std::async(std::launch::async, [&] { return package.Run(); });
    auto second = std::async(std::launch::async, [&] { return package.Run(); });
    int merged = 0;
    for (const test::ProcessResult& result : {first.get(), second.get()}) {
      ASSERT_TRUE(result.exitCode == 0 ||
                  (result.exitCode == kFailure &&
                   result.standardError.find("creating log file") != std::string::npos))
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
}

// Writers of one target at the same time take turns under its lock: in
// each round knitfold merges while `qdstool set` and `qdstool add` change
// it, and every change whose writer exited 0 (here all: none waits the 5 s
// after which a writer gives up) is in the file afterwards.
TEST(ConcurrencyTest, WritersOfOneTargetTakeTurnsAndLoseNoChange) {
  test::Package package(u"[$version 3, codepage 1200$]\n[S]\nk=1\n", kCompat);
  const std::string target = package.target().string();
  for (int round = 0; round < 12; ++round) {
    const std::string n = std::to_string(round);
    SCOPED_TRACE("round " + n);
    auto merge = std::async(std::launch::async, [&] { return package.Run(); });
    auto set = std::async(std::launch::async, [&] {
      return test::QdsTool({"set", target, "Registry", "Version", n});
    });
    auto add = std::async(std::launch::async, [&] {
      return test::QdsTool({"add", target, "S", "j", "a" + n});
    });
    for (const test::ProcessResult& result : {merge.get(), set.get(), add.get()}) {
      ASSERT_EQ(result.exitCode, 0) << result.standardError;
    }
    QdsDocument document;
    ASSERT_TRUE(document.Load(package.target()).Ok());
    std::string text;
    EXPECT_TRUE(document.Get("T", "x", 0, &text).Ok() && text == "y") << "the merge was lost";
    EXPECT_TRUE(document.Get("Registry", "Version", 0, &text).Ok() && text == n) << "set lost";
    std::vector<std::string> added;
    EXPECT_TRUE(document.GetAll("S", "j", &added).Ok());
    EXPECT_EQ(added.size(), static_cast<size_t>(round + 1)) << "an add was lost";
  }
}

// Another account may read the target's folder but not write it: it can
// open neither the log nor the lock file, and so cannot lock either to hold
// runs off; a log that an earlier version left readable is made private by
// the next run.
TEST(ConcurrencyTest, OnlyAccountsThatMayWriteTheFolderCanHoldARunOff) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may run a command as another account";
  test::Package package(u"[$version 3, codepage 1200$]\n[S]\nk=1\n", kCompat);
  fs::permissions(package.root(), fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
  test::WriteBytes(package.log(), "");
  chmod(package.log().c_str(), 0644);
  ASSERT_EQ(package.Run().exitCode, 0);
  for (const fs::path& held : {package.log(), fs::path(package.target().string() + ".lock")}) {
    SCOPED_TRACE(held.string());
    auto holder = std::async(std::launch::async, [&] {
      return test::RunProcess("/usr/bin/setpriv",
                              {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/flock",
                               "-s", held.string(), "sleep", "2"});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    test::ProcessResult run = package.Run();
    EXPECT_EQ(run.exitCode, 0) << run.standardError << EncodeUtf8(package.LogText());
    holder.get();
  }
}

// A log that another run creates between this run's finding none and its
// creating one is opened as it stands: the run goes on with it, and empties
// it once it holds the lock. The fault injector holds the run 100 ms before
// its create, and the log is planted meanwhile; a run whose moment was
// missed (the run created the log first) is tried again.
TEST(ConcurrencyTest, ALogCreatedMeanwhileByAnotherRunIsTaken) {
  test::Package package(u"[$version 3, codepage 1200$]\n[S]\nk=1\n", kCompat);
  const std::string old = ReadBytes(package.target());
  const std::string once = test::MergedBytes(package, old);
  bool planted = false;
  for (int attempt = 0; attempt < 5 && !planted; ++attempt) {
    test::WriteBytes(package.target(), old);
    fs::remove(package.log());
    fs::remove(package.report());
    auto run = std::async(std::launch::async, [&] {
      return package.Run(package.FaultEnvironment(2, "pause", "open app.qds.log"));
    });
    while (run.wait_for(std::chrono::milliseconds(1)) == std::future_status::timeout) {
      if (test::ReadFaultReport(package.report()).acted.empty()) continue;
      int planting = open(package.log().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      planted = planting >= 0 && write(planting, "another run", 11) == 11;
      if (planting >= 0) close(planting);
      break;
    }
    test::ProcessResult result = run.get();
    if (!planted) continue;
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(ReadBytes(package.target()), once);
    EXPECT_EQ(package.LogText(), u"");
  }
  EXPECT_TRUE(planted) << "the run never waited before creating its log";
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
  for (bool targetMissing : {false, true}) {
    if (targetMissing) fs::remove(package.target());
    fs::remove(package.report());
    test::ProcessResult result =
        package.Run(package.FaultEnvironment(0, "fail"), std::chrono::seconds(10));
    EXPECT_LT(result.elapsed, std::chrono::seconds(2));
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_EQ(package.LogText(), targetMissing
                                     ? u"Error copying " + target + u" to " +
                                           test::WidePath(package.backup()) + u" : " +
                                           test::SystemErrorText(test::kCodeMissingFile) + u"\n"
                                     : u"Error 7 loading file " + target + u"\n");
    EXPECT_FALSE(fs::exists(package.backup()));
    for (const std::string& operation : test::ReadFaultReport(package.report()).operations) {
      EXPECT_EQ(operation.find(package.compat().string()), std::string::npos) << operation;
    }
  }
}

}  // namespace
}  // namespace qds
