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
#include "reliability/package_run.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WriteBytes;
namespace fs = std::filesystem;

constexpr int kFailure = test::kExitStatusMinusOne;

const char16_t kTarget[] =
    u"; head\n[$version 3, codepage 1200$]\n[Files]\n  a=1\n[Reg]\nK=v\n; tail\n";
const char16_t kCompat[] = u"[$version 3, codepage 1200$]\n[Files]\na=2\nb=3\n[New]\nx=1\n";

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = ReadBytes(package_.target());
    merged_ = test::MergedBytes(package_, old_);
    mergedTwice_ = test::MergedBytes(package_, merged_);
    ASSERT_NE(merged_, old_);
    ASSERT_NE(mergedTwice_, merged_);
  }

  // Runs with the fault at every operation that a run reaches, each from the
  // target and a read-only working copy left by an earlier run; `check`
  // judges each run by the operation acted on.
  void Sweep(std::string_view action,
             const std::function<void(const test::ProcessResult&, const std::string&)>& check) {
    long n = 1;
    for (;; ++n) {
      fs::path pkg = package_.root() / "pkg";
      for (const auto& entry : fs::recursive_directory_iterator(pkg)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
      }
      fs::remove_all(pkg);
      fs::create_directories(pkg / "TessalCF.ADF");
      WriteBytes(package_.target(), old_);
      WriteBytes(pkg / "TessalCF.ADF/extra.cmd", "an older copy");
      fs::permissions(pkg / "TessalCF.ADF/extra.cmd", fs::perms::owner_read);
      test::ProcessResult result = package_.RunWithFault(n, action);
      const std::string acted = test::ReadFaultReport(package_.report()).acted;
      if (acted.empty()) break;  // the run no longer reaches an n-th operation
      SCOPED_TRACE(std::string(action) + " at operation " + std::to_string(n) + ": " + acted);
      check(result, acted);
    }
    EXPECT_GT(n, 31) << "the run makes fewer operations than expected";
  }

  // The log holds messages exactly when the run failed; a run that could not
  // create its log says so on the standard error stream instead.
  void ExpectLogAgrees(const test::ProcessResult& result) const {
    if (result.standardError.find("creating log file") != std::string::npos) {
      EXPECT_EQ(result.exitCode, kFailure);
      EXPECT_EQ(ReadBytes(package_.log()), "");
      return;
    }
    ASSERT_TRUE(fs::exists(package_.log()));
    std::u16string log = package_.LogText();
    if (result.exitCode == 0) {
      EXPECT_EQ(log, u"");
      return;
    }
    ASSERT_FALSE(log.empty()) << "a failed run without a message";
    EXPECT_EQ(log.back(), u'\n');
    EXPECT_TRUE(log.starts_with(u"Error copying ") ||
                (log.starts_with(u"Error ") && (log.find(u" loading file ") != log.npos ||
                                                log.find(u" saving file ") != log.npos)))
        << EncodeUtf8(log);
  }

  test::Package package_{kTarget, kCompat};
  std::string old_, merged_, mergedTwice_;
};

