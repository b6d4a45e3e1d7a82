// qdstool's commands, run as a user runs them: output, error lines and exit
// statuses.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/path_syntax.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ProcessResult;
using test::ReadBytes;
using test::ScratchDir;
using test::Utf16Bytes;
using test::WriteBytes;

ProcessResult Tool(const std::vector<std::string>& arguments) {
  return test::RunProcess(test::BuiltProgram("bin/qdstool"), arguments);
}

// A file as the saver writes it with KeepComments, so that it reads back
// unchanged.
const char16_t kSample[] =
    u"; package\r\n[$version 3, codepage 1200$]\r\n"
    u"[files]\r\nmain=app.exe\r\n  ; the helper\r\nhelper=h\x00E9lp.dll\r\n"
    u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n";

class QdsToolTest : public testing::Test {
 protected:
  std::string Write(const char* name, std::u16string_view text) {
    WriteBytes(dir_ / name, Utf16Bytes(text, true));
    return (dir_ / name).string();
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  ScratchDir dir_;
};

TEST_F(QdsToolTest, HelpExplainsEveryCommand) {
  ProcessResult overview = Tool({"--help"});
  EXPECT_EQ(overview.exitCode, 0);
  for (const char* command : {"check", "verify", "sign", "rewrite", "dump"}) {
    EXPECT_NE(overview.standardOutput.find(std::string("  ") + command + " "), std::string::npos)
        << command;
    ProcessResult help = Tool({command, "--help"});
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_EQ(help.standardOutput.rfind(std::string("usage: qdstool ") + command, 0), 0u)
        << help.standardOutput;
  }
}

// Every command example of the help's language section, run through
// "qdstool expand", gives the result that the help shows.
TEST_F(QdsToolTest, HelpExamplesOfEveryCommandHoldTrue) {
  std::string help = Tool({"--help"}).standardOutput;
  size_t start = help.find("Commands, one example each:\n");
  ASSERT_NE(start, std::string::npos);
  size_t end = help.find("\n\n", start);
  std::istringstream lines(help.substr(start, end - start));
  std::string line;
  std::getline(lines, line);
  int examples = 0;
  while (std::getline(lines, line)) {
    size_t arrow = line.find(" -> ");
    size_t example = line.find('%');
    ASSERT_NE(arrow, std::string::npos) << line;
    std::string text = line.substr(example, line.find_last_not_of(' ', arrow) + 1 - example);
    std::string result = line.substr(arrow + 4);
    std::vector<std::string> arguments{"expand"};
    if (size_t open = result.find(" ("); open != std::string::npos) {
      arguments.push_back("--set");
      arguments.push_back(result.substr(open + 2, result.size() - open - 3));
      result.resize(open);
    }
    arguments.push_back("--");
    arguments.push_back(text);
    ProcessResult run = Tool(arguments);
    EXPECT_EQ(run.standardOutput, result + "\n") << line;
    ++examples;
  }
  EXPECT_EQ(examples, 16);
}

TEST_F(QdsToolTest, CommandLinesThatCannotRunExit64) {
  const std::string file = Write("a.qds", kSample);
  static const struct {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{}, "usage: qdstool COMMAND"},
      {{"frobnicate"}, "qdstool: unknown command frobnicate"},
      {{"check"}, "qdstool check: expected one FILE"},
      {{"check", "--strict", "x"}, "qdstool check: unknown option --strict"},
      {{"sign", "x", "-o"}, "qdstool sign: option -o needs a value"},
      {{"rewrite", "--load-flags", "one", "x", "y"}, "qdstool rewrite: flags must be"},
      {{"rewrite", "x"}, "qdstool rewrite: expected IN and OUT"},
      {{"dump", "--load-flags", "0x100000000", "x"}, "qdstool dump: flags must be"},
  };
  for (const auto& c : cases) {
    ProcessResult result = Tool(c.arguments);
    std::string shown = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(result.exitCode, 64) << shown;
    EXPECT_EQ(result.standardError.rfind(c.error, 0), 0u) << shown << ": " << result.standardError;
    EXPECT_EQ(result.standardOutput, "") << shown;
  }
}

TEST_F(QdsToolTest, CheckCountsSectionsAndEntries) {
  const std::string file = Write("a.qds", kSample);
  ProcessResult result = Tool({"check", file});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.standardOutput, file + ": ok (version 3, 2 sections, 3 entries)\n");
  EXPECT_EQ(result.standardError, "");
}

TEST_F(QdsToolTest, CheckReportsLoadFailuresWithTheirStatus) {
  const std::string broken = Write("broken.qds", u"[a]\r\nk=1\r\n\r\nbare key\r\n");
  const std::string bare = Write("bare.qds", u"[a]\r\nbare key\r\n");
  const std::string unsigned_ = Write("unsigned.qds", kSample);
  static const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string error;
  } cases[] = {
      {{"check", broken}, 7, broken + ":4: syntax error\n"},
      {{"check", Path("missing.qds")}, 2, "error 2 loading " + Path("missing.qds") + "\n"},
      {{"check", "--digest", unsigned_}, 15, "error 15 loading " + unsigned_ + "\n"},
      {{"verify", unsigned_}, 15, "error 15 loading " + unsigned_ + "\n"},
      {{"check", "--lenient", bare}, 0, ""},
  };
  for (const auto& c : cases) {
    ProcessResult result = Tool(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back();
    EXPECT_EQ(result.standardError, c.error) << c.arguments.back();
  }
}

