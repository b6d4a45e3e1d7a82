// The names that knitfold and qdstool pick for themselves beside the target,
// prepared in advance by another account in every way a name can be: what
// the programs find there is never followed, written, truncated or reused.
// Each run ends within 10 s, nothing outside the target's folder changes,
// and the run either merges or fails with its message and the target as it
// was.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include "common/utf8.h"
#include "reliability/package_run.h"
#include "support/system_codes.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WriteBytes;
namespace fs = std::filesystem;

enum Plant { kLink, kDanglingLink, kHardLink, kFifo, kFolder, kOthersFile, kPlants };
const char* const kPlantNames[] = {
    "link to the victim",         "dangling link", "hard link to the victim", "FIFO", "folder",
    "another account's 0666 file"};

// A name below pkg/, planted in turn with each plant; the run is knitfold's,
// or `qdstool sign` of the target (in place, or to pkg/out.qds with
// `toOut`). It merges (signs) where `errors` holds 0, else it fails and tells
// `told` (on standard error when it starts with "2>"), in which %n is the
// error, %s its system text, and %t, %b, %c, %C, %w, %l and %o the target,
// backup, compat file, command file, its working copy, log and out.qds.
// With no name, the backup's old predictable hidden names are planted, and
// another account's app.qds.bak, for a run without its compat file. A name
// that starts with "../" is one of the user's, which the run reads: a link
// planted there leads to `linkTo`, when given.
const struct Row {
  const char* name;
  bool qdstool;
  int errors[kPlants];
  const char* told;
  bool toOut = false;
  const char* linkTo = nullptr;
} kRows[] = {
    {"app.qds.log",
     false,
     {ELOOP, ELOOP, EMLINK, ENXIO, EISDIR, 0},
     "2>Error %n creating log file %l\n"},
    {"app.qds.bak", false, {0, 0, 0, 0, EISDIR, 0}, "Error copying %t to %b : %s\n"},
    {"app.qds.tmp", false, {0, 0, 0, 0, 3, 0}, "Error %n saving file %t\n"},
    {"TessalCF.ADF/extra.cmd", false, {0, 0, 0, 0, EISDIR, 0}, "Error copying %C to %w : %s\n"},
    {"TessalCF.ADF",
     false,
     {ELOOP, ELOOP, ENOTDIR, ENOTDIR, 0, ENOTDIR},
     "Error copying %C to %w : %s\n"},
    {"app.qds.tmp",
     true,
     {0, 0, 0, 0, 3, 0},
     "2>qdstool: %t: cannot create: Is a directory (status %n)\n"},
    {"out.qds.tmp",
     true,
     {0, 0, 0, 0, 3, 0},
     "2>qdstool: %o: cannot create: Is a directory (status %n)\n",
     true},
    {"", false, {2, 2, 2, 2, 2, 2}, "Error %n loading file %c\n"},
    {"../in/extra.cmd",
     false,
     {ENXIO, 0, 0, ENXIO, EISDIR, 0},
     "Error copying %C to %w : %s\n",
     false,
     "/dev/zero"},
    {"app.qds.lock", false, {1, 1, 1, 1, 1, 1}, "Error %n loading file %t\n"},
};

// The backup's hidden names as they once were: all that the next runs could
// have tried. A run must not care that they exist.
std::vector<std::string> OldHiddenNames() {
  std::string lastPid = ReadBytes("/proc/sys/kernel/ns_last_pid");
  long last = lastPid.empty() ? getpid() : std::stol(lastPid);
  std::vector<std::string> names;
  for (long pid = last + 1; pid <= last + 3; ++pid) {
    for (int serial = 1; serial <= 100; ++serial) {
      names.push_back(".app.qds.bak." + std::to_string(pid) + "-" + std::to_string(serial) +
                      ".tmp");
    }
  }
  return names;
}

std::string Told(std::string_view form, int error, const std::map<char, std::string>& paths) {
  std::string text;
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] != '%') {
      text += form[i];
    } else if (char key = form[++i]; key == 'n' || key == 's') {
      text += key == 'n' ? std::to_string(error) : EncodeUtf8(test::SystemErrorText(error));
    } else {
      text += paths.at(key);
    }
  }
  return text;
}

const uid_t kNobody = getpwnam("nobody") != nullptr ? getpwnam("nobody")->pw_uid : 65534;

void PlantAt(const fs::path& name, Plant plant, const fs::path& victim) {
  fs::create_directories(name.parent_path());
  fs::remove(name);
  bool folder = name.filename() == "TessalCF.ADF";
  switch (plant) {
    case kLink:
      return fs::create_symlink(folder ? victim.parent_path() : victim, name);
    case kDanglingLink:
      return fs::create_symlink(victim.parent_path() / "absent", name);
    case kHardLink:
      return fs::create_hard_link(victim, name);
    case kFifo:
      ASSERT_EQ(mkfifo(name.c_str(), 0666), 0);
      return;
    case kFolder:
      fs::create_directory(name);
      return;
    default:
      WriteBytes(name, "another account's bytes");
      ASSERT_EQ(chown(name.c_str(), kNobody, kNobody), 0);
      ASSERT_EQ(chmod(name.c_str(), 0666), 0);
  }
}

