// qdstool's commands, run as a user runs them: output, error lines, exit
// statuses and the files they write.

#include <gtest/gtest.h>
#include <qds/qds.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "platform/path_syntax.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qds {
namespace {

using test::ProcessResult;
using test::QdsTool;
using test::ReadBytes;
using test::Utf16Bytes;

// The words of a file failure that names a missing file (the C runtime's).
const std::string kNoSuchFile = std::strerror(ENOENT);

// A file as the saver writes it with KeepComments, so that it reads back
// unchanged.
const char16_t kSample[] =
    u"; package\r\n[$version 3, codepage 1200$]\r\n"
    u"[files]\r\nmain=app.exe\r\n  ; the helper\r\nhelper=h\x00E9lp.dll\r\n"
    u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n";

// A text whose lines end in LF alone, and whether the library tells such
// a text from a load (until it does, qdstool cannot).
const char16_t kLineFeedsAlone[] = u"; package\n[a]\nk=1\n";
bool LibraryTellsLineFeeds() {
  QdsDocument probe;
  static_cast<void>(probe.LoadBytes(Utf16Bytes(kLineFeedsAlone, true)));
  return probe.LineFeedsOnly();
}

class QdsToolTest : public testing::Test {
 protected:
  std::string Write(const char* name, std::u16string_view text) {
    test::WriteBytes(dir_ / name, Utf16Bytes(text, true));
    return Path(name);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  test::ScratchDir dir_;
};

// Standard output and error, compared whole, or up to "..." where a row's
// text ends in it; "*": not compared.
void ExpectText(const std::string& actual, const std::string& expected, const std::string& line) {
  if (expected == "*") return;
  if (expected.ends_with("...")) {
    EXPECT_TRUE(actual.starts_with(expected.substr(0, expected.size() - 3))) << line << actual;
  } else {
    EXPECT_EQ(actual, expected) << line;
  }
}

// Every command's answers: usage errors (64), help, each failure in words
// with its file and status, the file a rewrite writes (with its numeric
// flags, and what a failed load kept), the expansion or its failure (a
// second call with the size asked gets output beyond the first buffer), and
// the document as escaped JSON, also what a failed load left of it.
TEST_F(QdsToolTest, CommandsAnswerWithTheirStatusAndOutput) {
  const std::string file = Write("a.qds", kSample);
  const std::string broken = Write("broken.qds", u"[a]\r\nk=1\r\n\r\nbare key\r\n");
  const std::string kept = Write("kept.qds", u"[a]\r\nk=1\r\n=oops\r\n[b]\r\n");
  const std::string bare = Write("bare.qds", u"[a]\r\nbare key\r\n");
  const std::string named = Write("n.qds", kSample + std::u16string(u"[Files]\r\nz=1\r\n"));
  const std::string missing = Path("missing.qds");
  const std::string noFolder = Path("no/dir/out.qds");
  const std::string out = Path("out.qds");
  const std::string got =
      Write("s.qds",
            u"[$version 3, codepage 1200$]\r\n[s]\r\na=\"%who% x\"\r\nb=%!if(1 = 1,yes)%\r\n"
            u"a=2\r\n[t]\r\n");
  const std::string big = Write("big.qds", u"[$version 2$]\r\n[s]\r\nk=%!for(i,1,3000,a)%\r\n");
  // An expansion that a larger buffer cannot cure: a command name too long
  // to scan; one whose output outgrows the first run's room and whose
  // commands change the table that its size depends on.
  const std::u16string nameTooLong = u"%!" + std::u16string(66, u'a') + u"()%";
  const std::string longName = Write("long.qds", u"[s]\r\nk=\"" + nameTooLong + u"\"\r\n");
  const std::string grows =
      Write("grow.qds", u"[s]\r\nk=%!set(c,%!eval(%c%+1)%)%%!for(i,1,%c%,x)%\r\n");
  const std::string lone = Write("lone.qds", u"[\xD800]\r\nk=\xDFFF\r\n");
  // ANSI text, and UTF-8 whose last character the loader's 4096-byte blocks
  // cut in two: at the end of the file and before a line end.
  const std::string ansi = Path("ansi.qds"), cut = Path("cut.qds"), cutLast = Path("last.qds");
  const std::string ansi3 = Path("ansi3.qds");
  const std::string value = std::string(4088, 'a') + "\xC3\xA9";  // after "[s]\r\nk=" (7 bytes)
  test::WriteBytes(ansi, "[a]\r\nk=\xE9");
  test::WriteBytes(ansi3, "[$version 3$]\r\n[a]\r\n");
  test::WriteBytes(cut, "[s]\r\nk=" + value + "\r\n");
  test::WriteBytes(cutLast, "[s]\r\nk=" + value.substr(0, 4088) + "\xF0\x9F\x98\x80");
  const std::string ok = file + ": ok (version 3, 2 sections, 3 entries)\n";
  const std::string lineFeeds = Write("lf.qds", kLineFeedsAlone);
  const std::string ansi1251 = Path("ansi1251.qds");
  test::WriteBytes(ansi1251, "[$version 3, codepage 1251$]\r\n[a]\r\nk=\xE9\r\n");
  QdsDocument declared;
  static_cast<void>(declared.LoadBytes(ReadBytes(ansi1251), LoadFlags::DeclaredCodePage));
  const std::string unsignedFile = "qdstool: " + file + ": not signed: the text has no end marker";
  const std::string syntax = "qdstool: " + broken + ":4: syntax error: a key without \"=\"";
  const std::string notFound = "qdstool: " + missing + ": cannot open: " + kNoSuchFile;
  const std::string expandFailed = "qdstool: expand: output too long for the buffer at position ";
  const std::string getFailed = ": [s] k: cannot expand: output too long for the buffer at ";
  const std::string dumpEnd = ",\"leadingText\":\"\",\"trailingText\":\"\",\"sections\":[";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string standardOutput, standardError;
    std::u16string written = {};  // out.qds after the run, when not empty
  } cases[] = {
      {{}, 64, "", "usage: qdstool COMMAND..."},
      {{"frobnicate"}, 64, "", "qdstool: unknown command frobnicate..."},
      {{"help", "frobnicate"}, 64, "", "qdstool help: no command frobnicate..."},
      {{"check"}, 64, "", "qdstool check: expected FILE...\n..."},
      {{"check", "--bogus=1", "x"}, 64, "", "qdstool check: unknown option --bogus\n..."},
      {{"check", "--lenient=1", "x"}, 64, "", "qdstool check: option --lenient takes no value..."},
      {{"check", "--codepage", "utf8", "x"}, 64, "", "qdstool check: --codepage takes a number..."},
      {{"sign", "x", "-o"}, 64, "", "qdstool sign: option -o needs a value..."},
      {{"rewrite", "--load-flags=one", "x", "y"}, 64, "", "qdstool rewrite: flags must be..."},
      {{"rewrite", "x"}, 64, "", "qdstool rewrite: expected IN and OUT..."},
      {{"dump", "--load-flags", "0x100000000", "x"}, 64, "", "qdstool dump: flags must be..."},
      {{"expand", "a", "b"}, 64, "", "*"},
      {{"expand", "--set", "novalue", "x"}, 64, "", "*"},
      {{"eval"}, 64, "", "*"},
      {{"get", "file.qds"}, 64, "", "*"},
      {{"get", "--set", "x", "f", "s"}, 64, "", "*"},
      {{"edit", file}, 64, "", "*"},
      // Help, however asked for, before or among the arguments.
      {{"-h"}, 0, "usage: qdstool COMMAND...", ""},
      {{"--version"}, 0, "qdstool ...", ""},
      {{"help"}, 0, "usage: qdstool COMMAND...", ""},
      {{"help", "get"}, 0, "usage: qdstool get ...", ""},
      {{"get", "x", "--help", "--", "y"}, 0, "usage: qdstool get ...", ""},
      {{"check", "-h"}, 0, "usage: qdstool check...", ""},
      {{"check", file}, 0, ok, ""},
      {{"check", broken}, 7, "", syntax + " (status 7)\n"},
      {{"check", missing}, 2, "", notFound + " (status 2)\n"},
      // The code page of an ANSI file: --codepage, else the one its version line declares.
      {{"check", "--codepage", "1250", ansi1251},
       0,
       ansi1251 + ": ok (version 3, 1 sections, 1 entries)\n" + ansi1251 + ": code page: 1250\n",
       ""},
      {{"check", ansi1251},
       0,
       ansi1251 + ": ok (version 3, 1 sections, 1 entries)\n" + ansi1251 +
           ": code page: " + std::to_string(declared.CodePage()) + "\n",
       ""},
      {{"sections", lineFeeds},
       0,
       "",
       LibraryTellsLineFeeds() ? "qdstool: " + lineFeeds +
                                     ": lines end in LF alone; the format "
                                     "reads CR LF only, so the file reads as one line; convert it "
                                     "with qdstool import\n"
                               : ""},
      {{"check", ansi3},
       7,
       "",
       "qdstool: " + ansi3 +
           ":1: syntax error: missing \", codepage\" after version 3 in an ANSI file (status 7)\n"},
      {{"check", "--digest", file}, 15, "", unsignedFile + " (status 15)\n"},
      {{"verify", file, file}, 15, "", unsignedFile + " (status 15)\n" + unsignedFile + "..."},
      {{"check", "--lenient", bare}, 0, bare + ": ok (version 1, 1 sections, 1 entries)\n", ""},
      // Every file is checked; the first failure sets the exit status.
      {{"check", file, broken, missing, file},
       7,
       ok + ok,
       syntax + " (status 7)\n" + notFound + " (status 2)\n"},
      {{"check", "--codepage=12345", file},
       34,
       "",
       "qdstool: code page 12345 cannot be converted on this system (status 34)\n"},
      {{"sections", named}, 0, "files\nstrings\nFiles\n", ""},
      {{"keys", named, "FILES"}, 0, "main\nhelper\n", ""},
      {{"keys", named, "none"},
       10,
       "",
       "qdstool: " + named + ": no section \"none\" (status 10)\n"},
      {{"rewrite", file, noFolder},
       2,
       "",
       "qdstool: " + noFolder + ": cannot create: " + kNoSuchFile + " (status 2)\n"},
      {{"rewrite", file, out}, 0, "", "", kSample},
      {{"rewrite", "--load-flags=0", file, out},
       0,
       "",
       "",
       u"[$version 3, codepage 1200$]\r\n[files]\r\nmain=app.exe\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
      {{"rewrite", "--save-flags", "0x5", file, out},
       0,
       "",
       "",
       u"[files]\r\nmain=app.exe\r\n  ; the helper\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
      // A rewrite whose load failed saves what the load kept.
      {{"rewrite", "--load-flags", "0", kept, out},
       7,
       "",
       "qdstool: " + kept +
           ":3: syntax error: a line that starts with \"=\" (an entry without a key) (status 7)\n",
       u"[$version 1$]\r\n\r\n[a]\r\nk=1\r\n"},
      {{"expand", "--set", "who=Bob", "--set", "WHO=Ann=B", "Hi %who%!"}, 0, "Hi Ann=B!\n", ""},
      {{"expand", "--", "--%%"}, 0, "--%\n", ""},
      {{"expand", "%!for(i,1,3,%i%)% %!eval(6*7)% \xC3\xA9"}, 0, "123 42 \xC3\xA9\n", ""},
      // Arguments are decoded from UTF-8: "é" is one character.
      {{"expand", "--set", "s=h\xC3\xA9llo", "%!length(%s%)%"}, 0, "5\n", ""},
      {{"expand", "--legacy", "%!if(a = a,y,n)%"}, 0, "n\n", ""},
      {{"expand", "%!if(a = a,y,n)%"}, 0, "y\n", ""},
      {{"expand", "50%"}, 1, "", "qdstool: expand: unclosed form at position 3 (status 1)\n"},
      {{"expand", "--no-commands", "ab%!if(1)%"},
       9,
       "",
       "qdstool: expand: commands not allowed at position 3 (status 9)\n"},
      {{"expand", "%!define(me,%`%!me()%`%)%%!me()%"},
       20,
       "",
       "qdstool: expand: nested more than 64 deep at position 27 (status 20)\n"},
      {{"expand", EncodeUtf8(nameTooLong)}, 2, "", expandFailed + "2 (status 2)\n"},
      // An output longer than the first run's room: the commands take effect once.
      {{"expand", "--json", "--set", "c=0", "%!set(c,%!eval(%c%+1)%)%%!for(i,1,70000,x)%"},
       0,
       "{\"status\":0,\"errorPos\":0,\"output\":\"" + std::string(70000, 'x') +
           "\",\"symbols\":{\"c\":\"1\",\"i\":\"70000\"}}\n",
       ""},
      {{"expand", "--json", "--set", "b=\"q\"", "ab%!set(B2,\xC3\xA9)%%!set(Z,1)%cd%bad"},
       0,
       "{\"status\":1,\"errorPos\":28,\"output\":\"abcd\",\"symbols\":"
       "{\"B2\":\"\\u00E9\",\"Z\":\"1\",\"b\":\"\\u0022q\\u0022\"}}\n",
       ""},
      {{"eval", "1 + 2 * 3"}, 0, "7\n", ""},
      {{"eval", "--", "-7 / 2"}, 0, "-3\n", ""},
      {{"eval", "--legacy", "no"}, 0, "0\n", ""},
      {{"eval", "--legacy", "b>a"}, 0, "1\n", ""},
      {{"eval", "1 / 0"}, 12, "", "qdstool: eval: division by zero (status 12)\n"},
      {{"eval", "'open"}, 15, "", "qdstool: eval: bad quoted string (status 15)\n"},
      {{"get", got, "S"}, 0, "a=%who% x\na=2\nb=%!if(1 = 1,yes)%\n", ""},
      {{"get", "--keep-quotes", got, "s"}, 0, "a=\"%who% x\"\na=2\nb=%!if(1 = 1,yes)%\n", ""},
      {{"get", got, "t"}, 0, "", ""},
      {{"get", got, "u"}, 10, "", "qdstool: " + got + ": no section \"u\" (status 10)\n"},
      {{"get", got, "s", "A"}, 0, "%who% x\n2\n", ""},
      {{"get", got, "s", "c"},
       11,
       "",
       "qdstool: " + got + ": no key \"c\" in section \"s\" (status 11)\n"},
      {{"get", missing, "s"}, 2, "", notFound + " (status 2)\n"},
      // Symbol names are matched in any letter case.
      {{"get", "--expand", "--set=WHO=Al", got, "s", "a"}, 0, "Al x\n2\n", ""},
      {{"get", "--expand", "--set", "WHO=Ann", got, "s"},
       8,
       "a=Ann x\na=2\n",
       "qdstool: " + got +
           ": [s] b: cannot expand: wrong argument count at position 2 near "
           "\"%!if(1 = 1,yes)%\" (status 8)\n"},
      // The retry fails too: a failed expansion.
      {{"get", "--expand", longName, "s"},
       8,
       "",
       "qdstool: " + longName + getFailed + "position 2 (status 8)\n"},
      {{"get", "--expand", "--set", "c=70000", grows, "s"},
       0,
       "k=" + std::string(70001, 'x') + "\n",
       ""},
      {{"get", "--expand", big, "s"}, 0, "k=" + std::string(3000, 'a') + "\n", ""},
      {{"get", "--codepage=65001", cut, "s", "k"}, 0, value + "\n", ""},
      {{"get", "--codepage=65001", cutLast, "s", "k"}, 0, ReadBytes(cutLast).substr(7) + "\n", ""},
      // cat: the text in UTF-8 as loading decodes it, line ends as they are.
      {{"cat", file}, 0, EncodeUtf8(kSample), ""},
      {{"cat", "--codepage=0x4e4", ansi}, 0, "[a]\r\nk=\xC3\xA9", ""},  // 1252
      {{"cat", "--codepage", "65001", cutLast}, 0, ReadBytes(cutLast), ""},
      {{"dump", file},
       0,
       "{\"status\":0,\"errorLine\":0,\"version\":3,\"utf16\":1,"
       "\"leadingText\":\"; package\\u000D\\u000A\",\"trailingText\":\"\",\"sections\":["
       "{\"name\":\"files\",\"comment\":\"\",\"keys\":["
       "{\"name\":\"main\",\"values\":[{\"text\":\"app.exe\",\"comment\":\"\"}]},"
       "{\"name\":\"helper\",\"values\":[{\"text\":\"h\\u00E9lp.dll\","
       "\"comment\":\"  ; the helper\\u000D\\u000A\"}]}]},"
       "{\"name\":\"strings\",\"comment\":\"\\u000D\\u000A\",\"keys\":["
       "{\"name\":\"quote\",\"values\":[{\"text\":\"say \\u0022hi\\u0022 \\u005C bye\","
       "\"comment\":\"\"}]}]}]}\n",
       ""},
      // dump exits with the load's status.
      {{"dump", "--load-flags", "9", missing}, 2, "*", ""},
      {{"dump", "--load-flags", "1", missing},
       2,
       "{\"status\":2,\"errorLine\":0,\"version\":3,\"utf16\":0" + dumpEnd + "]}\n",
       ""},
      {{"dump", "--load-flags", "0", Write("k.qds", u"[a]\r\nk\r\n")},
       7,
       "{\"status\":7,\"errorLine\":2,\"version\":1,\"utf16\":1" + dumpEnd +
           "{\"name\":\"a\",\"comment\":\"\",\"keys\":[]}]}\n",
       ""},
      {{"dump", "--load-flags", "0x10", lone},
       0,
       "{\"status\":0,\"errorLine\":0,\"version\":1,\"utf16\":1" + dumpEnd +
           "{\"name\":\"\\uD800\",\"comment\":\"\",\"keys\":["
           "{\"name\":\"k\",\"values\":[{\"text\":\"\\uDFFF\",\"comment\":\"\"}]}]}]}\n",
       ""},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& argument : c.arguments) line += " " + argument.substr(0, 80);
    ProcessResult result = QdsTool(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << line;
    ExpectText(result.standardOutput, c.standardOutput, line);
    ExpectText(result.standardError, c.standardError, line);
    EXPECT_FALSE(result.standardError.ends_with("\n\n")) << line << ": a blank last line";
    if (!c.written.empty()) {
      EXPECT_EQ(ReadBytes(out), Utf16Bytes(c.written, true)) << line;
    }
  }
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
  const std::string overview = QdsTool({"--help"}).standardOutput;
  for (const std::string& line : LinesBetween(overview, "", "Works")) {
    help.insert(line.substr(line.find("qdstool ") + 8));
  }
  EXPECT_NE(overview.find("\nThe expansion language"), std::string::npos);
  EXPECT_NE(overview.find("\n  get       "), std::string::npos) << "summaries in one column";
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
    ProcessResult result = QdsTool(arguments);
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

TEST_F(QdsToolTest, SignedFileVerifiesUntilItIsChanged) {
  const std::string file = Write("a.qds", kSample);
  ProcessResult signedCopy = QdsTool({"sign", file, "-o", Path("b.qds")});
  EXPECT_EQ(signedCopy.exitCode, 0) << signedCopy.standardError;
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true)) << "-o leaves the input alone";
  const std::string bytes = ReadBytes(Path("b.qds"));
  EXPECT_EQ(bytes.rfind(Utf16Bytes(kSample, true) + Utf16Bytes(u"\r\n[$end$]\r\n"), 0), 0u);

  EXPECT_EQ(QdsTool({"sign", file}).exitCode, 0);
  EXPECT_EQ(ReadBytes(file), bytes) << "signing in place writes the same file";
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
  ProcessResult verified = QdsTool({"verify", file});
  EXPECT_EQ(verified.standardOutput, file + ": ok (version 3, 2 sections, 3 entries)\n");
  // Signing again would add a line end before the end marker: shown, not written.
  ProcessResult again = QdsTool({"sign", "--dry-run", "--exit-code", file});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.standardOutput.find("\n+\n [$end$]\n"), std::string::npos)
      << again.standardOutput;
  EXPECT_EQ(ReadBytes(file), bytes);