TEST_F(FaultInjectionTest, EveryFailedOperationLeavesTheTargetWholeAndTheLogTelling) {
  // What may stand in the target's folder after any run.
  const std::set<std::string> known = {"app.qds",
                                       "app.qds.log",
                                       "app.qds.bak",
                                       "app.qds.tmp",
                                       "app.qds.lock",
                                       "TessalCF.ADF",
                                       "TessalCF.ADF/extra.cmd",
                                       "TessalCF.ADF/extra.key"};
  const fs::path copies = package_.root() / "pkg/TessalCF.ADF";
  Sweep("fail", [&](const test::ProcessResult& result, const std::string& acted) {
    ASSERT_TRUE(result.exitCode == 0 || result.exitCode == kFailure) << result.exitCode;
    ExpectLogAgrees(result);
    for (const auto& [name, bytes] : test::Snapshot(package_.root() / "pkg")) {
      EXPECT_TRUE(known.count(name)) << "left behind: " << name;
    }
    if (result.exitCode == 0) {
      EXPECT_EQ(ReadBytes(package_.target()), merged_);
      EXPECT_EQ(fs::exists(package_.backup()), acted == "unlink " + package_.backup().string());
      EXPECT_FALSE(fs::exists(package_.target().string() + ".tmp"));
      EXPECT_EQ(ReadBytes(copies / "extra.cmd"), ReadBytes(package_.root() / "in/extra.cmd"));
      EXPECT_EQ(ReadBytes(copies / "extra.key"), ReadBytes(package_.root() / "in/extra.key"));
      return;
    }
    EXPECT_EQ(ReadBytes(package_.target()), old_);
    if (fs::exists(package_.backup())) {
      // Only a backup copy that failed after its file was complete leaves it.
      EXPECT_TRUE(package_.LogText().starts_with(u"Error copying " +
                                                 test::WidePath(package_.target()) + u" to " +
                                                 test::WidePath(package_.backup()) + u" : "));
      EXPECT_EQ(ReadBytes(package_.backup()), old_);
    }
    // The merged text stays only where it could not take the target's place.
    if (fs::exists(package_.target().string() + ".tmp")) {
      EXPECT_TRUE(package_.LogText().starts_with(u"Error 5 saving file "));
    }
  });
}

TEST_F(FaultInjectionTest, AKillAtAnyOperationLosesNothingAndTheNextRunCompletes) {
  Sweep("kill", [&](const test::ProcessResult& result, const std::string&) {
    ASSERT_EQ(result.exitCode, -1);
    // The target is either its old self or the complete merge; while it is
    // not yet the merge, the original is in place.
    ASSERT_TRUE(fs::exists(package_.target()));
    std::string left = ReadBytes(package_.target());
    ASSERT_TRUE(left == old_ || left == merged_);
    if (fs::exists(package_.backup())) {
      EXPECT_EQ(ReadBytes(package_.backup()), old_);
    }
    EXPECT_EQ(package_.Run().exitCode, 0);
    EXPECT_EQ(package_.LogText(), u"");
    EXPECT_EQ(ReadBytes(package_.target()), left == old_ ? merged_ : mergedTwice_);
    EXPECT_FALSE(fs::exists(package_.backup()));
    QdsDocument merged;
    EXPECT_EQ(merged.Load(package_.target(), LoadFlags::KeepComments), LoadStatus::Ok);
  });
}

// qdstool never writes a file in place: whichever operation of a save
// fails, an existing output holds its old bytes or the whole new text, and a
// failed write leaves it as it was.
TEST(QdsToolFaultTest, AFailedSaveLeavesAnExistingOutputWhole) {
  test::Package package(kTarget, kCompat);
  const std::string in = package.target().string();
  const std::string out = (package.root() / "pkg/out.qds").string();
  const std::string old = "the output of an earlier run";
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"rewrite", in, out}, {"sign", in, "-o", out}}) {
    auto run = [&](long at, std::string* acted) {
      WriteBytes(out, old);
      fs::remove(package.report());
      test::ScopedEnvironment environment(package.FaultEnvironment(at, "fail"));
      test::ProcessResult result = test::RunProcess(test::BuiltProgram("bin/qdstool"), command);
      *acted = test::ReadFaultReport(package.report()).acted;
      return result;
    };
    std::string acted;
    ASSERT_EQ(run(0, &acted).exitCode, 0) << command[0];
    const std::string written = ReadBytes(out);
    for (long n = 1;; ++n) {
      test::ProcessResult result = run(n, &acted);
      if (acted.empty()) break;
      SCOPED_TRACE(command[0] + ", failing operation " + std::to_string(n) + ": " + acted);
      // A rewrite whose load failed saves what it read: another text.
      if (acted.ends_with(" " + in)) continue;
      const std::string left = ReadBytes(out);
      if (result.exitCode == 0 || left != old) {
        EXPECT_EQ(left, written);
      }
      if (acted.starts_with("write ")) {
        EXPECT_EQ(left, old);
      }
    }
  }
}

