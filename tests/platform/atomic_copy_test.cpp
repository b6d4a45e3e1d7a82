// The platform's copy service replaces its destination in one step, keeping
// what makes the destination the user's file: its permission bits, the
// symbolic links that lead to it, and the other names of a file with several.
// Its move service, which renames the source where it can, leaves the same
// as a copy followed by removing the source.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/replace.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WidePath;
using test::WriteBytes;
namespace fs = std::filesystem;

platform::SystemResult Copy(const fs::path& from, const fs::path& to) {
  return platform::CopyFileTo(WidePath(from).c_str(), WidePath(to).c_str(), false);
}

platform::SystemResult Move(const fs::path& from, const fs::path& to) {
  return platform::MoveFileOver(WidePath(from).c_str(), WidePath(to).c_str(), nullptr);
}

struct stat StatusOf(const fs::path& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status;
}

// Each test runs with the copy (false) and the move (true); a move must also
// remove its source when it succeeds, and keep it when it fails.
class AtomicReplaceTest : public ::testing::TestWithParam<bool> {
 protected:
  platform::SystemResult Replace(const fs::path& from, const fs::path& to) {
    if (!GetParam()) return Copy(from, to);
    platform::SystemResult moved = Move(from, to);
    EXPECT_EQ(fs::exists(from), !moved.Ok()) << "the source of a move";
    return moved;
  }
  test::ScratchDir dir;
};

INSTANTIATE_TEST_SUITE_P(Services, AtomicReplaceTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Move" : "Copy"; });

// A replaced file keeps its bits and its owner, and no temporary file
// stays. A new file: a copy takes the bits of its source; a moved file,
// always a private one of the program, is made as any new file is.
TEST_P(AtomicReplaceTest, ANewFileTakesItsPermissionBitsLessTheUmask) {
  for (mode_t mode : {0600, 0640, 0664, 0700}) {
    WriteBytes(dir / "from", "new bytes");
    chmod((dir / "from").c_str(), 0755);
    WriteBytes(dir / "to", "old");
    chmod((dir / "to").c_str(), mode);
    ASSERT_TRUE(Replace(dir / "from", dir / "to")) << std::oct << mode;
    EXPECT_EQ(StatusOf(dir / "to").st_mode & 07777, mode);
    EXPECT_EQ(ReadBytes(dir / "to"), "new bytes");
    EXPECT_EQ(test::Snapshot(dir.path()).size(), GetParam() ? 1u : 2u) << "a temporary file stayed";
  }
  WriteBytes(dir / "from", "bytes");
  chmod((dir / "from").c_str(), 0754);
  ASSERT_TRUE(Replace(dir / "from", dir / "new"));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(StatusOf(dir / "new").st_mode & 07777, (GetParam() ? 0666 : 0754) & ~mask);

  // The owner stays where the process may set it (root may give a file away).
  if (geteuid() != 0) return;
  ASSERT_EQ(chown((dir / "to").c_str(), 1, 1), 0);
  WriteBytes(dir / "from", "new bytes");
  ASSERT_TRUE(Replace(dir / "from", dir / "to"));
  EXPECT_EQ(StatusOf(dir / "to").st_uid, 1u);
  EXPECT_EQ(StatusOf(dir / "to").st_gid, 1u);
}

// Links lead from the destination, or from a folder of its path, to the file
// that must receive the bytes; a file of several names is overwritten in
// place.
TEST_P(AtomicReplaceTest, LinksStayAndTheFileTheyLeadToIsReplaced) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, what it holds
    std::string file;                                        // where the bytes land
    std::string to = "to";                                   // the destination
  } cases[] = {
      {"relative link", {{"to", "sub/real"}}, "sub/real"},
      {"absolute link", {{"to", (dir / "sub/real").string()}}, "sub/real"},
      {"link to a link", {{"to", "sub/hop"}, {"sub/hop", "real"}}, "sub/real"},
      {"dangling link", {{"to", "sub/absent"}}, "sub/absent"},
      {"second hard link", {}, "sub/real"},
      {"folder through a link", {{"via", "sub"}}, "sub/real", "via/real"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "sub");
    fs::remove(dir / "to");
    fs::create_directory(dir / "sub");
    WriteBytes(dir / "from", "new bytes");
    WriteBytes(dir / "sub/real", "old");
    if (c.links.empty()) fs::create_hard_link(dir / "sub/real", dir / "to");
    for (const auto& [link, target] : c.links) fs::create_symlink(target, dir / link);
    ASSERT_TRUE(Replace(dir / "from", dir / c.to));
    for (const auto& [link, target] : c.links) EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    EXPECT_EQ(ReadBytes(dir / c.file), "new bytes");
    EXPECT_EQ(fs::hard_link_count(dir / c.file), c.links.empty() ? 2u : 1u);
  }
}