TEST_F(QdsToolTest, SignedFileVerifiesUntilItIsChanged) {
  const std::string file = Write("a.qds", kSample);
  ProcessResult signedCopy = Tool({"sign", file, "-o", Path("b.qds")});
  EXPECT_EQ(signedCopy.exitCode, 0) << signedCopy.standardError;
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true)) << "-o leaves the input alone";
  const std::string bytes = ReadBytes(Path("b.qds"));
  EXPECT_EQ(bytes.rfind(Utf16Bytes(kSample, true) + Utf16Bytes(u"\r\n[$end$]\r\n"), 0), 0u);
#ifndef _WIN32
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(static_cast<mode_t>(std::filesystem::status(Path("b.qds")).permissions()), 0666 & ~mask)
      << "a new output is made as any new file is";
#endif

  ProcessResult inPlace = Tool({"sign", file});
  EXPECT_EQ(inPlace.exitCode, 0) << inPlace.standardError;
  EXPECT_EQ(ReadBytes(file), bytes) << "signing in place writes the same file";
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));

  ProcessResult verified = Tool({"verify", file});
  EXPECT_EQ(verified.exitCode, 0) << verified.standardError;
  EXPECT_EQ(verified.standardOutput, file + ": ok (version 3, 2 sections, 3 entries)\n");

  std::string tampered = bytes;
  tampered[tampered.find(Utf16Bytes(u"app.exe"))] = 'A';
  WriteBytes(file, tampered);
  EXPECT_EQ(Tool({"verify", file}).exitCode, 15);
}

TEST_F(QdsToolTest, SignReportsLoadAndSaveFailures) {
  const std::string file = Write("a.qds", kSample);
  ProcessResult missing = Tool({"sign", Path("missing.qds")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.standardError, "error 2 loading " + Path("missing.qds") + "\n");
  const std::string out = Path("no/such/dir/b.qds");
  ProcessResult unwritable = Tool({"sign", file, "-o", out});
  EXPECT_EQ(unwritable.exitCode, 2);
  EXPECT_EQ(unwritable.standardError, "error 2 saving " + out + "\n");
}

#ifndef _WIN32
// Where the digest's library cannot be loaded (here: a stand-in of its name
// found first, which lacks its functions), a load or save with the digest
// fails with status 16, names the library, and writes no file.
TEST_F(QdsToolTest, DigestWithoutItsLibraryFailsNamingTheLibrary) {
  const std::string file = Write("a.qds", kSample);
  const std::string cause =
      ": cannot compute the digest: " KNITFOLD_CRYPTO_LIBRARY " could not be loaded\n";
  static const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"verify", file}, "error 16 loading " + file + cause},
      {{"sign", file, "-o", Path("b.qds")}, "error 16 saving " + Path("b.qds") + cause},
      {{"sign", file}, "error 16 saving " + file + cause},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"LD_LIBRARY_PATH=" KNITFOLD_CRYPTO_STAND_IN_DIR,
                                       test::BuiltProgram("bin/qdstool").string()};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    ProcessResult result = test::RunProcess("/usr/bin/env", arguments);
    EXPECT_EQ(result.exitCode, 16) << c.arguments.size();
    EXPECT_EQ(result.standardError, c.error);
  }
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true));
  EXPECT_FALSE(std::filesystem::exists(Path("b.qds")));
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
}
#endif

