// The path commands, run through ReplaceSymbols with a real symbol table and
// real files, and the remote-path rules and file-system queries under them.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "expansion/expansion.h"
#include "expansion/impers_hlpr.h"
#include "platform/descriptors.h"
#include "platform/identity.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::Expansion;
using test::Symbol;
using test::WidePath;

class PathCommandsTest : public test::ExpansionTest {
 protected:
  PathCommandsTest() {
    test::WriteBytes(scratch_ / "file.txt", "x");
    std::filesystem::create_directory(scratch_ / "dir");
    table_.Set(u"root", WidePath(scratch_.path()));
  }

  test::ScratchDir scratch_;
};

// The paths are written with "/" and run with the platform's separator.
TEST_F(PathCommandsTest, ExistsAnswersForFilesFoldersPatternsAndTrailingSeparators) {
  // Patterns never exist, even when files match them; a trailing separator
  // names nothing, the root excepted.
  Expansion result = Run(test::NativePath(
      u"%!exists(%root%/file.txt)%%!exists(%root%/dir)%%!exists(%root%//dir/../file.txt)%"
      u"%!exists(/)% %!exists(%root%/missing)%%!exists()%%!exists(%root%/file.*)%"
      u"%!exists(%root%/file.tx?)%%!exists(%root%/dir/)%%!exists(%root%/file.txt/)%"));
  ASSERT_EQ(result.status, ReplaceStatus::Ok);
  EXPECT_EQ(result.output, u"1111 000000");
#ifdef _WIN32
  // A drive's root exists, written with "/" or "\\", the bare drive not.
  table_.Set(u"drive", WidePath(scratch_.path()).substr(0, 2));
  EXPECT_EQ(
      Run(u"%!exists(%drive%\\)%%!exists(%drive%/)%%!exists(%drive%)%%!exists(%root%\\dir\\)%")
          .output,
      u"1100");
#endif
}

