// End-to-end runs of the knitfold executable in scratch folders: the merged
// bytes, the working copies, the backup, and every refusal and failure.

#include <gtest/gtest.h>

#include <set>

#include "common/utf8.h"
#include "support/system_codes.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WriteBytes;
namespace fs = std::filesystem;

constexpr int kFailure = test::kExitStatusMinusOne;

// UTF-16LE bytes with a byte-order mark; "\n" in `text` becomes "\r\n".
std::string Qds(std::u16string_view text) {
  std::u16string crlf;
  for (char16_t c : text) {
    if (c == u'\n') crlf += u'\r';
    crlf += c;
  }
  return test::Utf16Bytes(crlf, true);
}

// Every file below `root`, relative, with its bytes.
std::set<std::pair<std::string, std::string>> Snapshot(const fs::path& root) {
  std::set<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string name = fs::relative(entry.path(), root).string();
    files.insert({name, entry.is_regular_file() ? ReadBytes(entry.path()) : "<dir>"});
  }
  return files;
}

const char16_t kTarget[] =
    u"; head\n"
    u"[$version 3, codepage 1200$]\n"
    u"; files\n"
    u"[Files]\n"
    u"  a=1\n"
    u"\n"
    u"[Reg]\n"
    u"K=v\n"
    u"; tail\n";

// A target package in pkg/ and a compat package in in/, run from the scratch
// folder. Every test runs twice: with names relative to that folder, and
// with absolute names (drive-letter paths on Windows). Names are written
// with "/" and typed with the platform's separator.
class KnitfoldMergeTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    fs::create_directory(dir / "pkg");
    fs::create_directory(dir / "in");
    WriteBytes(target, Qds(kTarget));
  }

  // `relative` as the tool is given it.
  std::string Name(std::string_view relative) const {
    std::string native = test::NativePath(relative);
    return GetParam() ? EncodeUtf8(test::WidePath(dir / native)) : native;
  }
  std::u16string Name16(std::string_view relative) const { return DecodeUtf8(Name(relative)); }

  test::ProcessResult Run(std::string_view targetName = "pkg/app.qds",
                          std::string_view compatName = "in/extra.qds") {
    return test::RunProcess(test::BuiltProgram("bin/knitfold"),
                            {Name(targetName), Name(compatName)}, dir.path());
  }
  std::u16string Log() const { return test::FromUtf16Bytes(ReadBytes(dir / "pkg/app.qds.log")); }
  void ExpectTargetUntouched() const {
    EXPECT_EQ(ReadBytes(target), Qds(kTarget));
    EXPECT_FALSE(fs::exists(dir / "pkg/app.qds.bak"));
  }

  test::ScratchDir dir;
  fs::path target = dir / "pkg/app.qds";
  fs::path compat = dir / "in/extra.qds";
};

TEST_P(KnitfoldMergeTest, AddsSectionsKeysAndFurtherValuesKeepingTheTargetsComments) {
  std::u16string longValue(300, u'v');
  WriteBytes(compat, Qds(u"[$version 3, codepage 1200$]\n"
                         u"; this comment stays in the compat file\n"
                         u"[files]\n"
                         u"A=2\n"
                         u"b=\"quoted\"\n"
                         u"long=" + longValue + u"\n"
                         u"[New]\n"
                         u"x=1\n"
                         u"x=\"2\n"
                         u"[Empty]\n"));
  auto before = Snapshot(dir / "in");
  auto result = Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(Log(), u"");
  EXPECT_EQ(ReadBytes(target), Qds(u"; head\n"
                                   u"[$version 3, codepage 1200$]\n"
                                   u"; files\n"
                                   u"[Files]\n"
                                   u"  a=1\n"
                                   u"a=2\n"
                                   u"b=quoted\n"
                                   u"\n"
                                   u"[Reg]\n"
                                   u"K=v\n"
                                   u"\n"
                                   u"[New]\n"
                                   u"x=1\n"
                                   u"x=\"2\n"
                                   u"; tail\n"));
  EXPECT_FALSE(fs::exists(dir / "pkg/app.qds.bak"));
  EXPECT_FALSE(fs::exists(dir / "pkg/app.qds.tmp"));
  EXPECT_FALSE(fs::exists(dir / "pkg/TessalCF.ADF"));  // no command or key file
  EXPECT_EQ(Snapshot(dir / "in"), before);
}

