// IsRemotePath and the platform's file-system queries under it. The scope of
// ImpersHlpr is tested through the commands that use it (path_commands_test).

#include "expansion/impers_hlpr.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cctype>
#include <cstdlib>
#include <string>

#include "common/utf8.h"
#include "expansion/symbol_map.h"
#include "platform/identity.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::WidePath;

#ifdef _WIN32
TEST(IsRemotePathTest, UncPathsAreRemoteAndLocalDrivesAndRelativePathsAreNot) {
  static const struct {
    std::u16string_view path;
    bool remote;
  } cases[] = {
      {u"\\\\server\\share\\file", true}, {u"\\\\", true}, {u"", false}, {u"C:\\", false},
      {u"c:\\temp", false},  // the drive's answer comes from what C:\\ learned
      {u"c:relative", false}, {u"temp\\file", false}, {u"\\rooted", false},
      {u"//server/share", false},  // only the backslash spelling names a share
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.path));
    EXPECT_EQ(IsRemotePath(std::u16string(c.path).c_str()), c.remote);
  }
}

// scripts/test-windows maps a folder as a network drive of Wine and names
// its letter in KNITFOLD_NETWORK_DRIVE.
TEST(IsRemotePathTest, NetworkDrivesAreRemoteWhateverTheCaseOfTheirLetter) {
  const char* letter = std::getenv("KNITFOLD_NETWORK_DRIVE");
  if (letter == nullptr || letter[0] == 0) {
    GTEST_SKIP() << "KNITFOLD_NETWORK_DRIVE names no network drive to test with";
  }
  const char16_t upper = static_cast<char16_t>(std::toupper(letter[0]));
  const char16_t lower = static_cast<char16_t>(std::tolower(letter[0]));
  EXPECT_EQ(platform::QueryDriveType((std::u16string(1, upper) + u":\\").c_str()),
            platform::kDriveRemote);
  EXPECT_TRUE(IsRemotePath((std::u16string(1, lower) + u":\\no\\such\\file").c_str()));
  EXPECT_TRUE(IsRemotePath((std::u16string(1, upper) + u":relative").c_str()));
}

TEST(FileSystemQueryTest, TheDriveLetterNamesTheFileSystem) {
  uint64_t lower = 99, upper = 98, other = 97;
  ASSERT_TRUE(platform::QueryFileSystemId(u"c:\\temp", &lower));
  ASSERT_TRUE(platform::QueryFileSystemId(u"C:\\other\\missing", &upper));
  ASSERT_TRUE(platform::QueryFileSystemId(u"D:", &other));
  EXPECT_EQ(lower, 2u);  // bit 2 for drive C
  EXPECT_EQ(upper, lower);
  EXPECT_EQ(other, 3u);
  EXPECT_FALSE(platform::QueryFileSystemId(u"temp\\file", &other));
  EXPECT_FALSE(platform::QueryFileSystemId(u"", &other));
  EXPECT_EQ(platform::QueryDriveType(u"C:\\no\\such\\file"), platform::kDriveFixed);
}

// A duplicate of the process's own token: impersonating it changes no access,
// but while it is in effect the thread carries a token of its own.
class ImpersHlprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HANDLE process = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &process));
    ASSERT_TRUE(DuplicateToken(process, SecurityImpersonation, &token_));
    CloseHandle(process);
    std::string number = std::to_string(reinterpret_cast<uintptr_t>(token_));
    table_.Set(u"!IMPERSONATION_TOKEN", std::u16string(number.begin(), number.end()));
  }
  void TearDown() override {
    if (token_ != nullptr) CloseHandle(token_);
  }

  static bool ThreadImpersonates() {
    HANDLE thread = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &thread)) return false;
    CloseHandle(thread);
    return true;
  }

  HANDLE token_ = nullptr;
  SymbolMap table_{false, 16};
};

TEST_F(ImpersHlprTest, RemoteQueriesRunAsTheTokenForTheScopeOnly) {
  {
    ImpersHlpr remote(true, table_);
    EXPECT_TRUE(ThreadImpersonates());
  }
  EXPECT_FALSE(ThreadImpersonates());
  {
    ImpersHlpr local(false, table_);
    EXPECT_FALSE(ThreadImpersonates());
  }
}

TEST_F(ImpersHlprTest, UnusableTokensLeaveTheThreadAsItIs) {
  for (std::u16string_view token : {u"", u"0", u"abc", u"4294967295", u"12345"}) {
    SCOPED_TRACE(EncodeUtf8(token));
    table_.Set(u"!IMPERSONATION_TOKEN", token);
    {
      ImpersHlpr remote(true, table_);
      EXPECT_FALSE(ThreadImpersonates());
    }
    EXPECT_FALSE(ThreadImpersonates());
  }
}
#else
TEST(IsRemotePathTest, DoubleSlashIsRemoteAndLocalFileSystemsAreNot) {
  test::ScratchDir scratch;
  std::u16string missing = WidePath(scratch / "no" / "such" / "file");
  static const struct {
    std::u16string_view path;
    bool remote;
  } cases[] = {
      {u"//server/share/file", true},
      {u"//", true},
      {u"", false}, {u"/", false}, {u"/proc/self", false}, {u"relative/missing/file", false},
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

#endif

}  // namespace
}  // namespace qds
