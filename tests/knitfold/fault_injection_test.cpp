// Whole runs of knitfold (and qdstool) in which the N-th file-system
// operation fails, or kills the process, for every N that a run reaches:
// whatever happens, the user's package is never lost or damaged.

#include <gtest/gtest.h>
#include <qds/document.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "common/utf8.h"
#include "knitfold/package_run.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WriteBytes;
namespace fs = std::filesystem;

constexpr int kFailure = test::kExitStatusMinusOne;
constexpr int kKilled = -1;

const char16_t kTarget[] =
    u"; head\n"
    u"[$version 3, codepage 1200$]\n"
    u"[Files]\n"
    u"  a=1\n"
    u"[Reg]\n"
    u"K=v\n"
    u"; tail\n";
const char16_t kCompat[] =
    u"[$version 3, codepage 1200$]\n"
    u"[Files]\n"
    u"a=2\n"
    u"b=3\n"
    u"[New]\n"
    u"x=1\n";

// What may stand in the target's folder after any run.
const std::set<std::string> kKnownFiles = {"app.qds",
                                           "app.qds.log",
                                           "app.qds.bak",
                                           "app.qds.tmp",
                                           "TessalCF.ADF",
                                           "TessalCF.ADF/extra.cmd",
                                           "TessalCF.ADF/extra.key"};

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = ReadBytes(package_.target());
    merged_ = test::MergedBytes(package_, old_);
    mergedTwice_ = test::MergedBytes(package_, merged_);
    ASSERT_NE(merged_, old_);
    ASSERT_NE(mergedTwice_, merged_);
  }

  // The target's folder as before every run: the target, and a read-only
  // working copy left by an earlier run.
  void Reset() {
    fs::path pkg = package_.root() / "pkg";
    for (const auto& entry : fs::recursive_directory_iterator(pkg)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    }
    fs::remove_all(pkg);
    fs::create_directories(pkg / "TessalCF.ADF");
    WriteBytes(package_.target(), old_);
    WriteBytes(pkg / "TessalCF.ADF/extra.cmd", "an older copy");
    fs::permissions(pkg / "TessalCF.ADF/extra.cmd", fs::perms::owner_read);
  }

  test::FaultReport RunWithFault(long at, std::string_view action, test::ProcessResult* result) {
    Reset();
    *result = package_.RunWithFault(at, action, report_);
    return test::ReadFaultReport(report_);
  }

  void ExpectOnlyKnownFiles() const {
    for (const auto& [name, bytes] : test::Snapshot(package_.root() / "pkg")) {
      EXPECT_TRUE(kKnownFiles.count(name)) << "left behind: " << name;
    }
  }

  void ExpectWorkingCopiesInPlace() const {
    fs::path folder = package_.root() / "pkg/TessalCF.ADF";
    EXPECT_EQ(ReadBytes(folder / "extra.cmd"), ReadBytes(package_.root() / "in/extra.cmd"));
    EXPECT_EQ(ReadBytes(folder / "extra.key"), ReadBytes(package_.root() / "in/extra.key"));
  }

  // The log holds messages exactly when the run failed; a run that could not
  // create its log says so on the standard error stream instead.
  void ExpectLogAgrees(const test::ProcessResult& result) const {
    bool logCreated = result.standardError.find("creating log file") == std::string::npos;
    if (result.exitCode == 0) {
      EXPECT_TRUE(logCreated);
      EXPECT_TRUE(fs::exists(package_.log()));
      EXPECT_EQ(package_.LogText(), u"");
      return;
    }
    if (!logCreated) {
      EXPECT_TRUE(!fs::exists(package_.log()) || package_.LogText().empty());
      return;
    }
    std::u16string log = package_.LogText();
    ASSERT_FALSE(log.empty()) << "a failed run without a message";
    EXPECT_EQ(log.back(), u'\n');
    EXPECT_TRUE(
        log.starts_with(u"Error copying ") ||
        (log.starts_with(u"Error ") && (log.find(u" loading file ") != std::u16string::npos ||
                                        log.find(u" saving file ") != std::u16string::npos)))
        << EncodeUtf8(log);
  }

  std::u16string BackupCopyFailure() const {
    return u"Error copying " + test::WidePath(package_.target()) + u" to " +
           test::WidePath(package_.backup()) + u" : ";
  }

  test::Package package_{kTarget, kCompat};
  fs::path report_ = package_.root() / "faults.txt";
  std::string old_;
  std::string merged_;
  std::string mergedTwice_;
};