// Everything below `root` but the target's folder, and the target's bytes
// and who may read and write it.
auto Facts(const test::Package& package) {
  std::map<std::string, std::string> outside = test::Snapshot(package.root());
  std::erase_if(outside, [](const auto& file) { return file.first.starts_with("pkg"); });
  struct stat status {};
  stat(package.target().c_str(), &status);
  return std::tuple(outside, ReadBytes(package.target()), status.st_mode, status.st_uid);
}

TEST(PlantedNamesTest, NothingFoundAtAPickedNameIsFollowedWrittenOrReused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may plant another account's file";
  const char16_t kTarget[] = u"[$version 3, codepage 1200$]\n[S]\nk=1\n";
  const char16_t kCompat[] = u"[S]\nk=2\n";
  const std::string merged = test::MergedBytes(test::Package(kTarget, kCompat), test::Qds(kTarget));
  for (const Row& row : kRows) {
    for (int plant = 0; plant < kPlants; ++plant) {
      SCOPED_TRACE(std::string(*row.name ? row.name : "old hidden names") +
                   (row.qdstool ? " (qdstool)" : "") + ": " + kPlantNames[plant]);
      test::Package package(kTarget, kCompat);
      const fs::path pkg = package.root() / "pkg";
      const fs::path victim = package.root() / "victim/file";
      fs::create_directory(victim.parent_path());
      WriteBytes(victim, "victim bytes");
      chmod(victim.c_str(), 0640);
      const bool hiddenNames = *row.name == '\0';
      const std::vector<std::string> names =
          hiddenNames ? OldHiddenNames() : std::vector<std::string>{row.name};
      for (const std::string& name : names) {
        PlantAt(pkg / name, Plant(plant), plant == kLink && row.linkTo ? row.linkTo : victim);
      }
      if (hiddenNames) {
        fs::remove(package.compat());
        PlantAt(package.backup(), kOthersFile, victim);
      }
      const std::map<char, std::string> paths = {
          {'t', package.target()}, {'b', package.backup()},
          {'c', package.compat()}, {'C', package.root() / "in/extra.cmd"},
          {'l', package.log()},    {'w', pkg / "TessalCF.ADF/extra.cmd"},
          {'o', pkg / "out.qds"}};
      const auto before = Facts(package);

      std::vector<std::string> command =
          row.qdstool ? std::vector<std::string>{"10", test::BuiltProgram("bin/qdstool"), "sign",
                                                 paths.at('t')}
                      : std::vector<std::string>{"10", test::BuiltProgram("bin/knitfold"),
                                                 paths.at('t'), paths.at('c')};
      if (row.toOut) command.insert(command.end(), {"-o", paths.at('o')});
      test::ProcessResult result = test::RunProcess("/usr/bin/timeout", command);
      if (result.exitCode == 124) {
        ADD_FAILURE() << "the run did not end within 10 s";
        continue;
      }

      EXPECT_EQ(std::get<0>(Facts(package)), std::get<0>(before));
      struct stat status {};
      EXPECT_EQ(stat(victim.c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 07777, 0640u);
      EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(package.backup())));
      const int error = row.errors[plant];
      if (error == 0) {
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        EXPECT_EQ(Facts(package) == before, row.toOut);
        EXPECT_EQ(fs::is_regular_file(fs::symlink_status(paths.at('o'))), row.toOut);
        EXPECT_EQ(ReadBytes(package.target()) == merged, !row.qdstool);
        // A file that the run left at the name is its own, never the one it found.
        if (names[0] != "app.qds.log" && !names[0].starts_with("../") &&
            lstat((pkg / names[0]).c_str(), &status) == 0) {
          EXPECT_NE(status.st_uid, kNobody);
        }
        continue;
      }
      EXPECT_EQ(result.exitCode, row.qdstool ? error : test::kExitStatusMinusOne);
      std::string_view told = row.told;
      EXPECT_EQ(told.starts_with("2>") ? result.standardError : EncodeUtf8(package.LogText()),
                Told(told.substr(told.starts_with("2>") ? 2 : 0), error, paths));
      EXPECT_EQ(Facts(package), before);
      for (const std::string& name : names) {
        EXPECT_TRUE(fs::exists(fs::symlink_status(pkg / name))) << name << " was taken away";
      }
    }
  }
}

}  // namespace
}  // namespace qds
