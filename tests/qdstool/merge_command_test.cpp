// qdstool merge: the bytes knitfold writes, and the diff of a dry run.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qds {
namespace {

using test::ProcessResult;
using test::QdsTool;
using test::ReadBytes;
using test::ScratchDir;
using test::Utf16Bytes;
using test::WriteBytes;

// A small document of names that meet in other letter case, quoted and
// empty values, values too long for the merge, comments and blank lines.
std::u16string RandomDocument(uint32_t* seed) {
  auto next = [seed](uint32_t n) {
    *seed = *seed * 1103515245u + 12345u;
    return (*seed >> 16) % n;
  };
  static const char16_t* const kSections[] = {u"A", u"a", u"B", u"Long Name"};
  static const char16_t* const kKeys[] = {u"k", u"K", u"x", u"\"q\""};
  const std::u16string kValues[] = {u"1", u"\"two\"", u"", u"%x% \x00E9",
                                    std::u16string(300, u'v')};
  std::u16string text = next(2) ? u"; head\r\n[$version 3, codepage 1200$]\r\n" : u"";
  for (uint32_t s = next(4); s > 0; --s) {
    if (next(3) == 0) text += u"; note\r\n";
    text += u"[" + std::u16string(kSections[next(4)]) + u"]\r\n";
    for (uint32_t e = next(4); e > 0; --e) {
      if (next(4) == 0) text += u"  ";
      text += std::u16string(kKeys[next(4)]) + u"=" + kValues[next(5)] + u"\r\n";
      if (next(5) == 0) text += u"\r\n";
    }
  }
  return text;
}

TEST(MergeToolTest, WritesTheBytesThatKnitfoldWrites) {
  std::vector<std::pair<std::string, std::string>> pairs = {
      {ReadBytes(test::SourceFile("examples/app.qds")),
       ReadBytes(test::SourceFile("examples/extra.qds"))}};
  for (uint32_t seed = 1; pairs.size() < 16;) {
    std::string target = Utf16Bytes(RandomDocument(&seed), true);
    pairs.emplace_back(target, Utf16Bytes(RandomDocument(&seed), true));
  }
  for (size_t i = 0; i < pairs.size(); ++i) {
    ScratchDir dir;
    auto run = [&](const char* program, const std::vector<std::string>& arguments) {
      return test::RunProcess(test::BuiltProgram(program), arguments, dir.path()).exitCode;
    };
    WriteBytes(dir / "t.qds", pairs[i].first);
    WriteBytes(dir / "c.qds", pairs[i].second);
    ASSERT_EQ(run("bin/qdstool", {"merge", "t.qds", "c.qds", "-o", "merged.qds"}), 0) << i;
    EXPECT_EQ(ReadBytes(dir / "t.qds"), pairs[i].first) << i << ": -o leaves TARGET alone";
    ASSERT_EQ(run("bin/knitfold", {"t.qds", "c.qds"}), 0) << i;
    EXPECT_EQ(ReadBytes(dir / "merged.qds"), ReadBytes(dir / "t.qds")) << i;
  }
}

TEST(MergeToolTest, DryRunShowsTheChangeAsAUnifiedDiffAndWritesNothing) {
  const std::u16string kHead = u"[$version 3, codepage 1200$]\r\n[a]\r\n";
  const std::u16string kTarget =
      kHead + u"k=1\r\nl=2\r\nm=3\r\nn=4\r\no=5\r\np=6\r\nq=7\r\nr=8\r\n";
  const std::string kShownHead = " [$version 3, codepage 1200$]\n [a]\n";
  const struct {
    std::u16string target;
    std::u16string compat;
    std::string diff;  // after the two header lines
  } cases[] = {
      {kTarget, u"", ""},
      // Insertions only; hunks apart, and joined where contexts touch.
      {kTarget, u"[a]\r\nk=0\r\nr=9\r\n[b]\r\nz=1\r\n",
       "@@ -1,6 +1,7 @@\n" + kShownHead +
           " k=1\n+k=0\n l=2\n m=3\n n=4\n"
           "@@ -8,3 +9,7 @@\n p=6\n q=7\n r=8\n+r=9\n+\n+[b]\n+z=1\n"},
      {kTarget, u"[a]\r\nk=0\r\nn=9\r\n",
       "@@ -1,9 +1,11 @@\n" + kShownHead +
           " k=1\n+k=0\n l=2\n m=3\n n=4\n+n=9\n o=5\n p=6\n q=7\n"},
      // A text the saver writes otherwise: lines change, and the last one
      // had no line end.
      {kHead + u"k = 1\r\nl=2\r\nm=3", u"[a]\r\nm=4\r\n",
       "@@ -1,5 +1,6 @@\n" + kShownHead +
           "-k = 1\n+k=1\n l=2\n-m=3\n\\ No newline at end of file\n+m=3\n+m=4\n"},
  };
  ScratchDir dir;
  const std::string target = (dir / "t.qds").string();
  for (const auto& c : cases) {
    WriteBytes(target, Utf16Bytes(c.target, true));
    WriteBytes(dir / "c.qds", Utf16Bytes(c.compat, true));
    ProcessResult result = QdsTool({"merge", "--dry-run", target, (dir / "c.qds").string()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput,
              c.diff.empty() ? "" : "--- a/" + target + "\n+++ b/" + target + "\n" + c.diff)
        << c.diff;
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(ReadBytes(target), Utf16Bytes(c.target, true));
  }
}

// Too many changes to align within the budget: still a correct diff, the
// old middle removed and the new added, and a word that it is not minimal.
TEST(MergeToolTest, DryRunOfTooManyChangesShowsThemRemovedThenAdded) {
  std::u16string text = u"[$version 3, codepage 1200$]\r\n[a]\r\n";
  for (int i = 0; i < 1500; ++i) text += u"k = " + std::u16string(1, u'a' + i % 26) + u"\r\n";
  ScratchDir dir;
  const std::string target = (dir / "t.qds").string();
  WriteBytes(target, Utf16Bytes(text, true));
  WriteBytes(dir / "c.qds", Utf16Bytes(u"[b]\r\nz=1\r\n", true));
  ProcessResult result = QdsTool({"merge", "--dry-run", target, (dir / "c.qds").string()});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.standardError,
            "qdstool: " + target + ": the diff is not minimal: too many changes to align\n");
  const std::string& diff = result.standardOutput;
  size_t firstAdded = diff.find("\n+k=");
  EXPECT_EQ(diff.rfind("\n-k = "), firstAdded - 7) << "every removal comes before the additions";
  EXPECT_NE(diff.find("@@ -1,1502 +1,1505 @@\n"), std::string::npos);
}

}  // namespace
}  // namespace qds
