// The line grammar, its errors, the version rules, comment keeping and the
// open failures of DocumentModel::Load.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <string>
#include <string_view>

#include "qdsfile/load_helpers.h"
#include "qdsfile/qds_loader.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

using namespace std::string_view_literals;

class LoaderTest : public ::testing::Test {
 protected:
  LoadStatus Load(std::string_view bytes, uint32_t flags = 0) {
    return LoadBytes(doc, dir / "file.qds", bytes, flags);
  }

  ScratchDir dir;
  DocumentModel doc;
};

// The grammar tables hold ASCII text and run in both encodings.
class GrammarTest : public LoaderTest, public ::testing::WithParamInterface<Encoding> {
 protected:
  LoadStatus LoadText(std::string_view text, uint32_t flags) {
    return Load(FileBytes(text, GetParam()), flags);
  }
};

INSTANTIATE_TEST_SUITE_P(Encodings, GrammarTest, ::testing::Values(Encoding::Utf16, Encoding::Ansi),
                         [](const auto& info) { return EncodingName(info.param); });

TEST_P(GrammarTest, LinesGiveTheirSectionsAndEntries) {
  static const struct {
    std::string_view input;
    uint32_t flags;
    const char* expected;
  } cases[] = {
      {""sv, 0, ""},
      {"[a]\r\nk=1\r\n[a]\r\nk=2\r\n"sv, 0, "[a]k=1|[a]k=2|"},
      {"[s]\r\nK=1\r\nx=2\r\nk=3\r\n"sv, 0, "[s]K=1|K=3|x=2|"},
      {"[s]\r\n\xC4=1\r\n\xE4=2\r\n"sv, 0, "[s]\u00C4=1|\u00E4=2|"},
      {"[a]\r\nk=1\r\n[b]\r\nk=2\r\n"sv, 0, "[a]k=1|[b]k=2|"},
      {"[s]\r\n  key  =  a=b  \r\n"sv, 0, "[s]key=a=b|"},
      {"[s]\r\nkey=\r\nk2=\t \r\n"sv, 0, "[s]key=|k2=|"},
      {"[s]\r\n  [x]=1\r\n"sv, 0, "[s][x]=1|"},
      {"[s]\r\nk;x=v;y\r\n"sv, 0, "[s]k;x=v;y|"},
      {"[s]ignored=text\r\nk=v\r\n"sv, 0, "[s]k=v|"},
      {"[]\r\nk=v\r\n[ x ]\r\n"sv, 0, "[]k=v|[ x ]"},
      {"[a\r\nb]\r\nk=v\r\n"sv, 0, "[a\r\nb]k=v|"},
      {"[$END$]\r\nk=v\r\n"sv, 0, "[$END$]k=v|"},
      {"[s]\r\nk=v\r\n\r\n \t \r\n;c\r\n  ;d\r\n"sv, 0, "[s]k=v|"},
      {"[s]\r\n\n\nk=v\r\n"sv, 0, "[s]k=v|"},
      {"[s]\r\nk\n=a\nb\r\n"sv, 0, "[s]k=a\nb|"},
      {"[s]\r\nk=v"sv, 0, "[s]k=v|"},
      {"[s]\r\nk= "sv, 0, "[s]k=|"},
      {"[s]\r\nk="sv, 0, "[s]"},
      {"[s]\r\nk"sv, 0, "[s]"},
      {"[s]\r\nk"sv, Lenient, "[s]"},
      {"[s]\r\n[t"sv, 0, "[s]"},
      {"[s]\r\nk=v\r\n[$end$]\r\n=\0\r"sv, 0, "[s]k=v|"},
      {"\x1A[s\x1At]\r\x1A\nk\x1A=\x1Av\x1Aw\x1A\r\n\x1A"sv, 0, "[s\x1At]k\x1A=v\x1Aw\x1A|"},
      {"[$version 2$]\r\n[$version 1$]\r\n[a]\r\n"sv, 0, "[a]"},
      {"k=v\r\n[a]\r\nb\r\n  c  \r\n"sv, Lenient, "[]k=v|[a]b=\n|c=\n|"},
      {"k=v\r\n[$version 2$]\r\nj=w\r\n"sv, Lenient, "[]k=v|j=w|"},
      {"[s]\r\nk\r\nk=v\r\n"sv, Lenient, "[s]k=\n|k=v|"},
  };
  for (const auto& c : cases) {
    DocumentModel fresh;
    EXPECT_EQ(LoadBytes(fresh, dir / "grammar.qds", FileBytes(c.input, GetParam()), c.flags),
              LoadStatus::Ok)
        << testing::PrintToString(std::string(c.input));
    EXPECT_EQ(Dump(fresh), c.expected) << testing::PrintToString(std::string(c.input));
  }
}

