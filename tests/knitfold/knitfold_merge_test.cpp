// End-to-end runs of the knitfold executable in scratch folders: the merged
// bytes, the working copies, the backup, and every refusal and failure.

#include <gtest/gtest.h>

#include <functional>

#include "common/utf8.h"
#include "support/system_codes.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::Qds;
using test::ReadBytes;
using test::Snapshot;
using test::WriteBytes;
namespace fs = std::filesystem;

constexpr int kFailure = test::kExitStatusMinusOne;

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
                         u"long=" +
                         longValue +
                         u"\n"
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

// The command and key files beside the compat file (whose extension may be
// upper case) reach the working folder, replacing read-only leftovers there.
TEST_P(KnitfoldMergeTest, CommandAndKeyFilesGetTheirWorkingCopies) {
  const struct {
    const char* compat;
    const char* command;  // in in/; null: none
    const char* key;
    const char* leftover;  // a read-only extra.cmd already in the working folder
  } cases[] = {
      {"in/extra.qds", "command bytes", "key bytes", nullptr},
      {"in/extra.qds", "new command", nullptr, "old command"},
      {"in/extra.qds", nullptr, "key bytes", nullptr},
      {"in/extra.QDS", "command bytes", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.compat) + " " + (c.command ? c.command : "-") + " " +
                 (c.key ? c.key : "-"));
    fs::remove_all(dir / "in");
    fs::remove_all(dir / "pkg/TessalCF.ADF");
    fs::create_directories(dir / "in");
    WriteBytes(dir / c.compat, Qds(u"[S]\nk=v\n"));
    if (c.command) WriteBytes(dir / "in/extra.cmd", c.command);
    if (c.key) WriteBytes(dir / "in/extra.key", c.key);
    if (c.leftover) {
      fs::create_directory(dir / "pkg/TessalCF.ADF");
      WriteBytes(dir / "pkg/TessalCF.ADF/extra.cmd", c.leftover);
      fs::permissions(dir / "pkg/TessalCF.ADF/extra.cmd", fs::perms::owner_read);
    }
    ASSERT_EQ(Run("pkg/app.qds", c.compat).exitCode, 0);
    for (const auto& [name, bytes] : {std::pair{"extra.cmd", c.command}, {"extra.key", c.key}}) {
      const fs::path copy = dir / "pkg/TessalCF.ADF" / name;
      EXPECT_EQ(fs::exists(copy), bytes != nullptr) << name;
      if (bytes) {
        EXPECT_EQ(ReadBytes(copy), bytes) << name;
      }
    }
  }
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