// A file of several names is overwritten in place, which a kill can cut
// short (qdstool(1) says what that costs): killed at any operation, qdstool
// leaves the file with its old text or the new one, or else the whole new
// text in FILE.tmp beside it, and both names still show one file.
TEST(QdsToolFaultTest, AKilledSaveOverAFileOfSeveralNamesLeavesTheNewTextBesideIt) {
  test::Package package(kTarget, kCompat);
  const std::string file = package.target().string();
  const fs::path second = package.root() / "pkg/second.qds";
  const std::string old = ReadBytes(file);
  const std::vector<std::string> command = {"set", file, "Reg", "K", "new"};
  auto run = [&](long at) {
    WriteBytes(file, old);
    fs::remove(file + ".tmp");
    fs::remove(package.report());
    test::ScopedEnvironment environment(package.FaultEnvironment(at, "kill"));
    test::RunProcess(test::BuiltProgram("bin/qdstool"), command);
    return test::ReadFaultReport(package.report()).acted;
  };
  fs::create_hard_link(file, second);
  run(0);
  const std::string written = ReadBytes(file);
  ASSERT_NE(written, old);
  for (long n = 1; !run(n).empty(); ++n) {
    SCOPED_TRACE("killed at operation " + std::to_string(n));
    ASSERT_TRUE(fs::equivalent(file, second));
    const std::string left = ReadBytes(file);
    if (left != old && left != written) {
      EXPECT_EQ(ReadBytes(file + ".tmp"), written);
    }
  }
}

// The number of the first flush of the target's file or folder in the copy
// back of an undisturbed run on `package`: the first flush of a path that is
// no temporary file after the copy back opens the merged text (the second
// open of its temporary file; the first wrote it). 0 when none is.
long FirstFlushInCopyBack(const test::Package& package) {
  package.RunWithFault(0, "fail");
  int opens = 0;
  for (const std::string& line : test::ReadFaultReport(package.report()).operations) {
    std::istringstream fields(line);
    long number = 0;
    std::string name, path;
    fields >> number >> name >> path;
    if (opens == 2 && name == "fsync" && !path.ends_with(".tmp")) return number;
    if (name == "open" && path.ends_with("app.qds.tmp")) ++opens;
  }
  return 0;
}

// A failed run leaves the target the file it was: its bytes, its kind (a
// symbolic link stays that link, hard links keep sharing one file), its
// permission bits with the set-id bits and its owner, whatever the umask;
// whether the run failed before touching it (a missing compat file) or in
// the save's copy back (its first flush of the target or its folder, or the
// operation before, which opens the folder to flush it), which the backup
// then undoes.
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
  // Bytes, link, bits, owner, group, link count and file number.
  auto factsOf = [](const fs::path& target) {
    struct stat s {};
    stat(target.c_str(), &s);
    return std::tuple(ReadBytes(target), fs::is_symlink(target) ? fs::read_symlink(target) : "",
                      s.st_mode & 07777, s.st_uid, s.st_gid, s.st_nlink, s.st_ino);
  };
  for (const auto& kind : kinds) {
    // The failing operation: none (-1), or this many before the copy back's first flush.
    for (long beforeFlush : {-1, 0, 1}) {
      const bool inCopyBack = beforeFlush >= 0;
      SCOPED_TRACE(std::string(kind.what) + (!inCopyBack        ? ", no compat"
                                             : beforeFlush == 0 ? ", the copy back's first flush"
                                                                : ", the operation before it"));
      auto prepare = [&] {
        auto package = std::make_unique<test::Package>(kTarget, kCompat);
        kind.make(package->root() / "pkg");
        if (!inCopyBack) fs::remove(package->compat());
        return package;
      };
      // Failing in the copy back: the target then holds the merged text, or
      // part of it.
      long at = inCopyBack ? FirstFlushInCopyBack(*prepare()) - beforeFlush : 0;
      ASSERT_EQ(at > 0, inCopyBack);
      auto package = prepare();
      const fs::path target = package->target();
      auto before = factsOf(target);
      mode_t umaskBefore = umask(kind.umask);
      EXPECT_EQ(package->RunWithFault(at, "fail").exitCode, kFailure);
      umask(umaskBefore);
      auto after = factsOf(target);
      // A copy back makes the target another file; untouched, it is the same.
      if (inCopyBack) std::get<6>(after) = std::get<6>(before);
      EXPECT_EQ(after, before);
      if (fs::exists(target.parent_path() / "hard.qds")) {
        EXPECT_TRUE(fs::equivalent(target, target.parent_path() / "hard.qds"));
      }
      EXPECT_FALSE(fs::exists(package->backup()));
    }
  }
}

