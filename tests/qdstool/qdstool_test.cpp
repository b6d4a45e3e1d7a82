// qdstool's commands, run as a user runs them: output, error lines and exit
// statuses.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/path_syntax.h"
#include "qdstool/run_tool.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ProcessResult;
using test::ReadBytes;
using test::ScratchDir;
using test::Tool;
using test::Utf16Bytes;
using test::WriteBytes;

// The words of a file failure that names a missing file (the C runtime's).
const std::string kNoSuchFile = std::strerror(ENOENT);

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

// Help is asked for in several ways, before or among the arguments, and
// always answered the same way.
TEST_F(QdsToolTest, EveryWayOfAskingForHelpGivesTheSameHelp) {
  EXPECT_EQ(Tool({"-h"}).standardOutput, Tool({"help"}).standardOutput);
  const std::string help = Tool({"help", "get"}).standardOutput;
  EXPECT_EQ(help.rfind("usage: qdstool get ", 0), 0u);
  EXPECT_EQ(Tool({"get", "-h"}).standardOutput, help);
  EXPECT_EQ(Tool({"get", "x", "--help", "--", "y"}).standardOutput, help);
}

// The text of a manual page's line without its font changes and escapes.
std::string WithoutRoff(std::string line) {
  for (const char* font : {"\\fB", "\\fI", "\\fP", "\\fR"}) {
    for (size_t at; (at = line.find(font)) != std::string::npos;) line.erase(at, 3);
  }
  for (size_t at = 0; (at = line.find('\\', at)) != std::string::npos; ++at) {
    line.replace(at, 2, line[at + 1] == 'e' ? "\\" : line.substr(at + 1, 1));
  }
  return line;
}

// The lines of `text` between the line `from` and the next line that starts
// with `to` (the whole text from `from` when `to` is empty).
std::vector<std::string> LinesBetween(const std::string& text, const std::string& from,
                                      const std::string& to) {
  std::vector<std::string> lines;
  std::istringstream stream(text.substr(text.find(from) + from.size()));
  for (std::string line; std::getline(stream, line) && (to.empty() || !line.starts_with(to));) {
    lines.push_back(line);
  }
  return lines;
}

// The synopsis of every command is the same in the help, in the manual
// page (its synopsis and its list of commands) and in the README; every
// option that a synopsis shows is taken by its command.
TEST_F(QdsToolTest, HelpManualPageAndReadmeShowTheSameCommandsAndOptions) {
  std::set<std::string> help, manual, listed, readme;
  for (const std::string& line : LinesBetween(Tool({"--help"}).standardOutput, "", "Works")) {
    help.insert(line.substr(line.find("qdstool ") + 8));
  }
  help.erase("COMMAND [ARGUMENTS]");
  const std::string page = ReadBytes(test::SourceFile("docs/qdstool.1"));
  for (const std::string& line : LinesBetween(page, ".SH SYNOPSIS\n.nf\n", ".fi")) {
    manual.insert(WithoutRoff(line).substr(8));
  }
  std::vector<std::string> items = LinesBetween(page, ".SH COMMANDS\n", ".SH EXIT");
  for (size_t i = 1; i < items.size(); ++i) {
    if (items[i - 1] == ".TP") listed.insert(WithoutRoff(items[i]));
  }
  for (const std::string& line :
       LinesBetween(ReadBytes(test::SourceFile("README.md")), "## qdstool\n", "## ")) {
    if (line.starts_with("qdstool ")) readme.insert(line.substr(8));
  }
  EXPECT_EQ(manual, help);
  EXPECT_EQ(readme, help);
  listed.insert("--help | -h | --version");
  EXPECT_EQ(listed, help);

  for (const std::string& synopsis : help) {
    std::istringstream words(synopsis);
    std::vector<std::string> arguments;
    words >> arguments.emplace_back();
    bool inOption = false;
    for (std::string word; words >> word;) {
      if (word.starts_with("[-") && word != "[--]") inOption = true;
      if (!inOption) continue;
      if (word.starts_with("[")) word.erase(0, 1);
      inOption = word.find(']') == std::string::npos;
      arguments.push_back(word.substr(0, word.find(']')));
    }
    if (arguments[0].starts_with("-") || arguments[0] == "help") continue;
    arguments.push_back("--help");
    ProcessResult result = Tool(arguments);
    EXPECT_EQ(result.exitCode, 0) << synopsis << ": " << result.standardError;
    EXPECT_EQ(result.standardOutput.rfind("usage: qdstool " + synopsis + "\n", 0), 0u);
  }
}