// What the read buffers of 260 characters let through: a section name, key
// or value of 260 characters or more is skipped, except that a key with an
// empty value arrives cut to 259 characters; a value is measured without
// its enclosing quotes, so a quoted value of 261 stored characters arrives.
TEST_P(KnitfoldMergeTest, LongNamesKeysAndValuesArriveOrAreSkippedByTheirLength) {
  auto text = [](char16_t c, size_t length) { return std::u16string(length, c); };
  const struct {
    std::u16string section;
    std::u16string entry;    // as the compat file holds it
    std::u16string arrives;  // as the target gets it; empty: skipped
  } cases[] = {
      {text(u's', 259), u"k=v", u"k=v"},
      {text(u'S', 260), u"k=v", u""},
      {u"A", text(u'k', 259) + u"=v", text(u'k', 259) + u"=v"},
      {u"B", text(u'k', 260) + u"=v", u""},
      {u"C", text(u'k', 300) + u"=", text(u'k', 259) + u"="},
      {u"D", u"k=" + text(u'v', 259), u"k=" + text(u'v', 259)},
      {u"E", u"k=" + text(u'v', 260), u""},
      {u"F", u"k=\"" + text(u'v', 259) + u"\"", u"k=" + text(u'v', 259)},
      {u"G", u"k=\"" + text(u'v', 260) + u"\"", u""},
  };
  std::u16string compatText;
  std::u16string expected = kTarget;
  expected.resize(expected.find(u"; tail\n"));
  for (const auto& c : cases) {
    compatText += u"[" + c.section + u"]\n" + c.entry + u"\n";
    if (!c.arrives.empty()) expected += u"\n[" + c.section + u"]\n" + c.arrives + u"\n";
  }
  WriteBytes(compat, Qds(compatText));
  ASSERT_EQ(Run().exitCode, 0);
  EXPECT_EQ(ReadBytes(target), Qds(expected + u"; tail\n"));
}

TEST_P(KnitfoldMergeTest, TwoCompatSectionsOfOneNameEachContribute) {
  WriteBytes(compat, Qds(u"[$version 2$]\n[S]\nk=1\n[s]\nk=2\n"));
  ASSERT_EQ(Run().exitCode, 0);
  std::u16string merged = test::FromUtf16Bytes(ReadBytes(target));
  EXPECT_NE(merged.find(u"[S]\r\nk=1\r\nk=2\r\n"), std::u16string::npos);
}

TEST_P(KnitfoldMergeTest, RunningTwiceAddsTheValuesTwice) {
  WriteBytes(compat, Qds(u"[Reg]\nK=v\n"));  // no version section: version 1
  ASSERT_EQ(Run().exitCode, 0);
  ASSERT_EQ(Run().exitCode, 0);
  std::u16string merged = test::FromUtf16Bytes(ReadBytes(target));
  EXPECT_NE(merged.find(u"[Reg]\r\nK=v\r\nK=v\r\nK=v\r\n; tail"), std::u16string::npos);
}

TEST_P(KnitfoldMergeTest, CompatWithoutSectionsStillSavesTheTarget) {
  WriteBytes(compat, Qds(u"; nothing here\n"));
  ASSERT_EQ(Run().exitCode, 0);
  EXPECT_EQ(ReadBytes(target), Qds(kTarget));
  EXPECT_EQ(Log(), u"");
}

TEST_P(KnitfoldMergeTest, CopiesCommandAndKeyFilesIntoTheWorkingFolder) {
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  WriteBytes(dir / "in/extra.cmd", "command bytes");
  WriteBytes(dir / "in/extra.key", "key bytes");
  ASSERT_EQ(Run().exitCode, 0);
  EXPECT_EQ(ReadBytes(dir / "pkg/TessalCF.ADF/extra.cmd"), "command bytes");
  EXPECT_EQ(ReadBytes(dir / "pkg/TessalCF.ADF/extra.key"), "key bytes");
}

TEST_P(KnitfoldMergeTest, ReadOnlyLeftoversInTheWorkingFolderAreReplaced) {
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  WriteBytes(dir / "in/extra.cmd", "new command");
  fs::create_directory(dir / "pkg/TessalCF.ADF");
  WriteBytes(dir / "pkg/TessalCF.ADF/extra.cmd", "old command");
  fs::permissions(dir / "pkg/TessalCF.ADF/extra.cmd", fs::perms::owner_read);
  ASSERT_EQ(Run().exitCode, 0);
  EXPECT_EQ(ReadBytes(dir / "pkg/TessalCF.ADF/extra.cmd"), "new command");
  EXPECT_FALSE(fs::exists(dir / "pkg/TessalCF.ADF/extra.key"));
}