// Each piece is cut after 255 characters, and the trailing "\" looked for
// after the cut.
TEST_F(PathCommandsTest, SplitPathCutsDriveFolderNameAndExtension) {
  const std::u16string d(300, u'd'), f(300, u'f'), e(300, u'e');
  const struct {
    std::u16string path;
    std::u16string pieces;  // drive|folder|file|extension
  } cases[] = {
      {u"C:\\dir\\sub\\name.ext", u"C:|\\dir\\sub|name|ext"},
      {u"C:\\name.ext", u"C:||name|ext"},
      {u"C:", u"C:|||"},
      {u"name", u"||name|"},
      {u"C:\\dir\\", u"C:|\\dir||"},
      {u"x:y", u"x:||y|"},
      {u"archive.tar.gz", u"||archive.tar|gz"},
      {u"dir.d\\file", u"|dir.d|file|"},
      {u".profile", u"|||profile"},
      // Both separators count everywhere; only a trailing "\" is dropped.
      {u"/usr/lib/libx.so", u"|/usr/lib/|libx|so"},
      {u"\\\\server\\share/f", u"|\\\\server\\share/|f|"},
      {u"\\" + d + u"\\" + f + u"." + e,
       u"|\\" + d.substr(0, 254) + u"|" + f.substr(0, 255) + u"|" + e.substr(0, 254)},
      {u"\\" + d.substr(0, 253) + u"\\x\\name", u"|\\" + d.substr(0, 253) + u"|name|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(test::Printable(c.path));
    table_.Set(u"p", c.path);
    Expansion result = Run(u"[%!splitpath(%p%)%]%Drive%|%Path%|%File%|%Extension%");
    ASSERT_EQ(result.status, ReplaceStatus::Ok);
    EXPECT_EQ(result.output, u"[]" + c.pieces);
  }
  // A prefix is used as written (the longest: CommandContractTest).
  ASSERT_EQ(Run(u"%!splitpath(C:\\a\\b.c,%q%)%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, u"%q%Drive") + Symbol(table_, u"%q%Extension"), u"C:c");
}

// POSIX has no short names: there the short form is the path unchanged. The
// command asks for room for the short form's zero, the expansion for its
// own; a failure after a short path reports no more than the size query.
TEST_F(PathCommandsTest, ToShortPathNeedsRoomForAZeroThenGivesTheShortForm) {
  table_.Set(u"f", WidePath(scratch_ / "file.txt"));
  std::u16string path = WidePath(test::ShortPath(scratch_ / "file.txt"));
  auto length = static_cast<uint32_t>(path.size());
  EXPECT_EQ(Run(u"%!toshortpath(%f%)%", length).outLen, length + 2);
  Expansion retry = Run(u"%!toshortpath(%f%)%", length + 1);
  EXPECT_EQ(retry.output, path);
  EXPECT_EQ(retry.outLen, length + 1);
  Expansion missing = Run(test::NativePath(u"x%!toshortpath(%root%/missing)%"));
  EXPECT_EQ(missing.status, ReplaceStatus::NoShortPath);
  EXPECT_EQ(missing.errorPos, 3u);

  const char16_t* failing = u"%!toshortpath(/)%x%unclosed";
  uint32_t queried = 0;
  ASSERT_EQ(ReplaceSymbols(table_, failing, nullptr, &queried, ExpandFlags::None, nullptr),
            ReplaceStatus::NotClosed);
  EXPECT_EQ(Run(failing, queried + 1).outLen + 1, queried);
}

#ifndef _WIN32
// Runs as root only: the impersonated user (nobody) cannot reach into the
// scratch folder, which is its owner's alone. A path starting with "//" is
// remote, and on Linux the same file as with one "/". A token that names no
// user leaves the query to the process. On every way out, the thread
// reaches the file system as the process again.
TEST_F(PathCommandsTest, RemotePathsAreQueriedAsTheTokensUserOnly) {
  if (geteuid() != 0) GTEST_SKIP() << "changing the file-system identity needs root";
  chmod(scratch_.path().c_str(), 0700);
  const std::u16string local = WidePath(scratch_ / "file.txt");
  table_.Set(u"remote", u"/" + local);
  table_.Set(u"top", u"//tmp");
  static const struct {
    std::u16string_view text;
    uint32_t capacity;
    ReplaceStatus status;
    std::u16string_view output = {};
  } cases[] = {
      {u"%!exists(%remote%)%%!exists(%root%/file.txt)%", 65536, ReplaceStatus::Ok, u"01"},
      {u"%!exists(%remote%)%", 0, ReplaceStatus::BufferTooSmall},
      {u"%!toshortpath(%remote%)%", 65536, ReplaceStatus::NoShortPath},
      {u"%!toshortpath(%top%)%", 1, ReplaceStatus::BufferTooSmall},
      {u"%!toshortpath(%top%)%", 65536, ReplaceStatus::Ok, u"//tmp"},
  };
  table_.Set(u"!IMPERSONATION_TOKEN", u"65534");
  for (const auto& c : cases) {
    Expansion e = Run(c.text, c.capacity);
    EXPECT_EQ(e.status, c.status) << test::Printable(c.text);
    if (c.status == ReplaceStatus::Ok) {
      EXPECT_EQ(e.output, c.output) << test::Printable(c.text);
    }
    EXPECT_GE(platform::PathSize(local.c_str()), 0);
  }
  for (std::u16string_view token : {u"", u"0", u"abc", u"4294967295", u"4000000000"}) {
    table_.Set(u"!IMPERSONATION_TOKEN", token);
    EXPECT_EQ(Run(u"%!exists(%remote%)%").output, u"1") << test::Printable(token);
    EXPECT_GE(platform::PathSize(local.c_str()), 0);
  }
}
#endif

// A share is remote: "\\server" on Windows, "//server" elsewhere; a drive's
// answer comes from what its root learned, and a second answer for a file
// system from what the first learned.
TEST(IsRemotePathTest, SharesAreRemoteAndLocalPathsAreNot) {
  static const struct {
    std::u16string_view path;
    bool remote;
  } cases[] = {
#ifdef _WIN32
      {u"\\\\server\\share\\file", true},
      {u"\\\\", true},
      {u"", false},
      {u"C:\\", false},
      {u"c:\\temp", false},
      {u"c:relative", false},
      {u"temp\\file", false},
      {u"\\rooted", false},
      {u"//server/share", false},
#else
      {u"//server/share/file", true},
      {u"//", true},
      {u"", false},
      {u"/", false},
      {u"/proc/self", false},
      {u"relative/missing/file", false},
      {u"\\\\server\\share", false},
      {u"/tmp/no/such/file", false},
      {u"/tmp/no/such/file", false},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.path));
    EXPECT_EQ(IsRemotePath(std::u16string(c.path).c_str()), c.remote);
  }
}

#ifdef _WIN32
// scripts/test-windows maps a folder as a network drive of Wine and names
// its letter in KNITFOLD_NETWORK_DRIVE.
TEST(IsRemotePathTest, NetworkDrivesAreRemoteWhateverTheCaseOfTheirLetter) {
  const char* letter = std::getenv("KNITFOLD_NETWORK_DRIVE");
  if (letter == nullptr || letter[0] == 0) GTEST_SKIP() << "KNITFOLD_NETWORK_DRIVE is not set";
  const std::u16string upper(1, static_cast<char16_t>(std::toupper(letter[0])));
  const std::u16string lower(1, static_cast<char16_t>(std::tolower(letter[0])));
  EXPECT_EQ(platform::QueryDriveType((upper + u":\\").c_str()), platform::kDriveRemote);
  EXPECT_TRUE(IsRemotePath((lower + u":\\no\\such\\file").c_str()));
  EXPECT_TRUE(IsRemotePath((upper + u":relative").c_str()));
}

TEST(FileSystemQueryTest, TheDriveLetterNamesTheFileSystem) {
  uint64_t lower = 99, upper = 98, other = 97;
  ASSERT_TRUE(platform::QueryFileSystemId(u"c:\\temp", &lower) &&
              platform::QueryFileSystemId(u"C:\\other\\missing", &upper) &&
              platform::QueryFileSystemId(u"D:", &other));
  EXPECT_EQ(lower, 2u);  // bit 2 for drive C
  EXPECT_EQ(upper, lower);
  EXPECT_EQ(other, 3u);
  EXPECT_FALSE(platform::QueryFileSystemId(u"temp\\file", &other) ||
               platform::QueryFileSystemId(u"", &other));
  EXPECT_EQ(platform::QueryDriveType(u"C:\\no\\such\\file"), platform::kDriveFixed);
}

bool ThreadImpersonates() {
  HANDLE thread = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &thread)) return false;
  CloseHandle(thread);
  return true;
}