  // A merge writes the target unsigned, as knitfold does, and says so, unless --sign.
  const std::string compat = Write("c.qds", u"[new]\r\nk=1\r\n");
  ProcessResult merged = QdsTool({"merge", file, compat, "-o", Path("m.qds")});
  EXPECT_EQ(merged.standardError,
            "qdstool: " + file +
                ": the merged file is unsigned, as knitfold writes it; --sign signs it\n");
  EXPECT_EQ(QdsTool({"merge", "--sign", file, compat, "-o", Path("m.qds")}).exitCode, 0);
  EXPECT_EQ(QdsTool({"verify", Path("m.qds")}).exitCode, 0);

  std::string tampered = bytes;
  tampered[tampered.find(Utf16Bytes(u"app.exe"))] = 'A';
  test::WriteBytes(file, tampered);
  EXPECT_EQ(QdsTool({"verify", file}).exitCode, 15);
  ProcessResult checked = QdsTool({"check", "--strict", file});
  EXPECT_EQ(checked.exitCode, 65);
  EXPECT_EQ(checked.standardError,
            "qdstool: " + file + ": warning: signed, but the digest does not match\n");
}

#ifndef _WIN32
// Where the digest's library cannot be loaded (here: a stand-in of its name
// found first, which lacks its functions), a load or save with the digest
// fails with status 16, names the library, and writes no file.
TEST_F(QdsToolTest, DigestWithoutItsLibraryFailsNamingTheLibrary) {
  const std::string file = Write("a.qds", kSample);
  const std::string cause =
      ": cannot compute the digest: " KNITFOLD_CRYPTO_LIBRARY " could not be loaded (status 16)\n";
  const struct {
    std::vector<std::string> arguments;
    std::string named;
  } cases[] = {{{"verify", file}, file},
               {{"sign", file, "--output=" + Path("b.qds")}, Path("b.qds")},
               {{"sign", file, "-o", "-"}, "standard output"},
               {{"sign", file}, file}};
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"LD_LIBRARY_PATH=" KNITFOLD_CRYPTO_STAND_IN_DIR,
                                       test::BuiltProgram("bin/qdstool").string()};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    ProcessResult result = test::RunProcess("/usr/bin/env", arguments);
    EXPECT_EQ(result.exitCode, 16) << c.named;
    EXPECT_EQ(result.standardError, "qdstool: " + c.named + cause);
  }
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true));
  EXPECT_FALSE(std::filesystem::exists(Path("b.qds")));
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
}
#endif