TEST_P(GrammarTest, SyntaxErrorsStopAtTheirLineKeepingWhatCameBefore) {
  static const struct {
    std::string_view input;
    uint32_t flags;
    uint32_t line;
    const char* kept;
  } cases[] = {
      {"[s]\r\nk=v\r\na\0b=1\r\n"sv, 0, 3, "[s]k=v|"},
      {"[s]\r\nk=v\0"sv, 0, 2, "[s]"},
      {"[s]\r\nk=1\r\nk=2\0\r\n"sv, 0, 3, "[s]k=1|"},
      {"[s]\r\nk=v\rx"sv, 0, 2, "[s]k=v|"},
      {"[s]\r\n\rx\r\n"sv, 0, 2, "[s]"},
      {"[s]x\ry\r\n"sv, 0, 1, "[s]"},
      {"[s]\r\n;c\rc\r\n"sv, 0, 2, "[s]"},
      {"[s]\r\n=v\r\n"sv, 0, 2, "[s]"},
      {"[s]\r\n \t=v\r\n"sv, Lenient, 2, "[s]"},
      {"[s\r\n[t]\r\n"sv, 0, 1, ""},
      {"k=v\r\n"sv, 0, 1, ""},
      {";c\r\n\r\n[$version 2$]\r\nk=v\r\n"sv, 0, 4, ""},
      {"[s]\r\nkey\r\n"sv, 0, 2, "[s]"},
      {"[a]\r\nk=1\r\n[$version 2$]\r\n[b]\r\n"sv, 0, 3, "[a]k=1|"},
      {"[a\r\nb]\r\n=x\r\n"sv, 0, 2, "[a\r\nb]"},
      {"[a]\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n[b]\r\nx\r\n"sv, 0, 12, "[a][b]"},
  };
  for (const auto& c : cases) {
    DocumentModel fresh;
    EXPECT_EQ(LoadBytes(fresh, dir / "errors.qds", FileBytes(c.input, GetParam()), c.flags),
              LoadStatus::SyntaxError)
        << testing::PrintToString(std::string(c.input));
    EXPECT_EQ(fresh.errorLine, c.line) << testing::PrintToString(std::string(c.input));
    EXPECT_EQ(Dump(fresh), c.kept) << testing::PrintToString(std::string(c.input));
  }
}

TEST_P(GrammarTest, VersionSectionAfterAnOrdinarySectionLeavesVersionOne) {
  EXPECT_EQ(LoadText("[a]\r\n\r\n[$version 2$]\r\n", 0), LoadStatus::SyntaxError);
  EXPECT_EQ(doc.errorLine, 3u);
  EXPECT_EQ(doc.version, 1);
}

TEST_P(GrammarTest, SuccessfulLoadLeavesErrorLineAndAppendsToTheDocument) {
  doc.errorLine = 99;
  ASSERT_EQ(LoadText("[a]\r\nk=1\r\n", 0), LoadStatus::Ok);
  ASSERT_EQ(LoadText("[a]\r\nk=2\r\n", 0), LoadStatus::Ok);
  EXPECT_EQ(Dump(doc), "[a]k=1|[a]k=2|");
  EXPECT_EQ(doc.errorLine, 99u);
  EXPECT_EQ(doc.utf16, GetParam() == Encoding::Utf16 ? 1u : 0u);
}