// A destination that may not be written is refused; a writable one in a
// folder that may not be written is overwritten in place.
TEST_P(AtomicReplaceTest, PermissionsOfTheDestinationAndItsFolderBind) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  fs::create_directory(dir / "locked");
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  chmod((dir / "to").c_str(), 0444);
  EXPECT_EQ(Replace(dir / "from", dir / "to"),
            platform::SystemFailure(static_cast<uint32_t>(EACCES)));
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
  const ino_t source = StatusOf(dir / "from").st_ino;
  ASSERT_TRUE(Move(dir / "from", dir / "to"));
  EXPECT_EQ(StatusOf(dir / "to").st_ino, source) << "the bytes were copied";

  const fs::path memory = "/dev/shm";
  if (!fs::exists(memory) || StatusOf(memory).st_dev == StatusOf(dir / "to").st_dev) {
    GTEST_SKIP() << "no second file system at " << memory;
  }
  const fs::path elsewhere = memory / ("knitfold-move-" + std::to_string(getpid()));
  WriteBytes(elsewhere, "bytes from elsewhere");
  ASSERT_TRUE(Move(elsewhere, dir / "to"));
  EXPECT_EQ(ReadBytes(dir / "to"), "bytes from elsewhere");
  EXPECT_FALSE(fs::exists(elsewhere));
}

// A file that the program made is moved or removed only while its name
// shows that file: one put in its place meanwhile stays, untouched.
TEST(AtomicMoveTest, AFileSwappedInForTheOneMadeStays) {
  test::ScratchDir dir;
  WriteBytes(dir / "source", "made");
  const std::u16string made = WidePath(dir / "made");
  platform::CreatedFile created;
  ASSERT_TRUE(platform::CreateCopy(WidePath(dir / "source").c_str(), made.c_str(),
                                   platform::NewCopyBits::Source,
                                   platform::NewCopyFolder::MayBeLink, &created));
  WriteBytes(dir / "planted", "planted");
  fs::rename(dir / "planted", dir / "made");  // a new file while the made one still exists
  WriteBytes(dir / "to", "old");
  EXPECT_EQ(platform::MoveFileOver(made.c_str(), WidePath(dir / "to").c_str(), &created),
            platform::SystemFailure(platform::kErrorNotOwnFile));
  EXPECT_FALSE(platform::RemoveCreatedFile(made.c_str(), created));
  EXPECT_EQ(ReadBytes(dir / "to"), "old");
  EXPECT_EQ(ReadBytes(dir / "made"), "planted");
}

// The kernel copies large regular files; what it cannot copy, such as a
// file of /proc whose size reads as zero, is read and written.
TEST(AtomicCopyTest, CopiesLargeFilesAndFilesOfUnknownSizeWhole) {
  test::ScratchDir dir;
  WriteBytes(dir / "large", test::Pattern(5 << 20));
  ASSERT_TRUE(Copy(dir / "large", dir / "large copy"));
  EXPECT_TRUE(ReadBytes(dir / "large copy") == test::Pattern(5 << 20));
  ASSERT_TRUE(Copy("/proc/self/cmdline", dir / "cmdline"));
  EXPECT_FALSE(ReadBytes(dir / "cmdline").empty());
}

}  // namespace
}  // namespace qds
