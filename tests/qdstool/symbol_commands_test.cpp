// qdstool expand, eval and get, run as a user runs them.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "qdstool/run_tool.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ProcessResult;
using test::Tool;

// Expansions that a larger buffer cannot cure: a command name too long to
// scan, and commands that change the table that the size depends on.
const std::u16string kNameTooLong = u"%!" + std::u16string(66, u'a') + u"()%";
const char16_t kGrowing[] = u"%!set(c,%!eval(%c%+1)%)%%!for(i,1,%c%,x)%";

struct Expected {
  int exitCode;
  std::string standardOutput;
  std::string standardError;
};

void ExpectRun(const std::vector<std::string>& arguments, const Expected& expected) {
  ProcessResult result = Tool(arguments);
  std::string line;
  for (const std::string& argument : arguments) line += " " + argument;
  EXPECT_EQ(result.exitCode, expected.exitCode) << line;
  EXPECT_EQ(result.standardOutput, expected.standardOutput) << line;
  EXPECT_EQ(result.standardError, expected.standardError) << line;
}

TEST(SymbolToolTest, ExpandPrintsTheExpansionOrTheFailure) {
  const struct {
    std::vector<std::string> arguments;
    Expected expected;
  } cases[] = {
      {{"expand", "--set", "who=Bob", "--set", "WHO=Ann=B", "Hi %who%!"}, {0, "Hi Ann=B!\n", ""}},
      {{"expand", "--", "--%%"}, {0, "--%\n", ""}},
      {{"expand", "%!for(i,1,3,%i%)% %!eval(6*7)% \xC3\xA9"}, {0, "123 42 \xC3\xA9\n", ""}},
      {{"expand", "--legacy", "%!if(a = a,y,n)%"}, {0, "n\n", ""}},
      {{"expand", "%!if(a = a,y,n)%"}, {0, "y\n", ""}},
      {{"expand", "50%"}, {1, "", "qdstool: expand: unclosed form at position 3 (status 1)\n"}},
      {{"expand", "--no-commands", "ab%!if(1)%"},
       {9, "", "qdstool: expand: commands not allowed at position 3 (status 9)\n"}},
      {{"expand", "%!define(me,%`%!me()%`%)%%!me()%"},
       {20, "", "qdstool: expand: nested more than 64 deep at position 27 (status 20)\n"}},
      // One retry with the size asked, which does not fit either.
      {{"expand", EncodeUtf8(kNameTooLong)},
       {2, "", "qdstool: expand: output too long for the buffer at position 2 (status 2)\n"}},
      {{"expand", "--set", "c=70000", EncodeUtf8(kGrowing)},
       {2, "", "qdstool: expand: output too long for the buffer at position 0 (status 2)\n"}},
      {{"eval", "1 + 2 * 3"}, {0, "7\n", ""}},
      {{"eval", "--", "-7 / 2"}, {0, "-3\n", ""}},
      {{"eval", "--legacy", "a = a"}, {0, "0\n", ""}},
      {{"eval", "1 / 0"}, {12, "", "qdstool: eval: division by zero (status 12)\n"}},
      {{"eval", "'open"}, {15, "", "qdstool: eval: bad quoted string (status 15)\n"}},
  };
  for (const auto& c : cases) ExpectRun(c.arguments, c.expected);
}

TEST(SymbolToolTest, BadCommandLinesExit64) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"expand"},
                                             {"expand", "a", "b"},
                                             {"expand", "--set", "novalue", "x"},
                                             {"eval"},
                                             {"get", "file.qds"},
                                             {"get", "--set", "x", "f", "s"}}) {
    EXPECT_EQ(Tool(arguments).exitCode, 64) << arguments[0] << " " << arguments.size();
  }
}