// An output name that differs from the input's only in letter case names
// another file where the file system tells case apart, and the input itself
// on Windows, which does not.
TEST_F(QdsToolTest, OutputNamedLikeTheInputInOtherCaseIsTheInputOnlyWhereCaseIsIgnored) {
  const std::string in = Path("a.qds");
  for (const char* command : {"rewrite", "sign"}) {
    auto run = [&](const std::string& out) {
      Write("a.qds", kSample);
      return std::string(command) == "rewrite" ? QdsTool({command, "--save-flags", "0", in, out})
                                               : QdsTool({command, in, "-o", out});
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
  ProcessResult result = QdsTool({"sign", file, "-o", "/dev/stdout"});
  EXPECT_EQ(result.exitCode, 0) << result.standardError;
  EXPECT_EQ(result.standardOutput.rfind(Utf16Bytes(kSample, true), 0), 0u);
}

// "-" is standard input where a file is read and standard output where one
// is written; without -o, what came from standard input goes back there.
// Standard output that cannot be written (here a full device) fails the
// command, whatever it writes there.
TEST_F(QdsToolTest, DashStandsForTheStandardStreams) {
  const std::string file = Write("a.qds", kSample);
  const std::string broken = Write("broken.qds", u"[a]\r\nk\r\n");
  ASSERT_EQ(QdsTool({"sign", file, "-o", Path("signed.qds")}).exitCode, 0);
  const std::string signedBytes = ReadBytes(Path("signed.qds"));
  const std::string compat = Write("c.qds", u"[new]\r\nk=1\r\n");
  const std::string full =
      "qdstool: standard output: cannot write: " + std::string(std::strerror(ENOSPC)) +
      " (status 6)\n";
  const struct {
    std::string input;
    std::vector<std::string> arguments;
    int exitCode;
    std::string output, error;
    std::string outputFile = {};  // where standard output goes instead of the pipe
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
      {file, {"get", "-", "files"}, 6, "", full, "/dev/full"},
      {file, {"cat", "-"}, 6, "", full, "/dev/full"},
      {file, {"sections", file}, 6, "", full, "/dev/full"},
      {file, {"dump", file}, 6, "", full, "/dev/full"},
      {file, {"check", file}, 6, "", full, "/dev/full"},
      {file, {"merge", "--dry-run", file, compat}, 6, "", full, "/dev/full"},
      {file, {"rewrite", "-", "-"}, 6, "", full, "/dev/full"},
      {file, {"--help", "-"}, 6, "", full, "/dev/full"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> shell{
        "-c",         "f=$1; o=$2; shift 2; [ -z \"$o\" ] || exec > \"$o\"; exec \"$@\" < \"$f\"",
        "sh",         c.input,
        c.outputFile, test::BuiltProgram("bin/qdstool").string()};
    shell.insert(shell.end(), c.arguments.begin(), c.arguments.end());
    ProcessResult result = test::RunProcess("/bin/sh", shell);
    const std::string shown = c.arguments[0] + " " + c.arguments[1];
    EXPECT_EQ(result.exitCode, c.exitCode) << shown;
    EXPECT_EQ(result.standardOutput, c.output) << shown;
    EXPECT_EQ(result.standardError, c.error) << shown;
  }
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true));
}
#endif

// Each edit changes what it names and nothing else; a refused one, or one
// of several, leaves the file as it was; -o writes elsewhere.
// What a row finds at FILE besides its text: nothing more, FILE made
// read-only (its owner runs the edit: root, who may write any file, runs it
// as nobody), FILE's lock held by another writer for longer than an edit
// waits, or lines of FILE that end in LF alone.
enum class Finds { Text, ReadOnlyFile, HeldLock, LineFeedsAlone };

// Runs qdstool as the owner of `file`, a file of `folder`, and of the
// file's lock file.
ProcessResult QdsToolAsOwner(const std::vector<std::string>& arguments, const std::string& folder,
                             const std::string& file) {
#ifndef _WIN32
  if (geteuid() == 0) {
    constexpr int kNobody = 65534;
    static_cast<void>(chown((file + ".lock").c_str(), kNobody, kNobody));
    EXPECT_EQ(chown(folder.c_str(), kNobody, kNobody) | chown(file.c_str(), kNobody, kNobody), 0);
    std::vector<std::string> asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                         test::BuiltProgram("bin/qdstool")};
    asNobody.insert(asNobody.end(), arguments.begin(), arguments.end());
    ProcessResult result = test::RunProcess("/usr/bin/setpriv", asNobody);
    EXPECT_EQ(chown(folder.c_str(), 0, 0) | chown(file.c_str(), 0, 0), 0);
    return result;
  }
#endif
  static_cast<void>(folder);
  static_cast<void>(file);
  return QdsTool(arguments);
}