TEST_F(FaultInjectionTest, EveryFailedOperationLeavesTheTargetWholeAndTheLogTelling) {
  test::ProcessResult result;
  long reached = 0;
  for (long n = 1;; ++n) {
    test::FaultReport report = RunWithFault(n, "fail", &result);
    if (report.acted.empty()) break;  // the run no longer reaches an n-th operation
    reached = n;
    SCOPED_TRACE("failing operation " + std::to_string(n) + ": " + report.acted);
    ASSERT_TRUE(result.exitCode == 0 || result.exitCode == kFailure) << result.exitCode;
    ExpectLogAgrees(result);
    ExpectOnlyKnownFiles();
    bool backupDeletion = report.acted == "unlink " + package_.backup().string();
    if (result.exitCode == 0) {
      EXPECT_EQ(ReadBytes(package_.target()), merged_);
      EXPECT_EQ(fs::exists(package_.backup()), backupDeletion);
      EXPECT_FALSE(fs::exists(package_.target().string() + ".tmp"));
      ExpectWorkingCopiesInPlace();
      continue;
    }
    EXPECT_EQ(ReadBytes(package_.target()), old_);
    if (fs::exists(package_.backup())) {
      // Only a backup copy that failed after its file was complete leaves it.
      EXPECT_TRUE(package_.LogText().starts_with(BackupCopyFailure()));
      EXPECT_EQ(ReadBytes(package_.backup()), old_);
    }
  }
  EXPECT_GT(reached, 30) << "the run makes fewer operations than expected";
  RecordProperty("operations", static_cast<int>(reached));
}

TEST_F(FaultInjectionTest, AKillAtAnyOperationLosesNothingAndTheNextRunCompletes) {
  test::ProcessResult result;
  long reached = 0;
  for (long n = 1;; ++n) {
    test::FaultReport report = RunWithFault(n, "kill", &result);
    if (report.acted.empty()) break;
    reached = n;
    SCOPED_TRACE("killed before operation " + std::to_string(n) + ": " + report.acted);
    ASSERT_EQ(result.exitCode, kKilled);
    // The target is either its old self or the complete merge; while it is
    // not yet the merge, the original is in place.
    ASSERT_TRUE(fs::exists(package_.target()));
    std::string left = ReadBytes(package_.target());
    ASSERT_TRUE(left == old_ || left == merged_);
    if (fs::exists(package_.backup())) {
      EXPECT_EQ(ReadBytes(package_.backup()), old_);
    }

    test::ProcessResult again = package_.Run();
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(package_.LogText(), u"");
    EXPECT_EQ(ReadBytes(package_.target()), left == old_ ? merged_ : mergedTwice_);
    EXPECT_FALSE(fs::exists(package_.backup()));
    QdsDocument merged;
    EXPECT_EQ(merged.Load(package_.target(), LoadFlags::KeepComments), LoadStatus::Ok);
  }
  EXPECT_GT(reached, 30);
}