// A duplicate of the process's own token: impersonating it changes no
// access, but while it is in effect the thread carries a token of its own.
// Unusable tokens leave the thread as it is.
TEST(ImpersHlprTest, RemoteQueriesRunAsTheTokenForTheScopeOnly) {
  HANDLE process = nullptr, token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &process));
  ASSERT_TRUE(DuplicateToken(process, SecurityImpersonation, &token));
  CloseHandle(process);
  std::string number = std::to_string(reinterpret_cast<uintptr_t>(token));
  for (std::u16string_view usable : {u"", u"0", u"abc", u"4294967295", u"12345", u"usable"}) {
    SCOPED_TRACE(EncodeUtf8(usable));
    SymbolMap table(false, 16);
    table.Set(u"!IMPERSONATION_TOKEN",
              usable == u"usable" ? std::u16string(number.begin(), number.end()) : usable);
    {
      ImpersHlpr local(false, table);
      EXPECT_FALSE(ThreadImpersonates());
      ImpersHlpr remote(true, table);
      EXPECT_EQ(ThreadImpersonates(), usable == u"usable");
    }
    EXPECT_FALSE(ThreadImpersonates());
  }
  CloseHandle(token);
}
#else
// A missing path belongs to the file system of its nearest existing parent,
// found without asking every parent in turn (100000 of them would cost the
// square of that).
TEST(FileSystemQueryTest, AMissingPathBelongsToItsNearestExistingParent) {
  test::ScratchDir scratch;
  std::u16string deep(u"/no-such-folder");
  for (int i = 0; i < 100000; ++i) deep.append(u"/a");
  const std::u16string paths[][2] = {
      {WidePath(scratch.path()), WidePath(scratch / "no" / "such" / "file")},
      {u"/proc", u"/proc/self/no/such"},
      {u"/", deep}};
  uint64_t ids[3][2] = {};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(platform::QueryFileSystemId(paths[i][0].c_str(), &ids[i][0]));
    ASSERT_TRUE(platform::QueryFileSystemId(paths[i][1].c_str(), &ids[i][1]));
    EXPECT_EQ(ids[i][1], ids[i][0]) << test::Printable(paths[i][1]);
  }
  EXPECT_NE(ids[1][0], ids[0][0]);
  EXPECT_EQ(platform::QueryDriveType(paths[0][1].c_str()), platform::kDriveFixed);
}
#endif

}  // namespace
}  // namespace qds
