// qdstool's commands, run as a user runs them: output, error lines, exit
// statuses and the files they write.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "platform/path_syntax.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ProcessResult;
using test::ReadBytes;
using test::Utf16Bytes;

// Every run ends within seconds; one that would not is stopped.
ProcessResult Tool(const std::vector<std::string>& arguments) {
  return test::RunProcess(test::BuiltProgram("bin/qdstool"), arguments, {},
                          std::chrono::seconds(10));
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

// Every command's answers: usage errors (64), help, the load status of a
// failed load or save, the file a rewrite writes (with its numeric flags,
// and what a failed load kept), the expansion or its failure "error N at P"
// (a second call with the size asked gets output beyond the first buffer),
// and the document as escaped JSON, also what a failed load left of it.
TEST_F(QdsToolTest, CommandsAnswerWithTheirStatusAndOutput) {
  const std::string file = Write("a.qds", kSample);
  const std::string broken = Write("broken.qds", u"[a]\r\nk=1\r\n\r\nbare key\r\n");
  const std::string kept = Write("kept.qds", u"[a]\r\nk=1\r\n=oops\r\n[b]\r\n");
  const std::string bare = Write("bare.qds", u"[a]\r\nbare key\r\n");
  const std::string missing = Path("missing.qds");
  const std::string noFolder = Path("no/dir/out.qds");
  const std::string out = Path("out.qds");
  const std::string got =
      Write("s.qds",
            u"[$version 3, codepage 1200$]\r\n[s]\r\na=\"%who% x\"\r\nb=%!if(1 = 1,yes)%\r\n"
            u"a=2\r\n[t]\r\n");
  const std::string big = Write("big.qds", u"[$version 2$]\r\n[s]\r\nk=%!for(i,1,3000,a)%\r\n");
  // Expansions that a larger buffer cannot cure: a command name too long to
  // scan, and commands that change the table that the size depends on.
  const std::u16string nameTooLong = u"%!" + std::u16string(66, u'a') + u"()%";
  const char16_t growing[] = u"%!set(c,%!eval(%c%+1)%)%%!for(i,1,%c%,x)%";
  const std::string longName = Write("long.qds", u"[s]\r\nk=\"" + nameTooLong + u"\"\r\n");
  const std::string grows = Write("grow.qds", u"[s]\r\nk=" + std::u16string(growing) + u"\r\n");
  const std::string lone = Write("lone.qds", u"[\xD800]\r\nk=\xDFFF\r\n");
  const std::string ok = file + ": ok (version 3, 2 sections, 3 entries)\n";
  const std::string dumpEnd = ",\"leadingText\":\"\",\"trailingText\":\"\",\"sections\":[";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string standardOutput, standardError;
    std::u16string written = {};  // out.qds after the run, when not empty
  } cases[] = {
      {{}, 64, "", "usage: qdstool COMMAND..."},
      {{"frobnicate"}, 64, "", "qdstool: unknown command frobnicate..."},
      {{"check"}, 64, "", "qdstool check: expected one FILE..."},
      {{"check", "--strict", "x"}, 64, "", "qdstool check: unknown option --strict..."},
      {{"sign", "x", "-o"}, 64, "", "qdstool sign: option -o needs a value..."},
      {{"rewrite", "--load-flags", "one", "x", "y"}, 64, "", "qdstool rewrite: flags must be..."},
      {{"rewrite", "x"}, 64, "", "qdstool rewrite: expected IN and OUT..."},
      {{"dump", "--load-flags", "0x100000000", "x"}, 64, "", "qdstool dump: flags must be..."},
      {{"expand", "a", "b"}, 64, "", "*"}, {{"expand", "--set", "novalue", "x"}, 64, "", "*"},
      {{"eval"}, 64, "", "*"}, {{"get", "file.qds"}, 64, "", "*"},
      {{"get", "--set", "x", "f", "s"}, 64, "", "*"},
      {{"check", "--help"}, 0, "usage: qdstool check...", ""}, {{"check", file}, 0, ok, ""},
      {{"check", broken}, 7, "", broken + ":4: syntax error\n"},
      {{"check", missing}, 2, "", "error 2 loading " + missing + "\n"},
      {{"check", "--digest", file}, 15, "", "error 15 loading " + file + "\n"},
      {{"verify", file}, 15, "", "error 15 loading " + file + "\n"},
      {{"check", "--lenient", bare}, 0, "*", ""},
      {{"rewrite", file, noFolder}, 2, "", "error 2 saving " + noFolder + "\n"},
      {{"rewrite", file, out}, 0, "", "", kSample},
      {{"rewrite", "--load-flags", "0", file, out}, 0, "", "",
       u"[$version 3, codepage 1200$]\r\n[files]\r\nmain=app.exe\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
      {{"rewrite", "--save-flags", "0x5", file, out}, 0, "", "",
       u"[files]\r\nmain=app.exe\r\n  ; the helper\r\nhelper=h\x00E9lp.dll\r\n"
       u"\r\n[strings]\r\nquote=say \"hi\" \\ bye\r\n"},
      // A rewrite whose load failed saves what the load kept.
      {{"rewrite", "--load-flags", "0", kept, out}, 7, "", kept + ":3: syntax error\n",
       u"[$version 1$]\r\n\r\n[a]\r\nk=1\r\n"},
      {{"expand", "--set", "who=Bob", "--set", "WHO=Ann=B", "Hi %who%!"}, 0, "Hi Ann=B!\n", ""},
      {{"expand", "--", "--%%"}, 0, "--%\n", ""},
      {{"expand", "%!for(i,1,3,%i%)% %!eval(6*7)% \xC3\xA9"}, 0, "123 42 \xC3\xA9\n", ""},
      // Arguments are decoded from UTF-8: "é" is one character.
      {{"expand", "--set", "s=h\xC3\xA9llo", "%!length(%s%)%"}, 0, "5\n", ""},
      {{"expand", "--legacy", "%!if(a = a,y,n)%"}, 0, "n\n", ""},
      {{"expand", "%!if(a = a,y,n)%"}, 0, "y\n", ""}, {{"expand", "50%"}, 1, "", "error 1 at 3\n"},
      {{"expand", "--no-commands", "ab%!if(1)%"}, 9, "", "error 9 at 3\n"},
      {{"expand", "%!define(me,%`%!me()%`%)%%!me()%"}, 20, "", "error 20 at 27\n"},
      {{"expand", EncodeUtf8(nameTooLong)}, 2, "", "error 2 at 2\n"},
      {{"expand", "--set", "c=70000", EncodeUtf8(growing)}, 2, "", "error 2 at 0\n"},
      {{"expand", "--json", "%!for(i,1,70000,x)%"}, 0,
       "{\"status\":0,\"errorPos\":0,\"output\":\"" + std::string(70000, 'x') +
           "\",\"symbols\":{\"i\":\"70000\"}}\n", ""},
      {{"expand", "--json", "--set", "b=\"q\"", "ab%!set(B2,\xC3\xA9)%%!set(Z,1)%cd%bad"}, 0,
       "{\"status\":1,\"errorPos\":28,\"output\":\"abcd\",\"symbols\":"
       "{\"B2\":\"\\u00E9\",\"Z\":\"1\",\"b\":\"\\u0022q\\u0022\"}}\n", ""},
      {{"eval", "1 + 2 * 3"}, 0, "7\n", ""}, {{"eval", "--", "-7 / 2"}, 0, "-3\n", ""},
      {{"eval", "1 / 0"}, 12, "", "error 12\n"}, {{"eval", "'open"}, 15, "", "error 15\n"},
      {{"get", got, "S"}, 0, "a=%who% x\na=2\nb=%!if(1 = 1,yes)%\n", ""},
      {{"get", "--keep-quotes", got, "s"}, 0, "a=\"%who% x\"\na=2\nb=%!if(1 = 1,yes)%\n", ""},
      {{"get", got, "t"}, 0, "", ""}, {{"get", got, "u"}, 10, "", "error 10: no section u\n"},
      {{"get", missing, "s"}, 2, "", "error 2 loading " + missing + "\n"},
      // Symbol names are matched in any letter case.
      {{"get", "--expand", "--set", "WHO=Ann", got, "s"}, 8, "a=Ann x\na=2\n",
       "error 3 near \"%!if(1 = 1,yes)%\"\n"},
      // The retry fails too: a failed expansion, the excerpt cut from the
      // value as the read saw it (without its quotes).
      {{"get", "--expand", longName, "s"}, 8, "",
       "error 2 near \"%!" + std::string(25, 'a') + "\"\n"},
      {{"get", "--expand", "--set", "c=2000", grows, "s"}, 8, "",
       "error 2 near \"%!set(c,%!eval(%c%+1)%)%%\"\n"},
      {{"get", "--expand", big, "s"}, 0, "k=" + std::string(3000, 'a') + "\n", ""},
      {{"dump", file}, 0,
       "{\"status\":0,\"errorLine\":0,\"version\":3,\"utf16\":1,"
       "\"leadingText\":\"; package\\u000D\\u000A\",\"trailingText\":\"\",\"sections\":["
       "{\"name\":\"files\",\"comment\":\"\",\"keys\":["
       "{\"name\":\"main\",\"values\":[{\"text\":\"app.exe\",\"comment\":\"\"}]},"
       "{\"name\":\"helper\",\"values\":[{\"text\":\"h\\u00E9lp.dll\","
       "\"comment\":\"  ; the helper\\u000D\\u000A\"}]}]},"
       "{\"name\":\"strings\",\"comment\":\"\\u000D\\u000A\",\"keys\":["
       "{\"name\":\"quote\",\"values\":[{\"text\":\"say \\u0022hi\\u0022 \\u005C bye\","
       "\"comment\":\"\"}]}]}]}\n", ""},
      {{"dump", "--load-flags", "9", missing}, 0, "*", ""},
      {{"dump", "--load-flags", "1", missing}, 0,
       "{\"status\":2,\"errorLine\":0,\"version\":3,\"utf16\":0" + dumpEnd + "]}\n", ""},
      {{"dump", "--load-flags", "0", Write("k.qds", u"[a]\r\nk\r\n")}, 0,
       "{\"status\":7,\"errorLine\":2,\"version\":1,\"utf16\":1" + dumpEnd +
           "{\"name\":\"a\",\"comment\":\"\",\"keys\":[]}]}\n", ""},
      {{"dump", "--load-flags", "0x10", lone}, 0,
       "{\"status\":0,\"errorLine\":0,\"version\":1,\"utf16\":1" + dumpEnd +
           "{\"name\":\"\\uD800\",\"comment\":\"\",\"keys\":["
           "{\"name\":\"k\",\"values\":[{\"text\":\"\\uDFFF\",\"comment\":\"\"}]}]}]}\n", ""},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& argument : c.arguments) line += " " + argument.substr(0, 80);
    ProcessResult result = Tool(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << line;
    ExpectText(result.standardOutput, c.standardOutput, line);
    ExpectText(result.standardError, c.standardError, line);
    if (!c.written.empty()) {
      EXPECT_EQ(ReadBytes(out), Utf16Bytes(c.written, true)) << line;
    }
  }
}

TEST_F(QdsToolTest, SignedFileVerifiesUntilItIsChanged) {
  const std::string file = Write("a.qds", kSample);
  ProcessResult signedCopy = Tool({"sign", file, "-o", Path("b.qds")});
  EXPECT_EQ(signedCopy.exitCode, 0) << signedCopy.standardError;
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true)) << "-o leaves the input alone";
  const std::string bytes = ReadBytes(Path("b.qds"));
  EXPECT_EQ(bytes.rfind(Utf16Bytes(kSample, true) + Utf16Bytes(u"\r\n[$end$]\r\n"), 0), 0u);

  EXPECT_EQ(Tool({"sign", file}).exitCode, 0);
  EXPECT_EQ(ReadBytes(file), bytes) << "signing in place writes the same file";
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
  ProcessResult verified = Tool({"verify", file});
  EXPECT_EQ(verified.standardOutput, file + ": ok (version 3, 2 sections, 3 entries)\n");

  std::string tampered = bytes;
  tampered[tampered.find(Utf16Bytes(u"app.exe"))] = 'A';
  test::WriteBytes(file, tampered);
  EXPECT_EQ(Tool({"verify", file}).exitCode, 15);
}

#ifndef _WIN32
// Where the digest's library cannot be loaded (here: a stand-in of its name
// found first, which lacks its functions), a load or save with the digest
// fails with status 16, names the library, and writes no file.
TEST_F(QdsToolTest, DigestWithoutItsLibraryFailsNamingTheLibrary) {
  const std::string file = Write("a.qds", kSample);
  const std::string cause =
      ": cannot compute the digest: " KNITFOLD_CRYPTO_LIBRARY " could not be loaded\n";
  for (const char* command : {"verify", "sign"}) {
    ProcessResult result = test::RunProcess(
        "/usr/bin/env", {"LD_LIBRARY_PATH=" KNITFOLD_CRYPTO_STAND_IN_DIR,
                         test::BuiltProgram("bin/qdstool").string(), command, file});
    EXPECT_EQ(result.exitCode, 16) << command;
    EXPECT_EQ(
        result.standardError,
        std::string("error 16 ") + (command[0] == 'v' ? "loading " : "saving ") + file + cause);
  }
  EXPECT_EQ(ReadBytes(file), Utf16Bytes(kSample, true));
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

}  // namespace
}  // namespace qds