TEST_P(GrammarTest, CommentTextIsKeptWithTheItemThatFollowsIt) {
  static const struct {
    std::string_view input;
    const char* expected;
  } cases[] = {
      {";lead\r\n\r\n[$version 2$]\r\n;sec\r\n[a]\r\n\r\n  ;c\r\n\tk=v\r\n;end\r\n"sv,
       "<lead{;lead\r\n\r\n}>{;sec\r\n}[a]{\r\n  ;c\r\n\t}k=v|<trail{;end\r\n}>"},
      {"[a]\r\n;c\r\nk=v"sv, "[a]{;c\r\n}k=v|"},
      {"[a]\r\n;c\r\nk="sv, "[a]<trail{;c\r\n}>"},
      {"[a]\r\nk=v\r\n;t\r\n[$end$]\r\n;after\r\n"sv, "[a]k=v|<trail{;t\r\n}>"},
      {"[a]\r\nk=v\r\n;t\r\n  "sv, "[a]k=v|<trail{;t\r\n  }>"},
      {"[$version 2$]\r\n;x\r\n[$version 2$]\r\n;y\r\n[a]\r\n"sv, "{;y\r\n}[a]"},
      {"[a]\r\n;c\x1A\r\n\x1A k=v\r\n"sv, "[a]{;c\x1A\r\n\x1A }k=v|"},
      {"\x1A;c\r\n[a]\r\n"sv, "{;c\r\n}[a]"},
      {"[a]\r\n\n\n;c\r\n"sv, "[a]<trail{\n\n;c\r\n}>"},
      {";c\r\n bare\r\n[a]\r\n"sv, "[]{;c\r\n }bare=\n|[a]"},
  };
  for (const auto& c : cases) {
    DocumentModel kept;
    ASSERT_EQ(
        LoadBytes(kept, dir / "kept.qds", FileBytes(c.input, GetParam()), KeepComments | Lenient),
        LoadStatus::Ok)
        << testing::PrintToString(std::string(c.input));
    EXPECT_EQ(Dump(kept, true), c.expected) << testing::PrintToString(std::string(c.input));

    DocumentModel dropped;
    ASSERT_EQ(LoadBytes(dropped, dir / "dropped.qds", FileBytes(c.input, GetParam()), Lenient),
              LoadStatus::Ok);
    EXPECT_EQ(Dump(dropped, true), Dump(kept)) << testing::PrintToString(std::string(c.input));
  }
}

// ---- Versions ---------------------------------------------------------------------

TEST_F(LoaderTest, VersionIsReadFromTheFirstHeaderLine) {
  static const struct {
    std::u16string_view input;
    int32_t expected;
  } cases[] = {
      {u"", 1},
      {u"[a]\r\n", 1},
      {u"[$Version 2$]\r\n", 2},
      {u"[$VERSION 1$]\r\n", 1},
      {u"[$version 3$]\r\n", 3},
      {u"[$version 3, codepage 1200$]\r\n", 3},
      {u"[$version \t+2$]\r\n", 2},
      {u"[$version 7$]\r\n", -1},
      {u"[$version 0$]\r\n", -1},
      {u"[$version -2$]\r\n", -1},
      {u"[$version 99999999999999999999$]\r\n", -1},
      {u"[$version x$]\r\n", -1},
      {u"[$versionX]\r\n", 5},
      {u"[$version2$]\r\n", 5},
      {u";c\r\n\r\n[$version 2$]\r\n", 2},
      {u";c[$version 2$]\r\n[$versionX]\r\n", 5},
  };
  for (const auto& c : cases) {
    DocumentModel fresh;
    fresh.version = 5;
    EXPECT_EQ(LoadBytes(fresh, dir / "v.qds", Utf16Bytes(c.input, true), 0), LoadStatus::Ok)
        << testing::PrintToString(std::u16string(c.input));
    EXPECT_EQ(fresh.version, c.expected) << testing::PrintToString(std::u16string(c.input));
  }
}

TEST_F(LoaderTest, AnsiVersionThreeMustNameItsCodePage) {
  static const struct {
    std::string_view input;
    LoadStatus status;
    int32_t version;
  } cases[] = {
      {"[$version 3$]\r\n[a]\r\n", LoadStatus::SyntaxError, 3},
      {"[$version 3,codepage 1252$]\r\n", LoadStatus::SyntaxError, 3},
      {"[$version 3, CodePage 1252$]\r\n[a]\r\n", LoadStatus::Ok, 3},
      // The tag is all there, but the header never closes: no version section.
      {"[$version 3, codepage ", LoadStatus::Ok, 1},
      {"[$version 3, codepag", LoadStatus::SyntaxError, 3},
      {"[$version 2$]\r\n", LoadStatus::Ok, 2},
      {"[$version 8$]\r\n", LoadStatus::Ok, -1},
  };
  for (const auto& c : cases) {
    DocumentModel fresh;
    fresh.errorLine = 99;
    EXPECT_EQ(LoadBytes(fresh, dir / "a.qds", c.input, 0), c.status) << c.input;
    EXPECT_EQ(fresh.version, c.version) << c.input;
    EXPECT_EQ(fresh.errorLine, c.status == LoadStatus::Ok ? 99u : 1u) << c.input;
  }
}