// qdstool never writes a file in place: whichever operation of a save
// fails, an existing output holds its old bytes or the whole new text, and a
// failed write leaves it as it was.
TEST(QdsToolFaultTest, AFailedSaveLeavesAnExistingOutputWhole) {
  test::Package package(kTarget, kCompat);
  const std::string in = package.target().string();
  const std::string out = (package.root() / "pkg/out.qds").string();
  const fs::path report = package.root() / "faults.txt";
  const std::string old = "the output of an earlier run";
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"rewrite", in, out}, {"sign", in, "-o", out}}) {
    auto run = [&](long at, test::FaultReport* faults) {
      WriteBytes(out, old);
      fs::remove(report);
      test::ScopedEnvironment environment(package.FaultEnvironment(at, "fail", report));
      test::ProcessResult result =
          test::RunProcess(test::BuiltProgram("bin/qdstool"), command);
      *faults = test::ReadFaultReport(report);
      return result;
    };
    test::FaultReport faults;
    ASSERT_EQ(run(0, &faults).exitCode, 0) << command[0];
    const std::string written = ReadBytes(out);
    for (long n = 1;; ++n) {
      test::ProcessResult result = run(n, &faults);
      if (faults.acted.empty()) break;
      SCOPED_TRACE(command[0] + ", failing operation " + std::to_string(n) + ": " + faults.acted);
      // A rewrite whose load failed saves what it read: another text.
      if (faults.acted.ends_with(" " + in)) continue;
      const std::string left = ReadBytes(out);
      if (result.exitCode == 0 || left != old) {
        EXPECT_EQ(left, written);
      }
      if (faults.acted.starts_with("write ")) {
        EXPECT_EQ(left, old);
      }
    }
  }
}

// The number of the first operation of a run on `package`, as the fault
// injector counts them, that is `operation` on a path that `matches`, after
// the first operation on a path ending in `after` (when given); 0 when none
// is. The run is made to count them.
long FindOperation(const test::Package& package, std::string_view operation,
                   const std::function<bool(const std::string&)>& matches,
                   std::string_view after = {}) {
  const fs::path report = package.root() / "faults.txt";
  package.RunWithFault(0, "fail", report);
  bool started = after.empty();
  for (const std::string& line : test::ReadFaultReport(report).operations) {
    std::istringstream fields(line);
    long number = 0;
    std::string name, path;
    fields >> number >> name >> path;
    if (started && name == operation && matches(path)) return number;
    started = started || path.ends_with(after);
  }
  return 0;
}

// A failed run leaves the target the file it was: its bytes, its kind (a
// symbolic link stays that link, hard links keep sharing one file), its
// permission bits with the set-id bits and its owner, whatever the umask;
// whether the run failed before touching it (a missing compat file) or in
// the save's copy back, which the backup then undoes.
TEST(RestoreTest, AFailedRunLeavesTheTargetTheFileItWas) {
  static const struct {
    const char* what;
    mode_t umask;
    void (*make)(const fs::path& pkg);
  } kinds[] = {
      {"symbolic link", 022,
       [](const fs::path& pkg) {
         fs::rename(pkg / "app.qds", pkg / "real.qds");
         fs::create_symlink("real.qds", pkg / "app.qds");
       }},
      {"second hard link", 022,
       [](const fs::path& pkg) { fs::create_hard_link(pkg / "app.qds", pkg / "hard.qds"); }},
      {"mode 2664, another owner", 022,
       [](const fs::path& pkg) {
         ASSERT_EQ(chown((pkg / "app.qds").c_str(), 65534, 65534), 0);
         ASSERT_EQ(chmod((pkg / "app.qds").c_str(), 02664), 0);
       }},
      {"umask 077", 077, [](const fs::path&) {}},
  };
  struct Facts {
    std::string bytes, link;
    struct stat status;
  };
  auto factsOf = [](const fs::path& target) {
    Facts facts{ReadBytes(target), fs::is_symlink(target) ? fs::read_symlink(target) : "", {}};
    stat(target.c_str(), &facts.status);
    return facts;
  };
  for (const auto& kind : kinds) {
    for (bool inCopyBack : {false, true}) {
      SCOPED_TRACE(std::string(kind.what) + (inCopyBack ? ", failed copy back" : ", no compat"));
      auto prepare = [&] {
        auto package = std::make_unique<test::Package>(kTarget, kCompat);
        kind.make(package->root() / "pkg");
        if (!inCopyBack) fs::remove(package->compat());
        return package;
      };
      // The first flush of the target's file or folder once the merged text
      // is written: the target then holds it, or part of it.
      auto notTemporary = [](const std::string& path) { return !path.ends_with(".tmp"); };
      long at = inCopyBack ? FindOperation(*prepare(), "fsync", notTemporary, "app.qds.tmp") : 0;
      ASSERT_EQ(at > 0, inCopyBack);
      auto package = prepare();
      const fs::path target = package->target();
      const Facts before = factsOf(target);
      mode_t umaskBefore = umask(kind.umask);
      test::ProcessResult result = package->RunWithFault(at, "fail", package->root() / "faults");
      umask(umaskBefore);
      const Facts after = factsOf(target);
      EXPECT_EQ(result.exitCode, kFailure);
      EXPECT_EQ(after.bytes, before.bytes);
      EXPECT_EQ(after.link, before.link);
      EXPECT_EQ(after.status.st_mode & 07777, before.status.st_mode & 07777);
      EXPECT_EQ(after.status.st_uid, before.status.st_uid);
      EXPECT_EQ(after.status.st_gid, before.status.st_gid);
      EXPECT_EQ(after.status.st_nlink, before.status.st_nlink);
      // Untouched, the target is the very same file.
      if (!inCopyBack) {
        EXPECT_EQ(after.status.st_ino, before.status.st_ino);
      }
      if (fs::exists(target.parent_path() / "hard.qds")) {
        EXPECT_TRUE(fs::equivalent(target, target.parent_path() / "hard.qds"));
      }
      EXPECT_FALSE(fs::exists(package->backup()));
    }
  }
}

