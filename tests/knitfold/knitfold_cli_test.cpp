// The command line, the log and the exit status of the knitfold executable.

#include <gtest/gtest.h>

#include <string>

#include "common/utf8.h"
#include "platform/errors.h"
#include "support/system_codes.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::BuiltProgram;
using test::ReadBytes;
using test::RunProcess;
using test::ScratchDir;
using test::WidePath;
using test::WriteBytes;

using test::NativePath;

constexpr int kFailure = test::kExitStatusMinusOne;

test::ProcessResult Knitfold(const ScratchDir& dir, const std::vector<std::string>& arguments) {
  return RunProcess(BuiltProgram("bin/knitfold"), arguments, dir.path());
}

// Too few arguments fail with the usage; a question alone is answered on
// standard output. Neither creates a log.
TEST(KnitfoldCliTest, ArgumentsWithoutAMergePrintAndCreateNoLog) {
  const std::string usage = "Usage: knitfold qdsfile compatqdsfile [Trace]\n";
  static const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string output;  // its start
    std::string error;
  } cases[] = {
      {{}, kFailure, "", usage},
      {{"a.qds"}, kFailure, "", usage},
      {{"--help"}, 0, usage + "Merges every entry", ""},
      {{"--version"}, 0, "knitfold " KNITFOLD_PROJECT_VERSION "\n", ""},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    auto result = Knitfold(dir, c.arguments);
    std::string shown = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(result.exitCode, c.exitCode) << shown;
    EXPECT_EQ(result.standardError, c.error) << shown;
    EXPECT_EQ(result.standardOutput.substr(0, c.output.size()), c.output) << shown;
    EXPECT_EQ(result.standardOutput.empty(), c.output.empty()) << shown;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << shown;
  }
}

TEST(KnitfoldCliTest, LogOfAnEarlierRunIsTruncatedEvenWhenTheRunFails) {
  ScratchDir dir;
  WriteBytes(dir / "a.qds.log", "left over from an earlier run");
  auto result = Knitfold(dir, {"a.qds", "missing.txt", "TRACE", "verbose", "extra"});
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(result.standardError, "");
  std::string log = ReadBytes(dir / "a.qds.log");
  EXPECT_EQ(log.find("left over"), std::string::npos);
}

TEST(KnitfoldCliTest, LogHeldByAnotherRunFailsBeforeAnythingIsTouched) {
  ScratchDir dir;
  // Relative, and absolute (a drive-letter path on Windows).
  for (const std::string& target : {std::string("a.qds"), EncodeUtf8(WidePath(dir / "a.qds"))}) {
    SCOPED_TRACE(target);
    WriteBytes(dir / "a.qds", "target bytes");
    WriteBytes(dir / "a.qds.log", "held");
    test::ProcessResult result;
    {
      test::ExclusiveHold holder(dir / "a.qds.log");
      ASSERT_TRUE(holder.held());
      result = Knitfold(dir, {target, "b.qds"});
    }
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_EQ(result.standardError, "Error " + std::to_string(test::kCodeHeld) +
                                        " creating log file " + target + ".log\n");
    EXPECT_EQ(ReadBytes(dir / "a.qds.log"), "held");
    EXPECT_EQ(ReadBytes(dir / "a.qds"), "target bytes");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.qds.bak"));
  }
}

TEST(KnitfoldCliTest, TargetNameWithoutRoomForTheLogNameIsRefused) {
  // The log name is built in a 260-character buffer: a 255-character target
  // name fits with ".log" and the terminating zero, a 256-character one does not.
  ScratchDir dir;
  std::string folders = std::string(100, 'd') + NativePath("/") + std::string(100, 'e');
  std::filesystem::create_directories(dir / folders);
  std::string fits = folders + NativePath("/") + std::string(255 - 202 - 4, 'n') + ".qds";
  ASSERT_EQ(fits.size(), 255u);
  EXPECT_EQ(Knitfold(dir, {fits, "b.qds"}).exitCode, kFailure);
  EXPECT_TRUE(std::filesystem::exists(dir / (fits + ".log")));

  std::string tooLong = folders + NativePath("/") + std::string(256 - 202 - 4, 'n') + ".qds";
  auto result = Knitfold(dir, {tooLong, "b.qds"});
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(result.standardError, "Error " + std::to_string(platform::kErrorNameTooLong) +
                                      " creating log file " + tooLong + ".log\n");
  EXPECT_FALSE(std::filesystem::exists(dir / (tooLong + ".log")));
}

TEST(KnitfoldCliTest, LogInAMissingFolderReportsTheSystemCode) {
  ScratchDir dir;
  auto result = Knitfold(dir, {NativePath("none/a.qds"), "b.qds"});
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(result.standardError, "Error " + std::to_string(test::kCodeMissingFolder) +
                                      " creating log file " + NativePath("none/a.qds.log\n"));
}

}  // namespace
}  // namespace qds
