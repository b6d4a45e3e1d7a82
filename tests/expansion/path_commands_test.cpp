// The path commands, run through ReplaceSymbols with a real symbol table and
// real files.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>

#include "common/utf8.h"
#include "expansion/builtin_commands.h"
#include "expansion/expansion.h"
#include "platform/descriptors.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::Expand;
using test::Expansion;
using test::Symbol;
using test::WidePath;

class PathCommandsTest : public ::testing::Test {
 protected:
  PathCommandsTest() {
    test::WriteBytes(scratch_ / "file.txt", "x");
    std::filesystem::create_directory(scratch_ / "dir");
    table_.Set(u"root", WidePath(scratch_.path()));
  }

  Expansion Run(std::u16string_view text, uint32_t capacity = 65536) {
    return Expand(table_, text, capacity);
  }

  test::ScratchDir scratch_;
  SymbolMap table_{false, 16, &kBuiltinCommands};
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
}

#ifdef _WIN32
TEST_F(PathCommandsTest, ExistsTakesADrivesRootButNotTheBareDrive) {
  std::u16string drive = WidePath(scratch_.path()).substr(0, 2);
  table_.Set(u"drive", drive);
  // The status query takes "/" as well as "\".
  Expansion result =
      Run(u"%!exists(%drive%\\)%%!exists(%drive%/)%%!exists(%drive%)%"
          u"%!exists(%root%\\dir\\)%%!exists(%root%/file.txt)%");
  ASSERT_EQ(result.status, ReplaceStatus::Ok);
  EXPECT_EQ(result.output, u"11001");
}
#endif