TEST_F(LoaderTest, VersionLineBeyondTheFirstBlockKeepsThePreviousVersion) {
  std::u16string comment = u";" + std::u16string(5000, u'x') + u"\r\n";
  doc.version = 2;
  ASSERT_EQ(Load(Utf16Bytes(comment + u"[$version 1$]\r\n[a]\r\n", true), KeepComments),
            LoadStatus::Ok);
  EXPECT_EQ(doc.version, 2);
  EXPECT_EQ(doc.leadingText.View(), comment);  // it still counts as the version section
}

TEST_F(LoaderTest, AnsiTextIsConvertedWithTheDocumentsCodePage) {
  static const struct {
    uint32_t codePage;
    const char* expected;
  } cases[] = {
      {1252, "[s]k=\u00E9|"},
      {1251, "[s]k=\u0439|"},
      {999999, ""},  // no such code page: every block is lost
  };
  for (const auto& c : cases) {
    DocumentModel fresh;
    fresh.codePage = c.codePage;
    EXPECT_EQ(
        LoadBytes(fresh, dir / "cp.qds", "[$version 3, codepage 1251$]\r\n[s]\r\nk=\xE9\r\n", 0),
        LoadStatus::Ok)
        << c.codePage;
    EXPECT_EQ(Dump(fresh), c.expected) << c.codePage;
    EXPECT_EQ(fresh.codePage, c.codePage);
  }
}

TEST_F(LoaderTest, OtherMarksThanFfFeAreAnsiText) {
  EXPECT_EQ(Load("\xEF\xBB\xBF[a]\r\n"), LoadStatus::SyntaxError);
  EXPECT_EQ(doc.utf16, 0u);
  EXPECT_EQ(Load("\xEF\xBB\xBF[a]\r\n", Lenient), LoadStatus::Ok);
  EXPECT_EQ(Dump(doc), "[]\u00EF\u00BB\u00BF[a]=\n|");
}

TEST_F(LoaderTest, OddLastByteOfUtf16IsNoCharacter) {
  ASSERT_EQ(Load(Utf16Bytes(u"[s]\r\nk=v", true) + "x"), LoadStatus::Ok);
  EXPECT_EQ(Dump(doc), "[s]k=v|");
}

// ---- Opening --------------------------------------------------------------------

TEST_F(LoaderTest, OpenFailuresAreReportedWithTheNameKept) {
  std::u16string missing = WidePath(dir / "missing.qds");
  EXPECT_EQ(LoadDocument(&doc, missing.c_str(), 0), LoadStatus::NotFound);
  EXPECT_EQ(doc.fileName.View(), missing);

  std::u16string inMissingFolder = WidePath(dir / "nope" / "file.qds");
  EXPECT_EQ(LoadDocument(&doc, inMissingFolder.c_str(), 0), LoadStatus::NotFound);

  // POSIX refuses the name as too long; Windows finds no such file.
  std::u16string tooLong = WidePath(dir / std::string(300, 'n'));
#ifdef _WIN32
  EXPECT_EQ(LoadDocument(&doc, tooLong.c_str(), 0), LoadStatus::NotFound);
#else
  EXPECT_EQ(LoadDocument(&doc, tooLong.c_str(), 0), LoadStatus::OpenFailed);
#endif
  EXPECT_EQ(doc.fileName.View(), tooLong);
  EXPECT_EQ(doc.version, 3);  // nothing was parsed
}

TEST_F(LoaderTest, UnreadableFileIsAccessDenied) {
  WriteBytes(dir / "locked.qds", "[a]\r\n");
#ifdef _WIN32
  // Held without sharing by another opener.
  ExclusiveHold holder(dir / "locked.qds");
  ASSERT_TRUE(holder.held());
#else
  if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions are not enforced";
  std::filesystem::permissions(dir / "locked.qds", std::filesystem::perms::none);
#endif
  EXPECT_EQ(LoadDocument(&doc, WidePath(dir / "locked.qds").c_str(), 0), LoadStatus::AccessDenied);
}

#ifdef _WIN32
TEST_F(LoaderTest, FolderIsAccessDenied) {
  // Windows opens no folder as a file.
  EXPECT_EQ(LoadDocument(&doc, WidePath(dir.path()).c_str(), Digest), LoadStatus::AccessDenied);
  EXPECT_EQ(doc.version, 3);  // nothing was parsed
}
#else
TEST_F(LoaderTest, ReadFailureAfterOpeningIsReported) {
  // A folder opens for reading on POSIX, and then every read fails.
  EXPECT_EQ(LoadDocument(&doc, WidePath(dir.path()).c_str(), Digest), LoadStatus::ReadFailed);
  EXPECT_EQ(doc.version, 1);
}
#endif

}  // namespace
}  // namespace qds::test
