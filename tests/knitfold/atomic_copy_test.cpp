// The platform's copy service replaces its destination in one step, keeping
// what makes the destination the user's file: its permission bits, the
// symbolic links that lead to it, and the other names of a file with several.
// Its move service, which renames the source where it can, leaves the same
// as a copy followed by removing the source.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "knitfold/package_run.h"
#include "platform/errors.h"
#include "platform/replace.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WidePath;
using test::WriteBytes;
namespace fs = std::filesystem;

bool Copy(const fs::path& from, const fs::path& to, bool failIfExists = false) {
  return platform::CopyFileTo(WidePath(from).c_str(), WidePath(to).c_str(), failIfExists);
}

bool Move(const fs::path& from, const fs::path& to) {
  return platform::MoveFileOver(WidePath(from).c_str(), WidePath(to).c_str(), nullptr);
}

enum class Service { Copy, Move };

const char* NameOf(Service service) { return service == Service::Copy ? "Copy" : "Move"; }
void PrintTo(Service service, std::ostream* out) { *out << NameOf(service); }
std::string ServiceName(const ::testing::TestParamInfo<Service>& info) {
  return NameOf(info.param);
}

// Each test runs with both services; a move must also remove its source when
// it succeeds, and keep it when it fails.
class AtomicReplaceTest : public ::testing::TestWithParam<Service> {
 protected:
  bool Replace(const fs::path& from, const fs::path& to) {
    if (GetParam() == Service::Copy) return Copy(from, to);
    bool moved = Move(from, to);
    EXPECT_EQ(fs::exists(from), !moved) << "the source of a move";
    return moved;
  }
  // The files that a successful replacement leaves of `before`.
  size_t Remaining(size_t before) const {
    return GetParam() == Service::Move ? before - 1 : before;
  }
};

INSTANTIATE_TEST_SUITE_P(Services, AtomicReplaceTest,
                         ::testing::Values(Service::Copy, Service::Move), ServiceName);

mode_t ModeOf(const fs::path& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

// A replaced file keeps its bits and its owner, and no temporary file
// stays. A new file: a copy takes the bits of its source; a moved file,
// always a private one of the program, is made as any new file is.
TEST_P(AtomicReplaceTest, BitsAndOwnerAreTheDestinationsOrNewLessTheUmask) {
  test::ScratchDir dir;
  for (mode_t mode : {0600, 0640, 0664, 0700}) {
    WriteBytes(dir / "from", "new bytes");
    fs::permissions(dir / "from", static_cast<fs::perms>(0755));
    WriteBytes(dir / "to", "old");
    chmod((dir / "to").c_str(), mode);
    ASSERT_TRUE(Replace(dir / "from", dir / "to")) << std::oct << mode;
    EXPECT_EQ(ModeOf(dir / "to"), mode);
    EXPECT_EQ(ReadBytes(dir / "to"), "new bytes");
    EXPECT_EQ(test::Snapshot(dir.path()).size(), Remaining(2)) << "a temporary file stayed";
  }
  WriteBytes(dir / "from", "bytes");
  chmod((dir / "from").c_str(), 0754);
  ASSERT_TRUE(Replace(dir / "from", dir / "new"));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(dir / "new"), (GetParam() == Service::Copy ? 0754 : 0666) & ~mask);

  // The owner stays where the process may set it (root may give a file away).
  if (geteuid() != 0) return;
  ASSERT_EQ(chown((dir / "to").c_str(), 1, 1), 0);
  WriteBytes(dir / "from", "new bytes");
  ASSERT_TRUE(Replace(dir / "from", dir / "to"));
  struct stat status {};
  stat((dir / "to").c_str(), &status);
  EXPECT_EQ(status.st_uid, 1u);
  EXPECT_EQ(status.st_gid, 1u);
}