// Output beyond the first buffer comes from a second call, which runs the
// commands again.
TEST(SymbolToolTest, ExpandRetriesWithTheSizeAsked) {
  ProcessResult result = Tool({"expand", "--json", "%!for(i,1,70000,x)%"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.standardOutput, "{\"status\":0,\"errorPos\":0,\"output\":\"" +
                                       std::string(70000, 'x') +
                                       "\",\"symbols\":{\"i\":\"70000\"}}\n");
}

TEST(SymbolToolTest, ExpandJsonShowsPartialOutputAndSortedSymbols) {
  ProcessResult result =
      Tool({"expand", "--json", "--set", "b=\"q\"", "ab%!set(B2,\xC3\xA9)%%!set(Z,1)%cd%bad"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.standardOutput,
            "{\"status\":1,\"errorPos\":28,\"output\":\"abcd\",\"symbols\":"
            "{\"B2\":\"\\u00E9\",\"Z\":\"1\",\"b\":\"\\u0022q\\u0022\"}}\n");
  EXPECT_EQ(result.standardError, "");
}

class GetToolTest : public ::testing::Test {
 protected:
  std::string Write(const char* name, std::u16string_view text) {
    test::WriteBytes(dir_ / name, test::Utf16Bytes(text, true));
    return (dir_ / name).string();
  }
  test::ScratchDir dir_;
};

TEST_F(GetToolTest, PrintsEntriesReadAsAsked) {
  const std::string file =
      Write("s.qds",
            u"[$version 3, codepage 1200$]\r\n[s]\r\na=\"%who% x\"\r\nb=%!if(1 = 1,yes)%\r\n"
            u"a=2\r\n[t]\r\n");
  const std::string big = Write("big.qds", u"[$version 2$]\r\n[s]\r\nk=%!for(i,1,1500,ab)%\r\n");
  const std::string tooLong = Write("long.qds", u"[s]\r\nk=\"" + kNameTooLong + u"\"\r\n");
  const std::string growing = Write("grow.qds", u"[s]\r\nk=" + std::u16string(kGrowing) + u"\r\n");
  const struct {
    std::vector<std::string> arguments;
    Expected expected;
  } cases[] = {
      {{"get", file, "S"}, {0, "a=%who% x\na=2\nb=%!if(1 = 1,yes)%\n", ""}},
      {{"get", "--keep-quotes", file, "s"}, {0, "a=\"%who% x\"\na=2\nb=%!if(1 = 1,yes)%\n", ""}},
      {{"get", file, "t"}, {0, "", ""}},
      {{"get", file, "u"}, {10, "", "qdstool: " + file + ": no section \"u\" (status 10)\n"}},
      {{"get", file, "s", "A"}, {0, "%who% x\n2\n", ""}},
      {{"get", file, "s", "c"},
       {11, "", "qdstool: " + file + ": no key \"c\" in section \"s\" (status 11)\n"}},
      {{"get", "--expand", "--set=who=Al", file, "s", "a"}, {0, "Al x\n2\n", ""}},
      {{"get", "--expand", "--set", "who=Ann", file, "s"},
       {8, "a=Ann x\na=2\n",
        "qdstool: " + file +
            ": [s] b: cannot expand: wrong argument count at position 2 near "
            "\"%!if(1 = 1,yes)%\" (status 8)\n"}},
      // The retry fails too: a failed expansion.
      {{"get", "--expand", tooLong, "s"},
       {8, "",
        "qdstool: " + tooLong +
            ": [s] k: cannot expand: output too long for the buffer "
            "at position 2 (status 8)\n"}},
      {{"get", "--expand", "--set", "c=70000", growing, "s"},
       {8, "",
        "qdstool: " + growing +
            ": [s] k: cannot expand: output too long for the buffer "
            "at position 0 (status 8)\n"}},
  };
  for (const auto& c : cases) ExpectRun(c.arguments, c.expected);
  ProcessResult grown = Tool({"get", "--expand", big, "s"});
  EXPECT_EQ(grown.exitCode, 0);
  EXPECT_EQ(grown.standardOutput.size(), 2 + 3000 + 1u);
}

TEST_F(GetToolTest, LegacyDocumentsExpandConditionsTheOldWay) {
  ExpectRun(
      {"get", "--expand", Write("v1.qds", u"[$version 1$]\r\n[s]\r\nk=%!if(a = a,y,n)%\r\n"), "s"},
      {0, "k=n\n", ""});
  ExpectRun(
      {"get", "--expand", Write("v2.qds", u"[$version 2$]\r\n[s]\r\nk=%!if(a = a,y,n)%\r\n"), "s"},
      {0, "k=y\n", ""});
}

}  // namespace
}  // namespace qds