TEST_P(KnitfoldMergeTest, KeyFileAloneGetsItsWorkingCopy) {
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  WriteBytes(dir / "in/extra.key", "key bytes");
  ASSERT_EQ(Run().exitCode, 0);
  EXPECT_FALSE(fs::exists(dir / "pkg/TessalCF.ADF/extra.cmd"));
  EXPECT_EQ(ReadBytes(dir / "pkg/TessalCF.ADF/extra.key"), "key bytes");
}

// A compat file inside the working folder is its own working copy's
// source: its command and key files count as copied, and stay as they are.
TEST_P(KnitfoldMergeTest, CompatInsideTheWorkingFolderKeepsItsCommandAndKeyFiles) {
  fs::create_directory(dir / "pkg/TessalCF.ADF");
  WriteBytes(dir / "pkg/TessalCF.ADF/x.qds", Qds(u"[S]\nk=v\n"));
  WriteBytes(dir / "pkg/TessalCF.ADF/x.cmd", "command bytes");
  WriteBytes(dir / "pkg/TessalCF.ADF/x.key", "key bytes");
  const auto before = Snapshot(dir / "pkg/TessalCF.ADF");
  EXPECT_EQ(Run("pkg/app.qds", "pkg/TessalCF.ADF/x.qds").exitCode, 0);
  EXPECT_EQ(Log(), u"");
  EXPECT_EQ(Snapshot(dir / "pkg/TessalCF.ADF"), before);
}

TEST_P(KnitfoldMergeTest, FileNamedLikeTheWorkingFolderGivesACopyError) {
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  WriteBytes(dir / "in/extra.cmd", "command bytes");
  WriteBytes(dir / "pkg/TessalCF.ADF", "in the way");
  auto result = Run();
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(Log(), u"Error copying " + Name16("in/extra.cmd") + u" to " +
                       Name16("pkg/TessalCF.ADF/extra.cmd") + u" : " +
                       test::SystemErrorText(test::kCodeFileInTheWay) + u"\n");
  ExpectTargetUntouched();
  EXPECT_EQ(ReadBytes(dir / "pkg/TessalCF.ADF"), "in the way");
}

TEST_P(KnitfoldMergeTest, NamesWithoutTheQdsExtensionAreRefusedBeforeAnythingIsTouched) {
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  WriteBytes(dir / "in/extra.cmd", "command bytes");
  fs::create_directory(dir / "in.d");
  const struct {
    std::string target;
    std::string compat;
    std::string refused;
  } cases[] = {
      {"pkg/app.qds", "in/extra", "in/extra"},
      {"pkg/app.qds", "in/extra.txt", "in/extra.txt"},
      {"pkg/app.qds", "in.d/extra", "in.d/extra"},
      {"pkg/app.qds", "in/extra.qds old", "in/extra.qds old"},
      {"pkg/app.qds.txt", "in/extra.qds", "pkg/app.qds.txt"},  // after the compat passed
      {"pkg/app", "in/extra.qds", "pkg/app"},
  };
  for (const auto& c : cases) {
    auto result = Run(c.target, c.compat);
    EXPECT_EQ(result.exitCode, kFailure) << c.target << " " << c.compat;
    std::u16string log =
        test::FromUtf16Bytes(ReadBytes(dir / (c.target + ".log")));
    EXPECT_EQ(log, u"Invalid QDS file name: " + Name16(c.refused) + u"\n")
        << c.target << " " << c.compat;
    fs::remove(dir / (c.target + ".log"));
    EXPECT_FALSE(fs::exists(dir / "pkg/TessalCF.ADF"));
    ExpectTargetUntouched();
  }
}

TEST_P(KnitfoldMergeTest, UpperCaseExtensionIsAcceptedAndNamesTheCommandFile) {
  WriteBytes(dir / "in/extra.QDS", Qds(u"[S]\nk=v\n"));
  WriteBytes(dir / "in/extra.cmd", "command bytes");
  ASSERT_EQ(Run("pkg/app.qds", "in/extra.QDS").exitCode, 0);
  EXPECT_EQ(ReadBytes(dir / "pkg/TessalCF.ADF/extra.cmd"), "command bytes");
}