TEST_F(PathCommandsTest, SplitPathCutsDriveFolderNameAndExtension) {
  const struct {
    std::u16string_view path;
    std::u16string_view pieces;  // drive|folder|file|extension
  } cases[] = {
      {u"C:\\dir\\sub\\name.ext", u"C:|\\dir\\sub|name|ext"}, {u"C:\\name.ext", u"C:||name|ext"},
      {u"C:", u"C:|||"}, {u"name", u"||name|"}, {u"C:\\dir\\", u"C:|\\dir||"}, {u"x:y", u"x:||y|"},
      {u"archive.tar.gz", u"||archive.tar|gz"}, {u"dir.d\\file", u"|dir.d|file|"},
      {u".profile", u"|||profile"},
      // Both separators count everywhere; only a trailing "\" is dropped.
      {u"/usr/lib/libx.so", u"|/usr/lib/|libx|so"},
      {u"\\\\server\\share/f", u"|\\\\server\\share/|f|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.path));
    table_.Set(u"p", c.path);
    Expansion result = Run(u"[%!splitpath(%p%)%]%Drive%|%Path%|%File%|%Extension%");
    ASSERT_EQ(result.status, ReplaceStatus::Ok);
    EXPECT_EQ(result.output, u"[]" + std::u16string(c.pieces));
  }

  // Each piece is cut after 255 characters, and the trailing "\" looked for
  // after the cut.
  std::u16string d(300, u'd'), f(300, u'f'), e(300, u'e');
  table_.Set(u"p", u"\\" + d + u"\\" + f + u"." + e);
  ASSERT_EQ(Run(u"%!splitpath(%p%)%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, u"Path"), u"\\" + d.substr(0, 254));
  EXPECT_EQ(Symbol(table_, u"File"), f.substr(0, 255));
  EXPECT_EQ(Symbol(table_, u"Extension"), e.substr(0, 254));
  table_.Set(u"p", u"\\" + d.substr(0, 253) + u"\\x\\name");
  ASSERT_EQ(Run(u"%!splitpath(%p%)%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, u"Path"), u"\\" + d.substr(0, 253));
}

TEST_F(PathCommandsTest, SplitPathPrefixIsUsedAsWrittenUpTo992Characters) {
  ASSERT_EQ(Run(u"%!splitpath(C:\\a\\b.c,x)%%!splitpath(d.e,%q%)%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, u"xDrive") + Symbol(table_, u"xPath") + Symbol(table_, u"xFile") +
                Symbol(table_, u"xExtension") + Symbol(table_, u"%q%File"),
            u"C:\\abcd");
  EXPECT_EQ(Symbol(table_, u"Drive"), u"<absent>");

  std::u16string longest(992, u'x');
  ASSERT_EQ(Run(u"%!splitpath(a.b," + longest + u")%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, longest + u"Extension"), u"b");
  // The prefix is checked before the path is expanded.
  EXPECT_EQ(Run(u"%!splitpath(%!nosuch()%," + longest + u"y)%").status,
            ReplaceStatus::ArgumentTooLong);
}

// POSIX has no short names: there the short form is the path unchanged.
TEST_F(PathCommandsTest, ToShortPathNeedsRoomForAZeroThenGivesTheShortForm) {
  table_.Set(u"f", WidePath(scratch_ / "file.txt"));
  std::u16string path = WidePath(test::ShortPath(scratch_ / "file.txt"));
  auto length = static_cast<uint32_t>(path.size());
  // The command asks for room for the short form's zero, the expansion for
  // its own.
  Expansion tooSmall = Run(u"%!toshortpath(%f%)%", length);
  ASSERT_EQ(tooSmall.status, ReplaceStatus::BufferTooSmall);
  EXPECT_EQ(tooSmall.outLen, length + 2);
  for (uint32_t capacity : {length + 1, tooSmall.outLen}) {
    Expansion retry = Run(u"%!toshortpath(%f%)%", capacity);
    ASSERT_EQ(retry.status, ReplaceStatus::Ok);
    EXPECT_EQ(retry.output, path);
    EXPECT_EQ(retry.outLen, length + 1);
  }
  EXPECT_EQ(Run(test::NativePath(u"%!toshortpath(%root%/dir)%")).output,
            WidePath(test::ShortPath(scratch_ / "dir")));
  Expansion missing = Run(test::NativePath(u"x%!toshortpath(%root%/missing)%"));
  EXPECT_EQ(missing.status, ReplaceStatus::NoShortPath);
  EXPECT_EQ(missing.errorPos, 3u);

  // A failure after a short path reports no more than the size query: the
  // query counts the short form's zero, a call with room for it does not.
  const char16_t* failing = u"%!toshortpath(/)%x%unclosed";
  uint32_t queried = 0;
  ASSERT_EQ(ReplaceSymbols(table_, failing, nullptr, &queried, 0, nullptr),
            ReplaceStatus::NotClosed);
  Expansion failed = Run(failing, queried + 1);
  EXPECT_EQ(failed.status, ReplaceStatus::NotClosed);
  EXPECT_EQ(failed.outLen + 1, queried);
}

#ifndef _WIN32
// Runs as root only: the impersonated user (nobody) cannot reach into the
// scratch folder, which is its owner's alone. A path starting with "//" is
// remote, and on Linux the same file as with one "/".
class ImpersonatedPathCommandsTest : public PathCommandsTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "changing the file-system identity needs root";
    chmod(scratch_.path().c_str(), 0700);
    local_ = WidePath(scratch_ / "file.txt");
    table_.Set(u"remote", u"/" + local_);
    table_.Set(u"top", u"//tmp");
    table_.Set(u"!IMPERSONATION_TOKEN", u"65534");
  }

  // The thread reaches the file system as the process again.
  bool Restored() const { return platform::PathSize(local_.c_str()) >= 0; }

  std::u16string local_;
};

TEST_F(ImpersonatedPathCommandsTest, RemotePathsAreQueriedAsTheTokensUserOnly) {
  EXPECT_EQ(Run(u"%!exists(%remote%)%%!exists(%root%/file.txt)%").output, u"01");
  for (std::u16string_view token : {u"", u"0", u"abc", u"4294967295", u"4000000000"}) {
    SCOPED_TRACE(EncodeUtf8(token));
    table_.Set(u"!IMPERSONATION_TOKEN", token);
    EXPECT_EQ(Run(u"%!exists(%remote%)%").output, u"1");
    EXPECT_TRUE(Restored());
  }
}

TEST_F(ImpersonatedPathCommandsTest, IdentityIsRestoredOnEveryWayOut) {
  static const struct {
    std::u16string_view text;
    uint32_t capacity;
    ReplaceStatus status;
  } cases[] = {
      {u"%!exists(%remote%)%", 65536, ReplaceStatus::Ok},
      {u"%!exists(%remote%)%", 0, ReplaceStatus::BufferTooSmall},
      {u"%!toshortpath(%remote%)%", 65536, ReplaceStatus::NoShortPath},
      {u"%!toshortpath(%top%)%", 1, ReplaceStatus::BufferTooSmall},
      {u"%!toshortpath(%top%)%", 65536, ReplaceStatus::Ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.text));
    EXPECT_EQ(Run(c.text, c.capacity).status, c.status);
    EXPECT_TRUE(Restored());
  }
}

#endif

}  // namespace
}  // namespace qds