TEST_F(QdsToolTest, EditsChangeWhatTheyNameOrNothing) {
  const std::u16string kHead = u"; package\r\n[$version 3, codepage 1200$]\r\n[files]\r\n";
  const std::u16string kHelper = u"  ; the helper\r\nhelper=h\x00E9lp.dll\r\n";
  const std::u16string kStrings = u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n";
  const std::string file = Path("a.qds");
  const struct {
    std::vector<std::string> arguments;  // after the command, FILE first
    int exitCode;
    std::u16string text;     // empty: unchanged
    std::string error = {};  // after "qdstool: FILE: "
    Finds finds = Finds::Text;
    std::string output = "";  // standard output
  } cases[] = {
      {{"set", "files", "MAIN", "new.exe"}, 0, kHead + u"main=new.exe\r\n" + kHelper + kStrings},
      {{"set", "--canonical", "files", "MAIN", "new.exe"},
       0,
       kHead + u"main=new.exe\r\n" + kHelper + kStrings},
      {{"rename", "files", "main", "prog"}, 0, kHead + u"prog=app.exe\r\n" + kHelper + kStrings},
      {{"edit", "--rename-section", "strings", "s", "--rename-key", "s", "quote", "q"},
       0,
       kHead + u"main=app.exe\r\n" + kHelper + u"\r\n[s]\r\nq=say \"hi\" \\ bye\r\n"},
      {{"edit", "--add", "files", "main", "2", "--del", "files", "main", "--missing-ok", "--del",
        "files", "main", "--del-section", "none"},
       0,
       kHead + kHelper + kStrings},
      {{"del", "--index", "0", "files", "main"}, 0, kHead + kHelper + kStrings},
      {{"del", "--index", "1", "files", "main"},
       11,
       u"",
       "no value 1 of key \"main\" in section \"files\" (status 11)\n"},
      {{"rename", "files", "main", "Helper"},
       33,
       u"",
       "cannot rename [files] \"main\": another key of the section already has that name "
       "(status 33)\n"},
      {{"rename", "none", "x"}, 10, u"", "no section \"none\" (status 10)\n"},
      // What changes no byte writes nothing; --exit-code tells a change.
      {{"del", "--missing-ok", "--exit-code", "files", "none"}, 0, u""},
      {{"set", "--exit-code", "files", "main", "app.exe"}, 0, u""},
      {{"set", "--exit-code", "files", "main", "1"}, 1, kHead + u"main=1\r\n" + kHelper + kStrings},
      {{"set", "--dry-run", "--exit-code", "files", "main", "1"},
       1,
       u"",
       "",
       Finds::Text,
       "@@ -1,7 +1,7 @@\n ; package\n [$version 3, codepage 1200$]\n [files]\n-main=app.exe\n"
       "+main=1\n   ; the helper\n helper=h\xC3\xA9lp.dll\n \n"},
      {{"set", "files", "main", "1"},
       65,
       u"",
       "refusing to write: lines end in LF alone; the format reads CR LF only, so the file "
       "reads as one line; convert it with qdstool import (status 65)\n",
       Finds::LineFeedsAlone},
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
       "cannot set [files] \"k\": a value may not begin or end with white space; enclosing it in "
       "double quotes keeps the blanks (status 32)\n"},
      {{"del", "nothing"}, 10, u"", "no section \"nothing\" (status 10)\n"},
      // What is written must be UTF-8; what is only looked up may be any bytes.
      {{"set", "files", "main", "caf\xE9"},
       32,
       u"",
       "cannot set [files] \"main\": a value is not valid UTF-8 (status 32)\n"},
      {{"edit", "--del-section", "strings", "--add", "files", "k\xE9", "v"},
       31,
       u"",
       "cannot add to [files] \"k\xE9\": a key is not valid UTF-8 (status 31)\n"},
      {{"del", "files", "k\xE9"}, 11, u"", "no key \"k\xE9\" in section \"files\" (status 11)\n"},
      {{"edit", "--del-section", "strings", "--del", "files", "nokey"},
       11,
       u"",
       "no key \"nokey\" in section \"files\" (status 11)\n"},
      {{"set", "files", "main", "1"},
       3,
       u"",
       "the file is read-only (status 3)\n",
       Finds::ReadOnlyFile},
      {{"add", "files", "main", "1"},
       36,
       u"",
       " is being changed by another run (status 36)\n",
       Finds::HeldLock},
  };
  const bool tellsLineFeeds = LibraryTellsLineFeeds();
  for (const auto& c : cases) {
    if (c.finds == Finds::LineFeedsAlone && !tellsLineFeeds) continue;
    const std::u16string original = c.finds == Finds::LineFeedsAlone ? kLineFeedsAlone : kSample;
    Write("a.qds", original);
    std::filesystem::remove(file + ".lock");
    const auto written = std::filesystem::last_write_time(file);
    std::vector<std::string> arguments{c.arguments[0], file};
    arguments.insert(arguments.end(), c.arguments.begin() + 1, c.arguments.end());
    QdsDocument otherWriter;
    if (c.finds == Finds::HeldLock) {
      ASSERT_TRUE(otherWriter.LoadForChange(file).Ok());
    }
    if (c.finds == Finds::ReadOnlyFile) {
      std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    }
    ProcessResult result = c.finds == Finds::ReadOnlyFile
                               ? QdsToolAsOwner(arguments, dir_.path().string(), file)
                               : QdsTool(arguments);
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp")) << c.arguments[1];
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[1];
    // A message that starts with a blank goes on from the file name itself.
    const std::string after = c.error.starts_with(' ') ? "" : ": ";
    EXPECT_EQ(result.standardError, c.error.empty() ? "" : "qdstool: " + file + after + c.error)
        << c.arguments[1];
    EXPECT_EQ(test::FromUtf16Bytes(ReadBytes(file)),
              u"\xFEFF" + (c.text.empty() ? original : c.text))
        << c.arguments[1];
    if (c.text.empty()) {
      EXPECT_EQ(std::filesystem::last_write_time(file), written) << c.arguments[1];
    }
    const bool dryRun =
        std::find(c.arguments.begin(), c.arguments.end(), "--dry-run") != c.arguments.end();
    EXPECT_EQ(result.standardOutput,
              dryRun ? "--- a/" + file + "\n+++ b/" + file + "\n" + c.output : "")
        << c.arguments[1];
    EXPECT_TRUE(!dryRun || !std::filesystem::exists(file + ".lock")) << c.arguments[1];
  }
  ProcessResult elsewhere = QdsTool({"set", "-o", Path("b.qds"), file, "files", "main", "1"});
  EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.standardError;
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true));
  EXPECT_EQ(ReadBytes(Path("b.qds")), Utf16Bytes(kHead + u"main=1\r\n" + kHelper + kStrings, true));

  // set, add and edit make a missing file, as a new document saves; del does not.
  ASSERT_EQ(QdsTool({"add", Path("new.qds"), "s", "k", "v"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(Path("new.qds")),
            Utf16Bytes(u"[$version 3, codepage 1200$]\r\n[s]\r\nk=v\r\n", true));
#ifndef _WIN32
  const mode_t umaskBits = umask(0);
  umask(umaskBits);
  EXPECT_EQ(static_cast<mode_t>(std::filesystem::status(Path("new.qds")).permissions()),
            0666 & ~umaskBits);
#endif
  EXPECT_EQ(QdsTool({"del", Path("none.qds"), "s"}).exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(Path("none.qds")));
}

// A signed file is signed again after an edit, and the same edit made
// twice gives the same file; an unsigned one stays unsigned; a signed file
// that no longer verifies is not edited.
TEST_F(QdsToolTest, EditsKeepAFileSignedOrUnsigned) {
  const std::string file = Write("a.qds", kSample);
  ASSERT_EQ(QdsTool({"set", file, "files", "main", "1"}).exitCode, 0);
  EXPECT_EQ(QdsTool({"verify", file}).exitCode, 15);
  ASSERT_EQ(QdsTool({"sign", file}).exitCode, 0);
  const std::string signedBytes = ReadBytes(file);
  ASSERT_EQ(QdsTool({"set", file, "files", "main", "1"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(file), signedBytes) << "setting the value it has changes nothing";
  ASSERT_EQ(QdsTool({"set", file, "files", "main", "2"}).exitCode, 0);
  const std::string once = ReadBytes(file);
  ASSERT_EQ(QdsTool({"set", file, "files", "main", "2"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(file), once);
  EXPECT_EQ(QdsTool({"verify", file}).exitCode, 0);

  std::string tampered = once;
  tampered[tampered.find(Utf16Bytes(u"main=2"))] = 'M';
  test::WriteBytes(file, tampered);
  ProcessResult refused = QdsTool({"del", file, "strings"});
  EXPECT_EQ(refused.exitCode, 15);
  EXPECT_EQ(
      refused.standardError,
      "qdstool: " + file + ": refusing to edit: the digest does not match the text (status 15)\n");
  EXPECT_EQ(ReadBytes(file), tampered);
}

// What import accepts it writes as the saver writes a file loaded with its
// comments; what it refuses it names by line, and writes nothing.
TEST_F(QdsToolTest, ImportWritesQdsOrRefusesTheLine) {
  static const struct {
    std::string text;
    std::u16string file;  // empty: refused
    std::string error = {};
  } cases[] = {
      {"\xEF\xBB\xBF; app\n[a]\r\n  k=\xC3\xA9\n\n[b]\nx=y\xF4\x8F\xBF\xBF",
       u"[$version 1$]\r\n\r\n; app\r\n[a]\r\n  k=\x00E9\r\n\r\n[b]\r\nx=y\U0010FFFF\r\n"},
      {"[$version 3, codepage 1252$]\n[a]\nk=1\n",
       u"[$version 3, codepage 1200$]\r\n[a]\r\nk=1\r\n"},
      {"[a]\n# note\n", u"", "2: syntax error: \"#\" does not start a comment in a QDS file"},
      {"[a\n", u"", "1: syntax error: a section header without \"]\""},
      {"[a] k=1\n", u"", "1: syntax error: text after the \"]\" of a section header"},
      {"[a]\n\n=1\n", u"", "3: syntax error: a line that starts with \"=\""},
      {"[a]\r\nk\r\n", u"", "2: syntax error: a key without \"=\""},
      {"[a]\r\n[$end$]\n", u"", "2: syntax error: \"[$end$]\" would end the text here"},
      {"[a]\nk=\xC3\n", u"", "2: syntax error: bytes that are not UTF-8"},
      {"[a]\nk=1\r\r\n", u"", "2: syntax error: a carriage return not followed by a line feed"},
      {"k=1\n", u"", "1: syntax error: an entry before the first section"},
      {"[a]\n[$version 2$]\n", u"", "2: syntax error: a version section after another section"},
  };
  const std::string in = Path("in.txt"), out = Path("out.qds");
  for (const auto& c : cases) {
    std::filesystem::remove(out);
    test::WriteBytes(in, c.text);
    ProcessResult result = QdsTool({"import", in, out});
    if (c.file.empty()) {
      EXPECT_EQ(result.exitCode, 7) << c.text;
      EXPECT_EQ(result.standardError.rfind("qdstool: " + in + ":" + c.error, 0), 0u)
          << result.standardError;
      EXPECT_FALSE(std::filesystem::exists(out)) << c.text;
    } else {
      EXPECT_EQ(result.exitCode, 0) << result.standardError;
      EXPECT_EQ(ReadBytes(out), Utf16Bytes(c.file, true)) << c.text;
    }
  }
  test::WriteBytes(in, "[a]\nk=\xE9\n");
  EXPECT_EQ(QdsTool({"import", "--codepage", "1252", in, "-"}).standardOutput,
            Utf16Bytes(u"[$version 1$]\r\n\r\n[a]\r\nk=\x00E9\r\n", true));
}

// check warns of text that loads but was probably meant otherwise; only
// --strict makes a warning fail.
TEST_F(QdsToolTest, CheckWarnsOfTextMeantOtherwise) {
  static const struct {
    std::string bytes;
    std::string warnings;  // FILE stands before each
    int strictExit;
  } cases[] = {
      {Utf16Bytes(u"[a]\r\nk=1\r\n", true), "", 0},
      {Utf16Bytes(u"[a]\r\n  [x] = 1\r\nk=2\nj=1\n", true),
       ":2: warning: key \"[x]\" starts with \"[\": written without its indentation, as a "
       "merge writes it, it reads as a section header\n"
       ":3: warning: 2 line ends are LF alone, not CR LF: the text from here reads as one "
       "line\n",
       65},
      {"\xEF\xBB\xBF[a]\r\nk=1\r\n",
       ":1: warning: starts with a UTF-8 byte-order mark: read as "
       "ANSI text (code page 1252), mark included\n",
       7},
      {Utf16Bytes(u"[a]\r\nk=1\r\n"),
       ":1: warning: looks like UTF-16 without the byte-order mark FF FE: read as ANSI text\n", 7},
      {"\xFE\xFF",
       ":1: warning: looks like big-endian UTF-16: only little-endian UTF-16 after "
       "FF FE is read as UTF-16\n",
       7},
      // Three byte pairs in four as UTF-16 has them: too few to say so.
      {std::string("[\0a\0]\0\r\0\n\0k\0xxxx", 16),
       ":1: warning: 1 line ends are LF alone, not CR LF: the text from here reads as one line\n",
       7},
  };
  const std::string file = Path("a.qds");
  for (const auto& c : cases) {
    test::WriteBytes(file, c.bytes);
    ProcessResult result = QdsTool({"check", "--strict", file});
    EXPECT_EQ(result.exitCode, c.strictExit) << c.warnings;
    std::string told = result.standardError;
    for (size_t at; (at = told.find("qdstool: " + file)) != std::string::npos;) {
      told.erase(at, 9 + file.size());
    }
    EXPECT_EQ(told.substr(0, c.warnings.size()), c.warnings);
    EXPECT_EQ(QdsTool({"check", file}).exitCode, c.strictExit == 65 ? 0 : c.strictExit);
  }
}

// A canonical set of one value writes what a load and save keeping
// comments writes, but for that value's line, on every file of the examples
// and the corpus that loads. (A set that keeps the layout changes only the
// value's line of the file itself: tests/document/lossless_edit_test.cpp.)
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
    if (QdsTool({"rewrite", "--load-flags", "1", "--save-flags", "1", in, Path("r.qds")}).exitCode)
      continue;
    // The first key that has one value.
    std::string section, key;
    auto found = [&] {
      std::string values = QdsTool({"get", in, section, key}).standardOutput;
      return !key.empty() && std::count(values.begin(), values.end(), '\n') == 1;
    };
    for (std::istringstream names(QdsTool({"sections", in}).standardOutput);
         !found() && std::getline(names, section);) {
      std::istringstream keys(QdsTool({"keys", in, section}).standardOutput);
      while (std::getline(keys, key) && !found()) {
      }
    }
    if (!found()) continue;
    ProcessResult set =
        QdsTool({"set", "--canonical", "-o", Path("s.qds"), in, section, key, "changed"});
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

}  // namespace
}  // namespace qds