TEST_P(KnitfoldMergeTest, CompatNameTooLongForTheWorkingCopyIsRefused) {
  // The working copy pkg/TessalCF.ADF/<name> would pass the 259 characters of
  // a path buffer, whether or not a command file exists.
  std::string longCompat = "in/" + std::string(241, 'c') + ".qds";
  WriteBytes(dir / longCompat, Qds(u"[S]\nk=v\n"));
  auto result = Run("pkg/app.qds", longCompat);
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(Log(), u"Invalid QDS file name: " + Name16(longCompat) + u"\n");
  ExpectTargetUntouched();
}

TEST_P(KnitfoldMergeTest, TargetThatFailsToLoadIsRestoredUntouched) {
  const char16_t bad[] = u"[$version 3, codepage 1200$]\n[S]\n=no key\n";
  WriteBytes(target, Qds(bad));
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  EXPECT_EQ(Run().exitCode, kFailure);
  EXPECT_EQ(Log(), u"Error 7 loading file " + Name16("pkg/app.qds") + u"\n");
  EXPECT_EQ(ReadBytes(target), Qds(bad));
  EXPECT_FALSE(fs::exists(dir / "pkg/app.qds.bak"));
}

TEST_P(KnitfoldMergeTest, CompatThatFailsToLoadLeavesTheTargetUntouched) {
  EXPECT_EQ(Run().exitCode, kFailure);
  EXPECT_EQ(Log(), u"Error 2 loading file " + Name16("in/extra.qds") + u"\n");
  ExpectTargetUntouched();
}

// The two files load at the same time, but failures are told as if the
// target loaded first: when both fail, only the target's failure is told.
TEST_P(KnitfoldMergeTest, WhenBothFilesFailToLoadTheTargetsFailureIsTold) {
  const char16_t bad[] = u"[$version 3, codepage 1200$]\n[S]\n=no key\n";
  WriteBytes(target, Qds(bad));
  EXPECT_EQ(Run().exitCode, kFailure);  // and the compat file is missing
  EXPECT_EQ(Log(), u"Error 7 loading file " + Name16("pkg/app.qds") + u"\n");
  EXPECT_EQ(ReadBytes(target), Qds(bad));
}

TEST_P(KnitfoldMergeTest, MissingTargetIsACopyErrorOfTheBackup) {
  fs::remove(target);
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  EXPECT_EQ(Run().exitCode, kFailure);
  EXPECT_EQ(Log(), u"Error copying " + Name16("pkg/app.qds") + u" to " + Name16("pkg/app.qds.bak") +
                       u" : " + test::SystemErrorText(test::kCodeMissingFile) + u"\n");
  EXPECT_FALSE(fs::exists(target));
}

#ifndef _WIN32
// The backup is made while the files load: when it fails, the loads that
// succeeded meanwhile count for nothing, and the error told is the backup's.
TEST_P(KnitfoldMergeTest, BackupThatFailsBesideGoodLoadsStopsTheRunWithItsOwnError) {
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  const std::string before = ReadBytes(target);
  fs::create_directories(dir / "pkg/app.qds.bak/inside");
  EXPECT_EQ(Run().exitCode, kFailure);
  EXPECT_EQ(Log(), u"Error copying " + Name16("pkg/app.qds") + u" to " + Name16("pkg/app.qds.bak") +
                       u" : " + test::SystemErrorText(EISDIR) + u"\n");
  EXPECT_EQ(ReadBytes(target), before);
  EXPECT_FALSE(fs::exists(dir / "pkg/app.qds.tmp"));
}

TEST_P(KnitfoldMergeTest, FailedSaveLeavesTheTargetWithItsOldBytes) {
  WriteBytes(compat, Qds(u"[S]\nk=" + std::u16string(200, u'v') + u"\n"));
  // Room for the backup and the log, not for the merged text.
  test::ScopedFileSizeLimit full(fs::file_size(target) + 256);
  EXPECT_EQ(Run().exitCode, kFailure);
  EXPECT_EQ(Log(), u"Error 6 saving file " + Name16("pkg/app.qds") + u"\n");
  ExpectTargetUntouched();
}

