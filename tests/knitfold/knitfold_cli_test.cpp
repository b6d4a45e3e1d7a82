// The command line, the log and the exit status of the knitfold executable.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/utf8.h"
#include "platform/errors.h"
#include "support/system_codes.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::NativePath;
using test::ReadBytes;
using test::WriteBytes;
namespace fs = std::filesystem;

// Runs that stop at the command line or at the log: their standard error,
// the start of their standard output (--help or --version alone is
// answered there, with exit 0), and the files they touch: none, or only the
// log named in the row (which holds no word of an earlier run's log
// afterwards; extra arguments are ignored). The log's name is built in a
// 260-character buffer: a 255-character target name fits with ".log" and
// the terminating zero, a 256-character one does not.
TEST(KnitfoldCliTest, RunsThatStopEarlyTouchOnlyTheirLog) {
  const std::string folders = std::string(100, 'd') + NativePath("/") + std::string(100, 'e');
  const std::string fits = folders + NativePath("/") + std::string(49, 'n') + ".qds";
  const std::string tooLong = folders + NativePath("/") + std::string(50, 'n') + ".qds";
  ASSERT_EQ(fits.size(), 255u);
  const std::string usage = "Usage: knitfold qdsfile compatqdsfile [Trace]\n";
  auto logError = [](uint32_t code, const std::string& target) {
    return "Error " + std::to_string(code) + " creating log file " + target + ".log\n";
  };
  for (bool absolute : {false, true}) {
    test::ScratchDir dir;
    // Relative, and absolute (a drive-letter path on Windows).
    const std::string held = absolute ? EncodeUtf8(test::WidePath(dir / "a.qds")) : "a.qds";
    const struct {
      std::vector<std::string> arguments;
      bool holdLog;
      std::string standardError;
      std::string log;  // the log the run writes; empty: nothing touched
      std::string output = {};
    } cases[] = {
        {{}, false, usage, ""},
        {{"a.qds"}, false, usage, ""},
        {{held, "b.qds"}, true, logError(test::kCodeHeld, held), ""},
        {{NativePath("none/a.qds"), "b.qds"},
         false,
         logError(test::kCodeMissingFolder, NativePath("none/a.qds")),
         ""},
        {{tooLong, "b.qds"}, false, logError(platform::kErrorNameTooLong, tooLong), ""},
        {{fits, "b.qds"}, false, "", fits + ".log"},
        {{"a.qds", "missing.txt", "TRACE", "verbose", "extra"}, false, "", "a.qds.log"},
        {{"--help"}, false, "", "", usage + "Merges every entry"},
        {{"--version"}, false, "", "", "knitfold " KNITFOLD_PROJECT_VERSION "\n"},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.arguments.empty() ? "no argument" : c.arguments[0]);
      fs::create_directories(dir / folders);
      WriteBytes(dir / "a.qds", "target bytes");
      WriteBytes(dir / "a.qds.log", "left over from an earlier run");
      const auto before = test::Snapshot(dir.path());
      test::ProcessResult result;
      {
        std::optional<test::ExclusiveHold> holder;
        if (c.holdLog) {
          ASSERT_TRUE(holder.emplace(dir / "a.qds.log").held());
        }
        result = test::RunProcess(test::BuiltProgram("bin/knitfold"), c.arguments, dir.path());
      }
      EXPECT_EQ(result.exitCode, c.output.empty() ? test::kExitStatusMinusOne : 0);
      EXPECT_EQ(result.standardError, c.standardError);
      EXPECT_EQ(result.standardOutput.substr(0, c.output.size()), c.output);
      EXPECT_EQ(result.standardOutput.empty(), c.output.empty());
      if (c.log.empty()) {
        EXPECT_EQ(test::Snapshot(dir.path()), before);
      } else {
        EXPECT_EQ(ReadBytes(dir / c.log).find("left over"), std::string::npos);
      }
      fs::remove(dir / (fits + ".log"));
    }
  }
}

}  // namespace
}  // namespace qds