// Every run that fails: its one message in the log beside the target it was
// given, the target as it was (or absent), and no backup left. The two files
// load at the same time, but failures are told as if the target loaded
// first: when both fail, only the target's failure is told. The backup is
// made while the files load: when it fails, the loads that succeeded
// meanwhile count for nothing.
TEST_P(KnitfoldMergeTest, FailedRunsTellTheirErrorAndLeaveTheTarget) {
  const std::u16string bad = u"[$version 3, codepage 1200$]\n[S]\n=no key\n";
  const std::string longCompat = "in/" + std::string(241, 'c') + ".qds";
  auto copyError = [this](const char* from, const char* to, uint32_t code) {
    return u"Error copying " + Name16(from) + u" to " + Name16(to) + u" : " +
           test::SystemErrorText(code) + u"\n";
  };
  auto loadError = [this](int code, const char* name) {
    return u"Error " + DecodeUtf8(std::to_string(code)) + u" loading file " + Name16(name) + u"\n";
  };
  auto invalid = [this](const std::string& name) {
    return u"Invalid QDS file name: " + Name16(name) + u"\n";
  };
  auto none = [] {};
  auto removeCompat = [&] { fs::remove(compat); };
  auto badTarget = [&] { WriteBytes(target, Qds(bad)); };
  const struct {
    const char* what;
    std::function<void()> setup;
    std::string targetName, compatName;
    std::u16string log;
    std::u16string targetAfter;  // empty: no target
    bool nothingCopied;          // refused before any working copy
  } cases[] = {
      {"file named like the working folder",
       [&] { WriteBytes(dir / "pkg/TessalCF.ADF", "in the way"); }, "pkg/app.qds", "in/extra.qds",
       copyError("in/extra.cmd", "pkg/TessalCF.ADF/extra.cmd", test::kCodeFileInTheWay), kTarget,
       false},
      {"target fails to load", badTarget, "pkg/app.qds", "in/extra.qds",
       loadError(7, "pkg/app.qds"), bad, false},
      {"compat missing", removeCompat, "pkg/app.qds", "in/extra.qds", loadError(2, "in/extra.qds"),
       kTarget, false},
      {"both fail to load", [&] { badTarget(), removeCompat(); }, "pkg/app.qds", "in/extra.qds",
       loadError(7, "pkg/app.qds"), bad, false},
      {"target missing", [&] { fs::remove(target); }, "pkg/app.qds", "in/extra.qds",
       copyError("pkg/app.qds", "pkg/app.qds.bak", test::kCodeMissingFile), u"", false},
#ifndef _WIN32
      {"backup name is a folder", [&] { fs::create_directories(dir / "pkg/app.qds.bak/inside"); },
       "pkg/app.qds", "in/extra.qds", copyError("pkg/app.qds", "pkg/app.qds.bak", EISDIR), kTarget,
       false},
#endif
      {"temporary file name is a folder", [&] { fs::create_directory(dir / "pkg/app.qds.tmp"); },
       "pkg/app.qds", "in/extra.qds", u"Error 3 saving file " + Name16("pkg/app.qds") + u"\n",
       kTarget, false},
      // The working copy pkg/TessalCF.ADF/<name> would pass the 259
      // characters of a path buffer.
      {"compat name too long for its working copy",
       [&] { WriteBytes(dir / longCompat, Qds(u"[S]\nk=v\n")); }, "pkg/app.qds", longCompat,
       invalid(longCompat), kTarget, true},
      {"compat without extension", none, "pkg/app.qds", "in/extra", invalid("in/extra"), kTarget,
       true},
      {"compat .txt", none, "pkg/app.qds", "in/extra.txt", invalid("in/extra.txt"), kTarget, true},
      {"dot in a folder name", [&] { fs::create_directory(dir / "in.d"); }, "pkg/app.qds",
       "in.d/extra", invalid("in.d/extra"), kTarget, true},
      {"extension before a space", none, "pkg/app.qds", "in/extra.qds old",
       invalid("in/extra.qds old"), kTarget, true},
      // Only once the compat name passed.
      {"target .txt", none, "pkg/app.qds.txt", "in/extra.qds", invalid("pkg/app.qds.txt"), kTarget,
       true},
      {"target without extension", none, "pkg/app", "in/extra.qds", invalid("pkg/app"), kTarget,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* folder : {"pkg", "in", "in.d"}) fs::remove_all(dir / folder);
    SetUp();
    WriteBytes(compat, Qds(u"[S]\nk=v\n"));
    WriteBytes(dir / "in/extra.cmd", "command bytes");
    c.setup();
    EXPECT_EQ(Run(c.targetName, c.compatName).exitCode, kFailure);
    EXPECT_EQ(test::FromUtf16Bytes(ReadBytes(dir / (c.targetName + ".log"))), c.log);
    if (c.targetAfter.empty()) {
      EXPECT_FALSE(fs::exists(target));
    } else {
      EXPECT_EQ(ReadBytes(target), Qds(c.targetAfter));
    }
    EXPECT_FALSE(fs::is_regular_file(dir / "pkg/app.qds.bak"));
    EXPECT_FALSE(fs::is_regular_file(dir / "pkg/app.qds.tmp"));
    if (c.nothingCopied) {
      EXPECT_FALSE(fs::exists(dir / "pkg/TessalCF.ADF"));
    }
  }
}

#ifdef _WIN32
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

INSTANTIATE_TEST_SUITE_P(Names, KnitfoldMergeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Absolute" : "Relative";
                         });

}  // namespace
}  // namespace qds
