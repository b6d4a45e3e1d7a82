// The platform's copy service replaces its destination in one step, keeping
// what makes the destination the user's file: its permission bits, the
// symbolic links that lead to it, and the other names of a file with several.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "reliability/package_run.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WidePath;
using test::WriteBytes;
namespace fs = std::filesystem;

bool Copy(const fs::path& from, const fs::path& to, bool failIfExists = false) {
  return platform::CopyFileTo(WidePath(from).c_str(), WidePath(to).c_str(), failIfExists);
}

mode_t ModeOf(const fs::path& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

TEST(AtomicCopyTest, AReplacedFileKeepsItsPermissionBits) {
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  fs::permissions(dir / "from", static_cast<fs::perms>(0755));
  for (mode_t mode : {0600, 0640, 0664, 0700}) {
    WriteBytes(dir / "to", "old");
    chmod((dir / "to").c_str(), mode);
    ASSERT_TRUE(Copy(dir / "from", dir / "to")) << std::oct << mode;
    EXPECT_EQ(ModeOf(dir / "to"), mode);
    EXPECT_EQ(ReadBytes(dir / "to"), "new bytes");
  }
  EXPECT_EQ(test::Snapshot(dir.path()).size(), 2u) << "a temporary file stayed";
}

TEST(AtomicCopyTest, AReplacedFileKeepsItsOwnerWhereTheProcessMaySetIt) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  ASSERT_EQ(chown((dir / "to").c_str(), 1, 1), 0);
  ASSERT_TRUE(Copy(dir / "from", dir / "to"));
  struct stat status {};
  stat((dir / "to").c_str(), &status);
  EXPECT_EQ(status.st_uid, 1u);
  EXPECT_EQ(status.st_gid, 1u);
}

TEST(AtomicCopyTest, ANewFileTakesTheSourcesPermissionBitsLessTheUmask) {
  test::ScratchDir dir;
  WriteBytes(dir / "from", "bytes");
  chmod((dir / "from").c_str(), 0754);
  ASSERT_TRUE(Copy(dir / "from", dir / "to"));
  EXPECT_EQ(ModeOf(dir / "to"), 0754 & ~CurrentUmask());
}

// Links lead from "to" to the file that must receive the bytes.
TEST(AtomicCopyTest, LinksStayAndTheFileTheyLeadToIsReplaced) {
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
    ASSERT_TRUE(Copy(dir / "from", dir / "to"));
    for (const auto& [link, target] : c.links) EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    EXPECT_EQ(ReadBytes(dir / c.file), "new bytes");
  }
}

TEST(AtomicCopyTest, AFileWithSeveralNamesIsOverwrittenInPlace) {
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  fs::create_hard_link(dir / "to", dir / "other name");
  ASSERT_TRUE(Copy(dir / "from", dir / "to"));
  EXPECT_EQ(ReadBytes(dir / "other name"), "new bytes");
  EXPECT_EQ(fs::hard_link_count(dir / "to"), 2u);
}

TEST(AtomicCopyTest, FailIfExistsNeverTouchesAnExistingFile) {
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  EXPECT_FALSE(Copy(dir / "from", dir / "to", true));
  EXPECT_EQ(platform::LastErrorCode(), platform::kErrorFileExists);
  EXPECT_EQ(ReadBytes(dir / "to"), "old");
  EXPECT_TRUE(Copy(dir / "from", dir / "new", true));
  EXPECT_EQ(ReadBytes(dir / "new"), "new bytes");
  EXPECT_EQ(test::Snapshot(dir.path()).size(), 3u) << "a temporary file stayed";
}

TEST(AtomicCopyTest, ADestinationThatMayNotBeWrittenIsRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  test::ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  chmod((dir / "to").c_str(), 0444);
  EXPECT_FALSE(Copy(dir / "from", dir / "to"));
  EXPECT_EQ(platform::LastErrorCode(), static_cast<uint32_t>(EACCES));
  EXPECT_EQ(ReadBytes(dir / "to"), "old");
}

TEST(AtomicCopyTest, AWritableFileInAFolderThatMayNotBeWrittenIsOverwrittenInPlace) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  test::ScratchDir dir;
  fs::create_directory(dir / "locked");
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "locked/to", "old");
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(Copy(dir / "from", dir / "locked/to"));
  EXPECT_EQ(ReadBytes(dir / "locked/to"), "new bytes");
  fs::permissions(dir / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace qds
