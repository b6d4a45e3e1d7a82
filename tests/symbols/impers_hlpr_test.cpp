// IsRemotePath and the platform's file-system queries under it. The scope of
// ImpersHlpr is tested through the commands that use it (path_commands_test).

#include "symbols/impers_hlpr.h"

#include <gtest/gtest.h>

#include <string>

#include "common/utf8.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::WidePath;

TEST(IsRemotePathTest, DoubleSlashIsRemoteAndLocalFileSystemsAreNot) {
  test::ScratchDir scratch;
  std::u16string missing = WidePath(scratch / "no" / "such" / "file");
  static const struct {
    std::u16string_view path;
    bool remote;
  } cases[] = {
      {u"//server/share/file", true},
      {u"//", true},
      {u"", false},
      {u"/", false},
      {u"/proc/self", false},
      {u"relative/missing/file", false},
      {u"\\\\server\\share", false},  // a Windows spelling is a relative name here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.path));
    EXPECT_EQ(IsRemotePath(std::u16string(c.path).c_str()), c.remote);
  }
  // The second answer for a file system comes from what the first learned.
  EXPECT_FALSE(IsRemotePath(missing.c_str()));
  EXPECT_FALSE(IsRemotePath(missing.c_str()));
}

TEST(FileSystemQueryTest, AMissingPathBelongsToItsNearestExistingParent) {
  test::ScratchDir scratch;
  std::u16string folder = WidePath(scratch.path());
  std::u16string missing = WidePath(scratch / "no" / "such" / "file");
  uint64_t folderId = 0, missingId = 0, procId = 0, procMissingId = 0;
  ASSERT_TRUE(platform::QueryFileSystemId(folder.c_str(), &folderId));
  ASSERT_TRUE(platform::QueryFileSystemId(missing.c_str(), &missingId));
  ASSERT_TRUE(platform::QueryFileSystemId(u"/proc", &procId));
  ASSERT_TRUE(platform::QueryFileSystemId(u"/proc/self/no/such", &procMissingId));
  EXPECT_EQ(missingId, folderId);
  EXPECT_EQ(procMissingId, procId);
  EXPECT_NE(procId, folderId);
  EXPECT_EQ(platform::QueryDriveType(missing.c_str()), platform::kDriveFixed);

  // 100000 components below a missing folder: asking every parent in turn
  // would cost the square of that.
  std::u16string deep(u"/no-such-folder");
  for (int i = 0; i < 100000; ++i) deep.append(u"/a");
  uint64_t deepId = 0, rootId = 0;
  ASSERT_TRUE(platform::QueryFileSystemId(deep.c_str(), &deepId));
  ASSERT_TRUE(platform::QueryFileSystemId(u"/", &rootId));
  EXPECT_EQ(deepId, rootId);
}

}  // namespace
}  // namespace qds