// Links lead from "to" to the file that must receive the bytes.
TEST_P(AtomicReplaceTest, LinksStayAndTheFileTheyLeadToIsReplaced) {
  static const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, what it holds
    std::string file;                                        // where the bytes land
  } cases[] = {
      {"relative link", {{"to", "sub/real"}}, "sub/real"},
      {"absolute link", {{"to", "<dir>/sub/real"}}, "sub/real"},
      {"link to a link", {{"to", "sub/hop"}, {"sub/hop", "real"}}, "sub/real"},
      {"dangling link", {{"to", "sub/absent"}}, "sub/absent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchDir dir;
    fs::create_directory(dir / "sub");
    WriteBytes(dir / "from", "new bytes");
    WriteBytes(dir / "sub/real", "old");
    for (const auto& [link, target] : c.links) {
      std::string held = target.starts_with("<dir>") ? (dir / target.substr(6)).string() : target;
      fs::create_symlink(held, dir / link);
    }
    ASSERT_TRUE(Replace(dir / "from", dir / "to"));
    for (const auto& [link, target] : c.links) EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    EXPECT_EQ(ReadBytes(dir / c.file), "new bytes");
  }
}

TEST_P(AtomicReplaceTest, AFileWithSeveralNamesIsOverwrittenInPlace) {
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  fs::create_hard_link(dir / "to", dir / "other name");
  ASSERT_TRUE(Replace(dir / "from", dir / "to"));
  EXPECT_EQ(ReadBytes(dir / "other name"), "new bytes");
  EXPECT_EQ(fs::hard_link_count(dir / "to"), 2u);
}

// A copy that may not replace makes its file without a temporary name left
// (the refusal itself: FileServicesTest.CopyReplacesOrRefuses...).
TEST(AtomicCopyTest, FailIfExistsLeavesNoTemporaryFile) {
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  EXPECT_TRUE(Copy(dir / "from", dir / "new", true));
  EXPECT_EQ(ReadBytes(dir / "new"), "new bytes");
  EXPECT_EQ(test::Snapshot(dir.path()).size(), 2u) << "a temporary file stayed";
}

// A destination that may not be written is refused; a writable one in a
// folder that may not be written is overwritten in place.
TEST_P(AtomicReplaceTest, PermissionsOfTheDestinationAndItsFolderBind) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  test::ScratchDir dir;
  fs::create_directory(dir / "locked");
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  chmod((dir / "to").c_str(), 0444);
  EXPECT_FALSE(Replace(dir / "from", dir / "to"));
  EXPECT_EQ(platform::LastErrorCode(), static_cast<uint32_t>(EACCES));
  EXPECT_EQ(ReadBytes(dir / "to"), "old");
  WriteBytes(dir / "locked/to", "old");
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(Replace(dir / "from", dir / "locked/to"));
  EXPECT_EQ(ReadBytes(dir / "locked/to"), "new bytes");
  fs::permissions(dir / "locked", fs::perms::owner_all);
}

// A move that can rename leaves the source's own file in the destination's
// place; one that cannot (another file system) copies and removes.
TEST(AtomicMoveTest, RenamesWithinAFileSystemAndCopiesAcrossOne) {
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  struct stat source {};
  ASSERT_EQ(stat((dir / "from").c_str(), &source), 0);
  ASSERT_TRUE(Move(dir / "from", dir / "to"));
  struct stat moved {};
  ASSERT_EQ(stat((dir / "to").c_str(), &moved), 0);
  EXPECT_EQ(moved.st_ino, source.st_ino) << "the bytes were copied";

  const fs::path memory = "/dev/shm";
  struct stat memoryStatus {};
  if (stat(memory.c_str(), &memoryStatus) != 0 || memoryStatus.st_dev == moved.st_dev) {
    GTEST_SKIP() << "no second file system at " << memory;
  }
  const fs::path elsewhere = memory / ("knitfold-move-" + std::to_string(getpid()));
  WriteBytes(elsewhere, "bytes from elsewhere");
  ASSERT_TRUE(Move(elsewhere, dir / "to"));
  EXPECT_EQ(ReadBytes(dir / "to"), "bytes from elsewhere");
  EXPECT_FALSE(fs::exists(elsewhere));
}

// The kernel copies large regular files; what it cannot copy, such as a
// file of /proc whose size reads as zero, is read and written.
TEST(AtomicCopyTest, CopiesLargeFilesAndFilesOfUnknownSizeWhole) {
  test::ScratchDir dir;
  std::string large(5 << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 2654435761u >> 24);
  WriteBytes(dir / "large", large);
  ASSERT_TRUE(Copy(dir / "large", dir / "large copy"));
  EXPECT_TRUE(ReadBytes(dir / "large copy") == large);

  ASSERT_TRUE(Copy("/proc/self/cmdline", dir / "cmdline"));
  EXPECT_FALSE(ReadBytes(dir / "cmdline").empty());
}

}  // namespace
}  // namespace qds