// A full disk where the merged text is written, and where the message is:
// the partly written temporary file goes before the failure is told, and a
// message that the log cannot take goes to standard error.
TEST(FullDiskTest, TheTemporaryFileGoesAndTheMessageIsTold) {
  for (const char* full : {"app.qds.tmp", "app.qds.log"}) {
    SCOPED_TRACE(std::string("a full disk at the first write to ") + full);
    const bool logFull = std::string_view(full) == "app.qds.log";
    auto prepare = [&] {
      auto package = std::make_unique<test::Package>(kTarget, kCompat);
      if (logFull) fs::remove(package->compat());  // for a message to write
      return package;
    };
    long at = FindOperation(*prepare(), "write",
                            [&](const std::string& path) { return path.ends_with(full); });
    auto package = prepare();
    test::ProcessResult result = package->RunWithFault(at, "fail", package->root() / "faults");
    EXPECT_EQ(result.exitCode, kFailure);
    const std::string target = package->target().string();
    if (logFull) {
      EXPECT_EQ(result.standardError, "Error 2 loading file " + package->compat().string() + "\n");
    } else {
      EXPECT_EQ(package->LogText(), u"Error 6 saving file " + test::WidePath(target) + u"\n");
    }
    EXPECT_FALSE(fs::exists(target + ".tmp"));
    EXPECT_FALSE(fs::exists(package->backup()));
    EXPECT_EQ(ReadBytes(target), test::Qds(kTarget));
  }
}

// The same on a file system that is really full.
TEST(FullDiskTest, OnAFullFileSystemTheMessageStillReachesTheLog) {
  test::Package package(kTarget, kCompat);
  const fs::path pkg = package.root() / "pkg";
  if (test::RunProcess("/bin/mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", pkg}).exitCode) {
    GTEST_SKIP() << "a 64 KiB tmpfs cannot be mounted here (it takes root, and a system that lets "
                    "it mount)";
  }
  struct Unmount {
    fs::path folder;
    ~Unmount() { test::RunProcess("/bin/umount", {"-l", folder.string()}); }
  } unmount{pkg};
  // Room for the target, its backup and the working copies, not for the merge.
  std::u16string text = u"[$version 3, codepage 1200$]\n[S]\n";
  while (text.size() < 10000) text += u"key=value\n";
  WriteBytes(package.target(), test::Qds(text));
  EXPECT_EQ(package.Run().exitCode, kFailure);
  EXPECT_EQ(package.LogText(), u"Error 6 saving file " + test::WidePath(package.target()) + u"\n");
  EXPECT_EQ(ReadBytes(package.target()), test::Qds(text));
  EXPECT_EQ(test::Snapshot(pkg).count("app.qds.tmp") + test::Snapshot(pkg).count("app.qds.bak"),
            0u);
}

}  // namespace
}  // namespace qds