// Every example of the manual page, run in order on copies of the example
// files, prints what the page shows.
TEST_F(QdsToolTest, ManualPageExamplesHoldTrue) {
  std::filesystem::copy(test::SourceFile("examples"), dir_.path());
  std::vector<std::pair<std::string, std::string>> examples;  // command, output
  for (const std::string& line :
       LinesBetween(ReadBytes(test::SourceFile("docs/qdstool.1")), ".SH EXAMPLES", ".SH ")) {
    std::string text = WithoutRoff(line);
    if (text.starts_with("$ qdstool ")) {
      examples.emplace_back(text.substr(10), "");
    } else if (!examples.empty() && !line.starts_with(".")) {
      examples.back().second += text + "\n";
    } else if (line == ".fi" && !examples.empty()) {
      examples.emplace_back();
    }
  }
  int run = 0;
  for (const auto& [command, output] : examples) {
    if (command.empty()) continue;
    std::vector<std::string> arguments;  // words, or 'quoted words'
    for (size_t at = 0, end; at < command.size(); at = end + 1) {
      bool quoted = command[at] == '\'';
      end = std::min(command.find(quoted ? '\'' : ' ', at + 1) + quoted, command.size());
      arguments.push_back(command.substr(at + quoted, end - at - 2 * quoted));
    }
    ProcessResult result =
        test::RunProcess(test::BuiltProgram("bin/qdstool"), arguments, dir_.path());
    EXPECT_EQ(result.exitCode, 0) << command << ": " << result.standardError;
    EXPECT_EQ(result.standardOutput, output) << command;
    ++run;
  }
  EXPECT_EQ(run, 9);
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
      {{"help", "frobnicate"}, "qdstool help: no command frobnicate"},
      {{"check"}, "qdstool check: expected FILE..."},
      {{"check", "--bogus=1", "x"}, "qdstool check: unknown option --bogus\n"},
      {{"check", "--lenient=1", "x"}, "qdstool check: option --lenient takes no value"},
      {{"check", "--codepage", "utf8", "x"}, "qdstool check: --codepage takes a number"},
      {{"sign", "x", "-o"}, "qdstool sign: option -o needs a value"},
      {{"rewrite", "--load-flags=one", "x", "y"}, "qdstool rewrite: flags must be"},
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

TEST_F(QdsToolTest, CheckReportsLoadFailuresWithTheirStatus) {
  const std::string broken = Write("broken.qds", u"[a]\r\nk=1\r\n\r\nbare key\r\n");
  const std::string bare = Write("bare.qds", u"[a]\r\nbare key\r\n");
  const std::string unsigned_ = Write("unsigned.qds", kSample);
  const std::string missing = Path("missing.qds");
  const std::string ok = ": ok (version 3, 2 sections, 3 entries)\n";
  static const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string output;
    std::string error;
  } cases[] = {
      {{"check", broken},
       7,
       "",
       "qdstool: " + broken + ":4: syntax error: a key without \"=\" (status 7)\n"},
      {{"check", missing},
       2,
       "",
       "qdstool: " + missing + ": cannot open: " + kNoSuchFile + " (status 2)\n"},
      {{"check", "--digest", unsigned_},
       15,
       "",
       "qdstool: " + unsigned_ + ": not signed: the text has no end marker (status 15)\n"},
      {{"verify", unsigned_, unsigned_},
       15,
       "",
       "qdstool: " + unsigned_ +
           ": not signed: the text has no end marker (status 15)\n"
           "qdstool: " +
           unsigned_ + ": not signed: the text has no end marker (status 15)\n"},
      {{"check", "--lenient", bare}, 0, bare + ": ok (version 1, 1 sections, 1 entries)\n", ""},
      // Every file is checked; the first failure sets the exit status.
      {{"check", unsigned_, broken, missing, unsigned_},
       7,
       unsigned_ + ok + unsigned_ + ok,
       "qdstool: " + broken +
           ":4: syntax error: a key without \"=\" (status 7)\n"
           "qdstool: " +
           missing + ": cannot open: " + kNoSuchFile + " (status 2)\n"},
      {{"check", "--codepage=12345", unsigned_},
       34,
       "",
       "qdstool: code page 12345 cannot be converted on this system (status 34)\n"},
  };
  for (const auto& c : cases) {
    ProcessResult result = Tool(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back();
    EXPECT_EQ(result.standardOutput, c.output) << c.arguments.back();
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

#ifndef _WIN32
// Where the digest's library cannot be loaded (here: a stand-in of its name
// found first, which lacks its functions), a load or save with the digest
// fails with status 16, names the library, and writes no file.
TEST_F(QdsToolTest, DigestWithoutItsLibraryFailsNamingTheLibrary) {
  const std::string file = Write("a.qds", kSample);
  const std::string cause =
      ": cannot compute the digest: " KNITFOLD_CRYPTO_LIBRARY " could not be loaded (status 16)\n";
  static const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"verify", file}, "qdstool: " + file + cause},
      {{"sign", file, "--output=" + Path("b.qds")}, "qdstool: " + Path("b.qds") + cause},
      {{"sign", file, "-o", "-"}, "qdstool: standard output" + cause},
      {{"sign", file}, "qdstool: " + file + cause},
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
      {{"--load-flags=0", ""},
       u"[$version 3, codepage 1200$]\r\n[files]\r\nmain=app.exe\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
      {{"--save-flags", "0x5"},
       u"[files]\r\nmain=app.exe\r\n  ; the helper\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"rewrite"};
    for (const std::string& flag : c.flags) {
      if (!flag.empty()) arguments.push_back(flag);
    }
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
  EXPECT_EQ(
      result.standardError,
      "qdstool: " + file +
          ":3: syntax error: a line that starts with \"=\" (an entry without a key) (status 7)\n");
  EXPECT_EQ(ReadBytes(Path("out.qds")), Utf16Bytes(u"[$version 1$]\r\n\r\n[a]\r\nk=1\r\n", true));

  ProcessResult saveFailed = Tool({"rewrite", Write("a.qds", kSample), Path("no/dir/out.qds")});
  EXPECT_EQ(saveFailed.exitCode, 2);
  EXPECT_EQ(saveFailed.standardError, "qdstool: " + Path("no/dir/out.qds") +
                                          ": cannot create: " + kNoSuchFile + " (status 2)\n");
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

#ifndef _WIN32
// "-" is standard input where a file is read and standard output where one
// is written; without -o, what came from standard input goes back there.
TEST_F(QdsToolTest, DashStandsForTheStandardStreams) {
  const std::string file = Write("a.qds", kSample);
  const std::string broken = Write("broken.qds", u"[a]\r\nk\r\n");
  ASSERT_EQ(Tool({"sign", file, "-o", Path("signed.qds")}).exitCode, 0);
  const std::string signedBytes = ReadBytes(Path("signed.qds"));
  static const struct {
    std::string input;
    std::vector<std::string> arguments;
    int exitCode;
    std::string output;
    std::string error;
  } cases[] = {
      {file, {"check", "-"}, 0, "standard input: ok (version 3, 2 sections, 3 entries)\n", ""},
      {broken,
       {"check", "-"},
       7,
       "",
       "qdstool: standard input:2: syntax error: a key without \"=\" (status 7)\n"},
      {file, {"sign", "-"}, 0, signedBytes, ""},
      {file, {"sign", file, "-o", "-"}, 0, signedBytes, ""},
      {file, {"rewrite", "-", "-"}, 0, Utf16Bytes(kSample, true), ""},
      {file, {"get", "-", "files", "main"}, 0, "app.exe\n", ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> shell{"-c", "f=$1; shift; exec \"$@\" < \"$f\"", "sh", c.input,
                                   test::BuiltProgram("bin/qdstool").string()};
    shell.insert(shell.end(), c.arguments.begin(), c.arguments.end());
    ProcessResult result = test::RunProcess("/bin/sh", shell);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[0] << " " << c.arguments[1];
    EXPECT_EQ(result.standardOutput, c.output) << c.arguments[0] << " " << c.arguments[1];
    EXPECT_EQ(result.standardError, c.error) << c.arguments[0] << " " << c.arguments[1];
  }
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true));
}
#endif

TEST_F(QdsToolTest, SectionsAndKeysListNamesInFileOrder) {
  const std::string file = Write("a.qds", kSample + std::u16string(u"[Files]\r\nz=1\r\n"));
  EXPECT_EQ(Tool({"sections", file}).standardOutput, "files\nstrings\nFiles\n");
  EXPECT_EQ(Tool({"keys", file, "FILES"}).standardOutput, "main\nhelper\n");
  ProcessResult missing = Tool({"keys", file, "none"});
  EXPECT_EQ(missing.exitCode, 10);
  EXPECT_EQ(missing.standardError, "qdstool: " + file + ": no section \"none\" (status 10)\n");
}

// Each edit changes what it names and nothing else; a refused one, or one
// of several, leaves the file as it was.
TEST_F(QdsToolTest, EditsChangeWhatTheyNameOrNothing) {
  const std::u16string kHead = u"; package\r\n[$version 3, codepage 1200$]\r\n[files]\r\n";
  const std::u16string kHelper = u"  ; the helper\r\nhelper=h\x00E9lp.dll\r\n";
  const std::u16string kStrings = u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n";
  const std::string file = Path("a.qds");
  static const struct {
    std::vector<std::string> arguments;  // after the command, FILE first
    int exitCode;
    std::u16string text;     // empty: unchanged
    std::string error = {};  // after "qdstool: FILE: "
  } cases[] = {
      {{"set", "files", "MAIN", "new.exe"}, 0, kHead + u"main=new.exe\r\n" + kHelper + kStrings},
      {{"add", "files", "main", "b=\"2\""},
       0,
       kHead + u"main=app.exe\r\nmain=b=\"2\"\r\n" + kHelper + kStrings},
      {{"set", "new", "k", ""}, 0, kSample + std::u16string(u"\r\n[new]\r\nk=\r\n")},
      {{"del", "files", "main"}, 0, kHead + kHelper + kStrings},
      {{"del", "strings"}, 0, kHead + u"main=app.exe\r\n" + kHelper + u"\r\n"},
      {{"edit", "--add", "files", "main", "2", "--del-section", "strings", "--set", "files", "main",
        "1"},
       0,
       kHead + u"main=1\r\n" + kHelper + u"\r\n"},
      {{"set", "files", "x=y", "1"},
       31,
       u"",
       "cannot set [files] \"x=y\": a key may not contain \"=\" (status 31)\n"},
      {{"edit", "--del-section", "strings", "--add", "a]", "k", "v"},
       30,
       u"",
       "cannot add to [a]] \"k\": a section name may not contain \"[\" or \"]\" (status 30)\n"},
      {{"edit", "--set", "files", "main", "1", "--set", "files", "k", " v"},
       32,
       u"",
       "cannot set [files] \"k\": a value may not begin or end with white space (status 32)\n"},
      {{"del", "nothing"}, 10, u"", "no section \"nothing\" (status 10)\n"},
      {{"edit", "--del-section", "strings", "--del", "files", "nokey"},
       11,
       u"",
       "no key \"nokey\" in section \"files\" (status 11)\n"},
  };
  for (const auto& c : cases) {
    Write("a.qds", kSample);
    std::vector<std::string> arguments{c.arguments[0], file};
    arguments.insert(arguments.end(), c.arguments.begin() + 1, c.arguments.end());
    ProcessResult result = Tool(arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[1];
    EXPECT_EQ(result.standardError, c.error.empty() ? "" : "qdstool: " + file + ": " + c.error)
        << c.arguments[1];
    EXPECT_EQ(test::FromUtf16Bytes(ReadBytes(file)),
              u"\xFEFF" + (c.text.empty() ? kSample : c.text))
        << c.arguments[1];
  }
  Write("a.qds", kSample);
  ProcessResult elsewhere = Tool({"set", "-o", Path("b.qds"), file, "files", "main", "1"});
  EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.standardError;
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true));
  EXPECT_EQ(ReadBytes(Path("b.qds")), Utf16Bytes(kHead + u"main=1\r\n" + kHelper + kStrings, true));
  EXPECT_EQ(Tool({"edit", file}).exitCode, 64);
}

// A signed file is signed again after an edit, and the same edit made
// twice gives the same file; an unsigned one stays unsigned; a signed file
// that no longer verifies is not edited.
TEST_F(QdsToolTest, EditsKeepAFileSignedOrUnsigned) {
  const std::string file = Write("a.qds", kSample);
  ASSERT_EQ(Tool({"set", file, "files", "main", "1"}).exitCode, 0);
  EXPECT_EQ(Tool({"verify", file}).exitCode, 15);
  ASSERT_EQ(Tool({"sign", file}).exitCode, 0);
  const std::string signedBytes = ReadBytes(file);
  ASSERT_EQ(Tool({"set", file, "files", "main", "1"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(file), signedBytes) << "setting the value it has changes nothing";
  ASSERT_EQ(Tool({"set", file, "files", "main", "2"}).exitCode, 0);
  const std::string once = ReadBytes(file);
  ASSERT_EQ(Tool({"set", file, "files", "main", "2"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(file), once);
  EXPECT_EQ(Tool({"verify", file}).exitCode, 0);

  std::string tampered = once;
  tampered[tampered.find(Utf16Bytes(u"main=2"))] = 'M';
  WriteBytes(file, tampered);
  ProcessResult refused = Tool({"del", file, "strings"});
  EXPECT_EQ(refused.exitCode, 15);
  EXPECT_EQ(refused.standardError, "qdstool: " + file +
                                       ": refusing to edit: the digest does not match the text "
                                       "(status 15)\n");
  EXPECT_EQ(ReadBytes(file), tampered);
}

// A set of one value writes what a load and save keeping comments writes,
// but for that value's line, on every file of the examples and the corpus
// that loads.
TEST_F(QdsToolTest, SetChangesOneLineOfWhatARewriteWrites) {
  std::vector<std::filesystem::path> files;
  for (const char* folder : {"examples", "../shared/corpus"}) {
    if (!std::filesystem::is_directory(test::SourceFile(folder))) continue;
    for (const auto& entry : std::filesystem::directory_iterator(test::SourceFile(folder))) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  int compared = 0;
  for (const std::filesystem::path& path : files) {
    const std::string in = path.string();
    if (Tool({"rewrite", "--load-flags", "1", "--save-flags", "1", in, Path("r.qds")}).exitCode)
      continue;
    // The first key that has one value.
    std::string section, key;
    auto found = [&] {
      std::string values = Tool({"get", in, section, key}).standardOutput;
      return !key.empty() && std::count(values.begin(), values.end(), '\n') == 1;
    };
    for (std::istringstream names(Tool({"sections", in}).standardOutput);
         !found() && std::getline(names, section);) {
      std::istringstream keys(Tool({"keys", in, section}).standardOutput);
      while (std::getline(keys, key) && !found()) {
      }
    }
    if (!found()) continue;
    ProcessResult set = Tool({"set", "-o", Path("s.qds"), in, section, key, "changed"});
    ASSERT_EQ(set.exitCode, 0) << in << ": " << set.standardError;
    // The texts agree up to the line of the first difference, and after it.
    std::u16string rewritten = test::FromUtf16Bytes(ReadBytes(Path("r.qds")));
    std::u16string edited = test::FromUtf16Bytes(ReadBytes(Path("s.qds")));
    size_t differs =
        std::mismatch(rewritten.begin(), rewritten.end(), edited.begin(), edited.end()).first -
        rewritten.begin();
    size_t line = rewritten.rfind(u'\n', differs - 1) + 1;
    size_t end = edited.find(u"\r\n", line);
    EXPECT_TRUE(edited.substr(line, end - line).ends_with(u"=changed")) << in;
    EXPECT_EQ(rewritten.substr(rewritten.find(u"\r\n", line)), edited.substr(end)) << in;
    ++compared;
  }
  EXPECT_GE(compared, 3);
}

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
    int exitCode;
    std::string output;
  } cases[] = {
      {"missing.qds", u"", "1", 2,
       "{\"status\":2,\"errorLine\":0,\"version\":3,\"utf16\":0,\"leadingText\":\"\","
       "\"trailingText\":\"\",\"sections\":[]}\n"},
      {"broken.qds", u"[a]\r\nk\r\n", "0", 7,
       "{\"status\":7,\"errorLine\":2,\"version\":1,\"utf16\":1,\"leadingText\":\"\","
       "\"trailingText\":\"\",\"sections\":[{\"name\":\"a\",\"comment\":\"\",\"keys\":[]}]}\n"},
      {"lone.qds", u"[\xD800]\r\nk=\xDFFF\r\n", "0x10", 0,
       "{\"status\":0,\"errorLine\":0,\"version\":1,\"utf16\":1,\"leadingText\":\"\","
       "\"trailingText\":\"\",\"sections\":[{\"name\":\"\\uD800\",\"comment\":\"\",\"keys\":["
       "{\"name\":\"k\",\"values\":[{\"text\":\"\\uDFFF\",\"comment\":\"\"}]}]}]}\n"},
  };
  for (const auto& c : cases) {
    std::string path = c.text.empty() ? Path(c.name) : Write(c.name, c.text);
    ProcessResult result = Tool({"dump", "--load-flags", c.flags, path});
    EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(result.standardOutput, c.output) << c.name;
  }
}

}  // namespace
}  // namespace qds
