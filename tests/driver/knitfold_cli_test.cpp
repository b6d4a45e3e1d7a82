// The command line, the log and the exit status of the knitfold executable.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include "support/test_support.h"

namespace qds {
namespace {

using test::BuiltProgram;
using test::ReadBytes;
using test::RunProcess;
using test::ScratchDir;
using test::WriteBytes;

constexpr int kFailure = 255;  // exit status -1

test::ProcessResult Knitfold(const ScratchDir& dir, const std::vector<std::string>& arguments) {
  return RunProcess(BuiltProgram("src/knitfold"), arguments, dir.path());
}

TEST(KnitfoldCliTest, TooFewArgumentsPrintUsageAndCreateNoLog) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"a.qds"}}) {
    ScratchDir dir;
    auto result = Knitfold(dir, arguments);
    EXPECT_EQ(result.exitCode, kFailure);
    EXPECT_EQ(result.standardError, "Usage: knitfold qdsfile compatqdsfile [Trace]\n");
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
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
  WriteBytes(dir / "a.qds", "target bytes");
  WriteBytes(dir / "a.qds.log", "held");
  int holder = open((dir / "a.qds.log").c_str(), O_WRONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  auto result = Knitfold(dir, {"a.qds", "b.qds"});
  close(holder);
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(result.standardError, "Error 11 creating log file a.qds.log\n");
  EXPECT_EQ(ReadBytes(dir / "a.qds.log"), "held");
  EXPECT_EQ(ReadBytes(dir / "a.qds"), "target bytes");
  EXPECT_FALSE(std::filesystem::exists(dir / "a.qds.bak"));
}

TEST(KnitfoldCliTest, TargetNameWithoutRoomForTheLogNameIsRefused) {
  // The log name is built in a 260-character buffer: a 255-character target
  // name fits with ".log" and the terminating zero, a 256-character one does not.
  ScratchDir dir;
  std::string folders = std::string(100, 'd') + "/" + std::string(100, 'e');
  std::filesystem::create_directories(dir / folders);
  std::string fits = folders + "/" + std::string(255 - 202 - 4, 'n') + ".qds";
  ASSERT_EQ(fits.size(), 255u);
  EXPECT_EQ(Knitfold(dir, {fits, "b.qds"}).exitCode, kFailure);
  EXPECT_TRUE(std::filesystem::exists(dir / (fits + ".log")));

  std::string tooLong = folders + "/" + std::string(256 - 202 - 4, 'n') + ".qds";
  auto result = Knitfold(dir, {tooLong, "b.qds"});
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(result.standardError, "Error 36 creating log file " + tooLong + ".log\n");
  EXPECT_FALSE(std::filesystem::exists(dir / (tooLong + ".log")));
}

TEST(KnitfoldCliTest, LogInAMissingFolderReportsTheSystemCode) {
  ScratchDir dir;
  auto result = Knitfold(dir, {"none/a.qds", "b.qds"});
  EXPECT_EQ(result.exitCode, kFailure);
  EXPECT_EQ(result.standardError, "Error 2 creating log file none/a.qds.log\n");
}

}  // namespace
}  // namespace qds
