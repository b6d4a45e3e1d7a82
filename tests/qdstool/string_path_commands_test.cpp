// The string and path commands end to end: qdstool expand, run as a user
// runs it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qds {
namespace {

TEST(ExpandToolTest, RunsEveryStringAndPathCommand) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir / "sub");
  const std::string d = "d=" + dir.path().string();
  const struct {
    std::vector<std::string> options;
    std::string text;
    int exitCode;
    std::string output;  // standard output, or standard error on failure
  } cases[] = {
      {{}, "%!chr(0x41)%%!chr(9786)%%!chr(0)%", 0, "A\xE2\x98\xBA\n"},
      {{"--set", "s=h\xC3\xA9llo"}, "%!length(%s%)%", 0, "5\n"},
      {{}, "%!index(banana,an,2)% %!rindex(banana,an)% %!index(aaa,aa,2)%", 0, "4 4 2\n"},
      {{},
       "%!sub(aaa,aa,b)% %!sub('a, b, c', ', ', +)% %!substr(abcdef,0x2,4)%",
       0,
       "ba a+b+c bcd\n"},
      {{"--json", "--set", "l=a, 'b,c' ,d"},
       "%!split(l,p)%",
       0,
       "{\"status\":0,\"errorPos\":0,\"output\":\"\",\"symbols\":{\"l\":\"a, 'b,c' ,d\","
       "\"p1\":\"a\",\"p2\":\"b,c\",\"p3\":\"d\",\"pCount\":\"3\"}}\n"},
      {{"--json"},
       "%!splitpath(C:\\dir\\name.tar.gz,x)%",
       0,
       "{\"status\":0,\"errorPos\":0,\"output\":\"\",\"symbols\":{\"xDrive\":\"C:\","
       "\"xExtension\":\"gz\",\"xFile\":\"name.tar\",\"xPath\":\"\\u005Cdir\"}}\n"},
      {{"--set", d},
       test::NativePath("%!exists(%d%/sub)%%!exists(%d%/sub/)%%!exists(%d%/s*)%%!exists(%d%/no)%"),
       0,
       "1000\n"},
      {{"--set", d},
       test::NativePath("%!toshortpath(%d%/sub)%"),
       0,
       test::ShortPath(dir / "sub").string() + "\n"},
      {{"--set", d},
       test::NativePath("x%!toshortpath(%d%/none)%"),
       19,
       "qdstool: expand: no short path at position 3 (status 19)\n"},
      {{}, "ab%!chr(z)%", 8, "qdstool: expand: unusable argument at position 4 (status 8)\n"},
      {{"--set", "l=\"open"},
       "%!split(l,p)%",
       8,
       "qdstool: expand: unusable argument at position 2 (status 8)\n"},
      {{"--set", "v=" + std::string(1024, 'a')},
       "%!length(%v%)%",
       6,
       "qdstool: expand: argument too long at position 2 (status 6)\n"},
      // Beyond the first buffer of 65536: the tool asks again with the size
      // that the commands reported.
      {{"--set", "a=" + std::string(300, 'a'), "--set", "b=" + std::string(300, 'b')},
       "%!sub(%a%,a,%b%)%",
       0,
       std::string(90000, 'b') + "\n"},
      {{}, "%!for(i,1,70000,%!chr(65)%)%", 0, std::string(70000, 'A') + "\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"expand"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.insert(arguments.end(), {"--", c.text});
    test::ProcessResult result = test::RunProcess(test::BuiltProgram("bin/qdstool"), arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.text;
    EXPECT_EQ(c.exitCode == 0 ? result.standardOutput : result.standardError, c.output) << c.text;
  }
}

}  // namespace
}  // namespace qds