#else
// Windows refuses a link or junction, and a file of several links, at the
// names that knitfold picks for itself; the victim they lead to stays as it
// is. Wine cannot make links: those rows are skipped there.
TEST(PlantedNamesTest, LinksAndFilesOfSeveralLinksAtPickedNamesAreRefused) {
  constexpr uint32_t kLinkRefused = 1920;   // ERROR_CANT_ACCESS_FILE
  constexpr uint32_t kSeveralLinks = 1142;  // ERROR_TOO_MANY_LINKS
  std::vector<std::string> skipped;
  for (const char* name : {"app.qds.log", "app.qds.tmp", "app.qds.bak", "TessalCF.ADF"}) {
    for (bool hardLink : {false, true}) {
      const bool folder = std::string_view(name) == "TessalCF.ADF";
      if (folder && hardLink) continue;
      SCOPED_TRACE(std::string(name) + (hardLink ? ": hard link" : ": link"));
      test::ScratchDir dir;
      auto at = [&](std::string_view relative) { return (dir / relative).make_preferred(); };
      fs::create_directories(at("pkg"));
      fs::create_directories(at("victim"));
      WriteBytes(at("victim/file"), "victim bytes");
      WriteBytes(at("pkg/app.qds"), Qds(kTarget));
      WriteBytes(at("pkg/extra.qds"), Qds(u"[S]\nk=v\n"));
      WriteBytes(at("pkg/extra.cmd"), "command bytes");
      const fs::path planted = at("pkg") / name;
      std::error_code error;
      if (hardLink) {
        fs::create_hard_link(at("victim/file"), planted, error);
      } else if (folder) {
        fs::create_directory_symlink(at("victim"), planted, error);
      } else {
        fs::create_symlink(at("victim/file"), planted, error);
      }
      if (error || !fs::exists(fs::symlink_status(planted))) {
        skipped.push_back(std::string(name) + (hardLink ? " (hard link)" : " (link)"));
        continue;
      }
      auto result = test::RunProcess(test::BuiltProgram("bin/knitfold"),
                                     {at("pkg/app.qds").string(), at("pkg/extra.qds").string()});
      EXPECT_EQ(result.exitCode, kFailure);
      const uint32_t code = hardLink ? kSeveralLinks : kLinkRefused;
      const std::string target = at("pkg/app.qds").string();
      if (std::string_view(name) == "app.qds.log") {
        EXPECT_EQ(result.standardError,
                  "Error " + std::to_string(code) + " creating log file " + target + ".log\n");
      } else {
        std::u16string log = test::FromUtf16Bytes(ReadBytes(at("pkg/app.qds.log")));
        std::u16string from = test::WidePath(at(folder ? "pkg/extra.cmd" : "pkg/app.qds"));
        std::u16string to = test::WidePath(folder ? at("pkg/TessalCF.ADF/extra.cmd") : planted);
        EXPECT_EQ(log, std::string_view(name) == "app.qds.tmp"
                           ? u"Error 1 saving file " + test::WidePath(target) + u"\n"
                           : u"Error copying " + from + u" to " + to + u" : " +
                                 test::SystemErrorText(code) + u"\n");
      }
      EXPECT_EQ(ReadBytes(at("pkg/app.qds")), Qds(kTarget));
      EXPECT_EQ(Snapshot(at("victim")).size(), 1u);
      EXPECT_EQ(ReadBytes(at("victim/file")), "victim bytes");
    }
  }
  if (!skipped.empty()) {
    std::string list;
    for (const std::string& row : skipped) list += " " + row;
    GTEST_SKIP() << "this system cannot make a link here (Wine cannot); not tried:" << list;
  }
}
#endif

TEST_P(KnitfoldMergeTest, TemporaryFileThatCannotBeWrittenLeavesTheTargetUntouched) {
  WriteBytes(compat, Qds(u"[S]\nk=v\n"));
  fs::create_directory(dir / "pkg/app.qds.tmp");
  EXPECT_EQ(Run().exitCode, kFailure);
  EXPECT_EQ(Log(), u"Error 3 saving file " + Name16("pkg/app.qds") + u"\n");
  ExpectTargetUntouched();
}

INSTANTIATE_TEST_SUITE_P(Names, KnitfoldMergeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Absolute" : "Relative";
                         });

}  // namespace
}  // namespace qds