TEST_F(QdsToolTest, RewriteAppliesTheNumericFlags) {
  const std::string file = Write("a.qds", kSample);
  static const struct {
    std::vector<std::string> flags;
    std::u16string expected;
  } cases[] = {
      {{}, kSample},
      {{"--load-flags", "0"},
       u"[$version 3, codepage 1200$]\r\n[files]\r\nmain=app.exe\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
      {{"--save-flags", "0x5"},
       u"[files]\r\nmain=app.exe\r\n  ; the helper\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"rewrite"};
    arguments.insert(arguments.end(), c.flags.begin(), c.flags.end());
    arguments.push_back(file);
    arguments.push_back(Path("out.qds"));
    ProcessResult result = Tool(arguments);
    std::string shown = c.flags.empty() ? "defaults" : c.flags[0] + " " + c.flags[1];
    EXPECT_EQ(result.exitCode, 0) << shown << ": " << result.standardError;
    EXPECT_EQ(ReadBytes(Path("out.qds")), Utf16Bytes(c.expected, true)) << shown;
  }
}

TEST_F(QdsToolTest, RewriteSavesWhatAFailedLoadKeptAndExitsWithTheLoadStatus) {
  const std::string file = Write("broken.qds", u"[a]\r\nk=1\r\n=oops\r\n[b]\r\n");
  ProcessResult result = Tool({"rewrite", "--load-flags", "0", file, Path("out.qds")});
  EXPECT_EQ(result.exitCode, 7);
  EXPECT_EQ(result.standardError, file + ":3: syntax error\n");
  EXPECT_EQ(ReadBytes(Path("out.qds")), Utf16Bytes(u"[$version 1$]\r\n\r\n[a]\r\nk=1\r\n", true));

  ProcessResult saveFailed = Tool({"rewrite", Write("a.qds", kSample), Path("no/dir/out.qds")});
  EXPECT_EQ(saveFailed.exitCode, 2);
  EXPECT_EQ(saveFailed.standardError, "error 2 saving " + Path("no/dir/out.qds") + "\n");
}

// An output name that differs from the input's only in letter case names
// another file where the file system tells case apart, and the input itself
// on Windows, which does not.
TEST_F(QdsToolTest, OutputNamedLikeTheInputInOtherCaseIsTheInputOnlyWhereCaseIsIgnored) {
  const std::string in = Path("a.qds");
  for (const char* command : {"rewrite", "sign"}) {
    auto run = [&](const std::string& out) {
      Write("a.qds", kSample);
      return std::string(command) == "rewrite" ? Tool({command, "--save-flags", "0", in, out})
                                               : Tool({command, in, "-o", out});
    };
    ASSERT_EQ(run(Path("b.qds")).exitCode, 0) << command;
    const std::string written = ReadBytes(Path("b.qds"));
    ProcessResult result = run(Path("A.QDS"));
    EXPECT_EQ(result.exitCode, 0) << command << ": " << result.standardError;
    if (platform::kNamesIgnoreCase) {
      EXPECT_EQ(ReadBytes(in), written) << command;
    } else {
      EXPECT_EQ(ReadBytes(in), Utf16Bytes(kSample, true)) << command;
      EXPECT_EQ(ReadBytes(Path("A.QDS")), written) << command;
    }
  }
}

#ifndef _WIN32
// What no file can replace, a device, is written where it stands.
TEST_F(QdsToolTest, OutputThatIsADeviceIsWrittenDirectly) {
  const std::string file = Write("a.qds", kSample);
  ProcessResult result = Tool({"sign", file, "-o", "/dev/stdout"});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(result.standardOutput.rfind(Utf16Bytes(kSample, true), 0), 0u);
}
#endif

TEST_F(QdsToolTest, DumpPrintsTheDocumentAsEscapedJson) {
  const std::string file = Write("a.qds", kSample);
  ProcessResult result = Tool({"dump", file});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.standardOutput,
            "{\"status\":0,\"errorLine\":0,\"version\":3,\"utf16\":1,"
            "\"leadingText\":\"; package\\u000D\\u000A\",\"trailingText\":\"\","
            "\"sections\":["
            "{\"name\":\"files\",\"comment\":\"\",\"keys\":["
            "{\"name\":\"main\",\"values\":[{\"text\":\"app.exe\",\"comment\":\"\"}]},"
            "{\"name\":\"helper\",\"values\":[{\"text\":\"h\\u00E9lp.dll\","
            "\"comment\":\"  ; the helper\\u000D\\u000A\"}]}]},"
            "{\"name\":\"strings\",\"comment\":\"\\u000D\\u000A\",\"keys\":["
            "{\"name\":\"quote\",\"values\":[{\"text\":\"say \\u0022hi\\u0022 \\u005C bye\","
            "\"comment\":\"\"}]}]}]}\n");
}

TEST_F(QdsToolTest, DumpShowsWhatAFailedLoadLeft) {
  static const struct {
    const char* name;
    std::u16string text;  // empty: no file
    const char* flags;
    std::string output;
  } cases[] = {
      {"missing.qds", u"", "1",
       "{\"status\":2,\"errorLine\":0,\"version\":3,\"utf16\":0,\"leadingText\":\"\","
       "\"trailingText\":\"\",\"sections\":[]}\n"},
      {"broken.qds", u"[a]\r\nk\r\n", "0",
       "{\"status\":7,\"errorLine\":2,\"version\":1,\"utf16\":1,\"leadingText\":\"\","
       "\"trailingText\":\"\",\"sections\":[{\"name\":\"a\",\"comment\":\"\",\"keys\":[]}]}\n"},
      {"lone.qds", u"[\xD800]\r\nk=\xDFFF\r\n", "0x10",
       "{\"status\":0,\"errorLine\":0,\"version\":1,\"utf16\":1,\"leadingText\":\"\","
       "\"trailingText\":\"\",\"sections\":[{\"name\":\"\\uD800\",\"comment\":\"\",\"keys\":["
       "{\"name\":\"k\",\"values\":[{\"text\":\"\\uDFFF\",\"comment\":\"\"}]}]}]}\n"},
  };
  for (const auto& c : cases) {
    std::string path = c.text.empty() ? Path(c.name) : Write(c.name, c.text);
    ProcessResult result = Tool({"dump", "--load-flags", c.flags, path});
    EXPECT_EQ(result.exitCode, 0) << c.name;
    EXPECT_EQ(result.standardOutput, c.output) << c.name;
  }
}

}  // namespace
}  // namespace qds
