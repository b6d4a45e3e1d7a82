// qdstool cat and import: QDS files to text in UTF-8 and back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace qds {
namespace {

using test::ProcessResult;
using test::QdsTool;
using test::Utf16Bytes;

TEST(ConvertToolTest, CatPrintsTheTextInUtf8AsLoadingReadsIt) {
  static const struct {
    std::string bytes;
    const char* codePage;
    std::string output;
  } cases[] = {
      {Utf16Bytes(u"[a]\r\nk=\x00E9\r\n[$end$]\r\n", true), "1252",
       "[a]\r\nk=\xC3\xA9\r\n[$end$]\r\n"},
      {"[a]\nk=\xE9", "1252", "[a]\nk=\xC3\xA9"},
      {"[a]\r\nk=\xC3\xA9", "65001", "[a]\r\nk=\xC3\xA9"},
  };
  test::ScratchDir dir;
  for (const auto& c : cases) {
    test::WriteBytes(dir / "a.qds", c.bytes);
    ProcessResult result =
        QdsTool({"cat", std::string("--codepage=") + c.codePage, (dir / "a.qds").string()});
    EXPECT_EQ(result.exitCode, 0) << c.output;
    EXPECT_EQ(result.standardOutput, c.output);
  }
}

// A character of a multi-byte code page that the loader's 4096-byte blocks
// cut in two is read whole, at the end of the file too.
TEST(ConvertToolTest, LoadingRejoinsACharacterCutByABlock) {
  static const struct {
    const char* character;
    const char* end;
  } cases[] = {{"\xC3\xA9", "\r\n"}, {"\xF0\x9F\x98\x80", ""}};
  test::ScratchDir dir;
  for (const auto& c : cases) {
    const std::string value = std::string(4088, 'a') + c.character;  // "[s]\r\nk=" is 7 bytes
    test::WriteBytes(dir / "a.qds", "[s]\r\nk=" + value + c.end);
    ProcessResult result = QdsTool({"get", "--codepage=65001", (dir / "a.qds").string(), "s", "k"});
    EXPECT_EQ(result.standardOutput, value + "\n");
  }
}

// What import accepts it writes as the saver writes a file loaded with its
// comments; what it refuses it names by line, and writes nothing.
TEST(ConvertToolTest, ImportWritesQdsOrRefusesTheLine) {
  static const struct {
    std::string text;
    std::u16string file;  // empty: refused
    std::string error = {};
  } cases[] = {
      {"\xEF\xBB\xBF; app\n[a]\r\n  k=\xC3\xA9\n\n[b]\nx=y",
       u"[$version 1$]\r\n\r\n; app\r\n[a]\r\n  k=\x00E9\r\n\r\n[b]\r\nx=y\r\n"},
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
  test::ScratchDir dir;
  const std::string in = (dir / "in.txt").string();
  const std::string out = (dir / "out.qds").string();
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
      EXPECT_EQ(test::ReadBytes(out), Utf16Bytes(c.file, true)) << c.text;
    }
  }
  test::WriteBytes(in, "[a]\nk=\xE9\n");
  EXPECT_EQ(QdsTool({"import", "--codepage", "1252", in, "-"}).standardOutput,
            Utf16Bytes(u"[$version 1$]\r\n\r\n[a]\r\nk=\x00E9\r\n", true));
}

// check warns of text that loads but was probably meant otherwise; only
// --strict makes a warning fail.
TEST(ConvertToolTest, CheckWarnsOfTextMeantOtherwise) {
  static const struct {
    std::string bytes;
    std::string warnings;  // FILE stands before each
    int strictExit;
  } cases[] = {
      {Utf16Bytes(u"[a]\r\nk=1\r\n", true), "", 0},
      {Utf16Bytes(u"[a]\r\n  [x] = 1\r\nk=2\nj=1\n", true),
       ":2: warning: key \"[x]\" starts with \"[\": written without its indentation, as a "
       "merge writes it, it reads as a section header\n"
       ":3: warning: 2 line ends are LF alone, not CR LF: the text from here reads as one line\n",
       65},
      {"\xEF\xBB\xBF[a]\r\nk=1\r\n",
       ":1: warning: starts with a UTF-8 byte-order mark: read as ANSI text (code page 1252), "
       "mark included\n",
       7},
      {Utf16Bytes(u"[a]\r\nk=1\r\n"),
       ":1: warning: looks like UTF-16 without the byte-order mark FF FE: read as ANSI text\n", 7},
      {"\xFE\xFF",
       ":1: warning: looks like big-endian UTF-16: only little-endian UTF-16 "
       "after FF FE is read as UTF-16\n",
       7},
  };
  test::ScratchDir dir;
  const std::string file = (dir / "a.qds").string();
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

}  // namespace
}  // namespace qds