// A full disk where the merged text is written, and where the message is:
// the partly written temporary file goes before the failure is told, and a
// message that the log cannot take goes to standard error. The last row
// fills the disk at the last write of a merged text of a few MiB, which a
// thread of its own makes after the save's last hand-over: its failure is
// told all the same.
TEST(FullDiskTest, TheTemporaryFileGoesAndTheMessageIsTold) {
  std::u16string large = kTarget;
  for (int line = 0; line < 100000; ++line) {
    const std::string entry = "Key" + std::to_string(line) + "=v\n";
    large.append(entry.begin(), entry.end());
  }
  // The text goes out in pieces of 128 KiB.
  const size_t largeMerged =
      test::MergedBytes(test::Package(large, kCompat), test::Qds(large)).size();
  const long lastWrite = static_cast<long>((largeMerged + (128 << 10) - 1) >> 17);
  const struct {
    std::string_view full;
    long write;
    std::u16string_view target;
  } cases[] = {
      {"app.qds.tmp", 1, kTarget}, {"app.qds.log", 1, kTarget}, {"app.qds.tmp", lastWrite, large}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "a full disk at write " << c.write << " to " << c.full);
    const std::string_view full = c.full;
    const bool logFull = full == "app.qds.log";
    auto prepare = [&] {
      auto package = std::make_unique<test::Package>(c.target, kCompat);
      if (logFull) fs::remove(package->compat());  // for a message to write
      return package;
    };
    auto package = prepare();
    test::ProcessResult result =
        package->RunWithFault(c.write, "fail", "write " + std::string(full));
    EXPECT_EQ(result.exitCode, kFailure);
    const std::string target = package->target().string();
    if (logFull) {
      EXPECT_EQ(result.standardError, "Error 2 loading file " + package->compat().string() + "\n");
    } else {
      EXPECT_EQ(package->LogText(), u"Error 6 saving file " + test::WidePath(target) + u"\n");
    }
    EXPECT_FALSE(fs::exists(target + ".tmp"));
    EXPECT_FALSE(fs::exists(package->backup()));
    EXPECT_EQ(ReadBytes(target), test::Qds(c.target));
  }
}

// A file that another program empties while it loads, at the operation
// named, mapped (a page past the new end, touched, would stop the process)
// or read (an ANSI compat file): the load fails, the run ends as after any
// failed load, and nothing but the working copies is left beside the target.
TEST(ShortenedFileTest, AFileEmptiedWhileItLoadsFailsItsLoad) {
  const struct {
    const char* on;
    bool target;
    bool ansiCompat;
  } rows[] = {{"mmap app.qds", true, false},
              {"mmap extra.qds", false, false},
              {"read extra.qds", false, true},
              // After its load: the merge finds zeros where the mapping was cut.
              {"close extra.qds", false, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.on);
    test::Package package(kTarget, kCompat);
    if (row.ansiCompat) WriteBytes(package.compat(), "[Files]\r\na=2\r\n");
    const fs::path emptied = row.target ? package.target() : package.compat();
    test::ProcessResult result = package.RunWithFault(1, "shorten", row.on);
    EXPECT_FALSE(test::ReadFaultReport(package.report()).acted.empty());
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_EQ(package.LogText(), u"Error 4 loading file " + test::WidePath(emptied) + u"\n");
    EXPECT_EQ(ReadBytes(package.target()), row.target ? "" : test::Qds(kTarget));
    std::set<std::string> left;
    for (const auto& [name, bytes] : test::Snapshot(package.root() / "pkg")) left.insert(name);
    EXPECT_EQ(left, (std::set<std::string>{"app.qds", "app.qds.lock", "app.qds.log", "TessalCF.ADF",
                                           "TessalCF.ADF/extra.cmd", "TessalCF.ADF/extra.key"}));
  }
}

}  // namespace
}  // namespace qds
