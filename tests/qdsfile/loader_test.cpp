// Loading: the line grammar, its errors, comment keeping, the version rules,
// the digest check and the open failures of LoadDocument. The grammar tables
// run in both encodings, each text alone and, where it starts with a section
// of its own, behind a filler section that puts every one of its characters
// in turn at each block boundary.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/lookahead.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/stop_search.h"
#include "support/qds_text.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

using namespace std::string_view_literals;
using enum LoadFlags;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// Block boundaries in characters from the start of the file: the first block
// is 4096 bytes, then UTF-16 comes in 8192-byte blocks (in 4096-byte blocks
// while a digest is checked) and ANSI in 4096-byte blocks. With a digest,
// also where the first block of text that a large file is read into is full
// (2^20 characters, and room for one more file block), and the tokens it
// cuts move to the next.
constexpr uint32_t kUtf16Boundaries[] = {2048, 6144};
constexpr uint32_t kUtf16DigestBoundaries[] = {2048, 4096, 1050624};
constexpr uint32_t kAnsiBoundaries[] = {4096, 8192};
constexpr uint32_t kAnsiDigestBoundaries[] = {4096, 8192, 1052672};

std::span<const uint32_t> Boundaries(Encoding encoding, bool digest) {
  if (encoding == Encoding::Ansi) {
    return digest ? std::span<const uint32_t>(kAnsiDigestBoundaries) : kAnsiBoundaries;
  }
  return digest ? std::span<const uint32_t>(kUtf16DigestBoundaries) : kUtf16Boundaries;
}

// Characters before the text of the file: the byte-order mark of UTF-16.
size_t MarkLength(Encoding encoding) { return encoding == Encoding::Utf16 ? 1 : 0; }

// One way to load a text: its file bytes, what the filler before it adds to
// the Dump, and the lines it adds before it.
struct Placement {
  std::string bytes;
  std::string dumped;
  uint32_t lines;
  std::string where;
};

std::vector<Placement> Placements(std::string_view text, Encoding encoding) {
  std::vector<Placement> all = {{FileBytes(text, encoding), "", 0, "alone"}};
  if (!text.starts_with("[") || text.find("[$version") != std::string_view::npos) return all;
  const std::string fillerHead = "[f]\r\nfill=";
  for (uint32_t boundary : Boundaries(encoding, false)) {
    for (size_t before = 0; before <= text.size(); ++before) {
      size_t fill = boundary - before - MarkLength(encoding) - fillerHead.size() - 2;
      std::string filler = fillerHead + std::string(fill, 'x') + "\r\n";
      all.push_back({FileBytes(filler + std::string(text), encoding),
                     "[f]fill=" + std::string(fill, 'x') + "|", 2,
                     "boundary " + std::to_string(boundary) + " at " + std::to_string(before)});
    }
  }
  return all;
}

class LoaderTest : public ::testing::TestWithParam<Encoding> {
 protected:
  ScratchDir dir;
};

INSTANTIATE_TEST_SUITE_P(Encodings, LoaderTest, ::testing::Values(Encoding::Utf16, Encoding::Ansi),
                         [](const auto& info) { return EncodingName(info.param); });

// A text loads, or stops with a syntax error at its line (0: none) keeping
// what came before it.
TEST_P(LoaderTest, LinesGiveTheirSectionsAndEntriesUpToTheFirstError) {
  static const struct {
    std::string_view input;
    LoadFlags flags;
    uint32_t errorLine;
    const char* expected;
  } cases[] = {
      {""sv, {}, 0, ""},
      {"[a]\r\nk=1\r\n[a]\r\nk=2\r\n"sv, {}, 0, "[a]k=1|[a]k=2|"},
      {"[s]\r\nK=1\r\nx=2\r\nk=3\r\n"sv, {}, 0, "[s]K=1|K=3|x=2|"},
      {"[s]\r\n\xC4=1\r\n\xE4=2\r\n"sv, {}, 0, "[s]\u00C4=1|\u00E4=2|"},
      {"[a]\r\nk=1\r\n[b]\r\nk=2\r\n"sv, {}, 0, "[a]k=1|[b]k=2|"},
      {"[s]\r\n  key  =  a=b  \r\n"sv, {}, 0, "[s]key=a=b|"},
      {"[s]\r\nkey=\r\nk2=\t \r\n"sv, {}, 0, "[s]key=|k2=|"},
      {"[s]\r\n  [x]=1\r\n"sv, {}, 0, "[s][x]=1|"},
      {"[s]\r\nk;x=v;y\r\n"sv, {}, 0, "[s]k;x=v;y|"},
      {"[s]ignored=text\r\nk=v\r\n"sv, {}, 0, "[s]k=v|"},
      {"[]\r\nk=v\r\n[ x ]\r\n"sv, {}, 0, "[]k=v|[ x ]"},
      {"[a\r\nb]\r\nk=v\r\n"sv, {}, 0, "[a\r\nb]k=v|"},
      {"[$END$]\r\nk=v\r\n"sv, {}, 0, "[$END$]k=v|"},
      {"[s]\r\nk=v\r\n\r\n \t \r\n;c\r\n  ;d\r\n"sv, {}, 0, "[s]k=v|"},
      {"[s]\r\n\n\nk=v\r\n"sv, {}, 0, "[s]k=v|"},
      {"[s]\r\nk\n=a\nb\r\n"sv, {}, 0, "[s]k=a\nb|"},
      {"[s]\r\nk=v"sv, {}, 0, "[s]k=v|"},
      {"[s]\r\nk= "sv, {}, 0, "[s]k=|"},
      {"[s]\r\nk="sv, {}, 0, "[s]"},
      {"[s]\r\nk"sv, {}, 0, "[s]"},
      {"[s]\r\nk"sv, Lenient, 0, "[s]"},
      {"[s]\r\n[t"sv, {}, 0, "[s]"},
      {"[s]\r\nk=v\r\n[$end$]\r\n=\0\r"sv, {}, 0, "[s]k=v|"},
      {"\x1A[s\x1At]\r\x1A\nk\x1A=\x1Av\x1Aw\x1A\r\n\x1A"sv, {}, 0, "[s\x1At]k\x1A=v\x1Aw\x1A|"},
      {"[$version 2$]\r\n[$version 1$]\r\n[a]\r\n"sv, {}, 0, "[a]"},
      {"k=v\r\n[a]\r\nb\r\n  c  \r\n"sv, Lenient, 0, "[]k=v|[a]b=\n|c=\n|"},
      {"k=v\r\n[$version 2$]\r\nj=w\r\n"sv, Lenient, 0, "[]k=v|j=w|"},
      {"[s]\r\nk\r\nk=v\r\n"sv, Lenient, 0, "[s]k=\n|k=v|"},
      {"[s]\r\nk=v\r\na\0b=1\r\n"sv, {}, 3, "[s]k=v|"},
      {"[s]\r\nk=v\0"sv, {}, 2, "[s]"},
      {"[s]\r\nk=\0v\r\n"sv, {}, 2, "[s]"},
      {"[s]\r\nk=1\r\nk=2\0\r\n"sv, {}, 3, "[s]k=1|"},
      {"[s]\r\nk=v\rx"sv, {}, 2, "[s]k=v|"},
      {"[s]\r\n\rx\r\n"sv, {}, 2, "[s]"},
      {"[s]x\ry\r\n"sv, {}, 1, "[s]"},
      {"[s]\r\n;c\rc\r\n"sv, {}, 2, "[s]"},
      {"[s]\r\n=v\r\n"sv, {}, 2, "[s]"},
      {"[s]\r\n \t=v\r\n"sv, Lenient, 2, "[s]"},
      {"[s\r\n[t]\r\n"sv, {}, 1, ""},
      {"k=v\r\n"sv, {}, 1, ""},
      {";c\r\n\r\n[$version 2$]\r\nk=v\r\n"sv, {}, 4, ""},
      {"[s]\r\nkey\r\n"sv, {}, 2, "[s]"},
      {"[a]\r\nk=1\r\n[$version 2$]\r\n[b]\r\n"sv, {}, 3, "[a]k=1|"},
      {"[a\r\nb]\r\n=x\r\n"sv, {}, 2, "[a\r\nb]"},
      {"[a]\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n[b]\r\nx\r\n"sv, {}, 12, "[a][b]"},
  };
  for (const auto& c : cases) {
    for (const Placement& p : Placements(c.input, GetParam())) {
      SCOPED_TRACE(testing::PrintToString(std::string(c.input)) + " " + p.where);
      DocumentModel fresh;
      EXPECT_EQ(LoadBytes(fresh, dir / "grammar.qds", p.bytes, c.flags),
                c.errorLine == 0 ? LoadStatus::Ok : LoadStatus::SyntaxError);
      if (c.errorLine != 0) {
        EXPECT_EQ(fresh.errorLine, c.errorLine + p.lines);
      }
      EXPECT_EQ(Dump(fresh), p.dumped + c.expected);
    }
  }
}

// Runs of every length from 0 to 40 put each character that ends a run
// (CR, "=", "]", "[", U+0000) at every place of a step of the loader's
// scan; the ignored U+001A stays in the text it falls in.
TEST_P(LoaderTest, RunsOfEveryLengthEndWhereTheirTerminatorIs) {
  std::string text = "[$version 3, codepage 1200$]\r\n";
  std::string expected;
  for (int n = 0; n <= 40; ++n) {
    std::string run(n, 'a' + n % 26);
    text += "[" + run + "s]trailing " + run + "\r\n; " + run + "\r\nk" + run + "=" + run + "=\x1A" +
            run + "\r\n";
    expected += "[" + run + "s]{; " + run + "\r\n}k" + run + "=" + run + "=\x1A" + run + "|";
  }
  DocumentModel document;
  ASSERT_EQ(LoadBytes(document, dir / "runs.qds", FileBytes(text, GetParam()), KeepComments),
            LoadStatus::Ok);
  EXPECT_EQ(Dump(document, true), expected);
}

// The searches of several characters at a time against the plain loop:
// every length up to 20, each stop character at every place and found from
// every start before it, among characters that share a byte with a stop
// character or set its lane's high bit.
TEST(StopSearchTest, EverySearchFindsTheFirstStop) {
  const char16_t stops[] = {u'\r', u'=', 0};
  const char16_t nearMisses[] = {u'\x0D0D', u'\x3D00', u'\x0100', u'\x800D', u'\xFFFF', u'x'};
  for (uint32_t length = 0; length <= 20; ++length) {
    for (uint32_t stop = 0; stop <= length; ++stop) {
      std::u16string text(length, u'x');
      for (uint32_t i = 0; i < length; ++i)
        text[i] = nearMisses[(i + stop) % std::size(nearMisses)];
      if (stop < length) text[stop] = stops[stop % 3];
      for (uint32_t at = 0; at <= stop; ++at) {
        SCOPED_TRACE(testing::Message()
                     << "length " << length << ", stop " << stop << ", from " << at);
        EXPECT_EQ(FindStopEach(text.data(), at, length, u'\r', u'=', 0), stop);
        EXPECT_EQ(FindStopPortable(text.data(), at, length, u'\r', u'=', 0), stop);
        EXPECT_EQ(FindStop(text.data(), at, length, u'\r', u'=', 0), stop);
      }
    }
  }
}

// Entry lines of a section of very many keys join them some lines after
// they are read, those of a smaller section at once. Reopened sections that
// fill up past the window's threshold or open with a few keys, keys respelled in other cases or
// repeated line after line, bare keys, and either a clean end or a failing
// last line, must load as a plain model that joins each line at once says,
// and so when the document is to be read in order only, which keeps no
// section's index, and into a document that holds the same text already.
TEST_P(LoaderTest, LinesJoinTheKeyThatTheFirstSpellingNamed) {
  struct Key {
    std::string name;
    std::string values;
  };
  auto folded = [](std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
  };
  const char* spellings[] = {"key%u", "KEY%u", "Key%u"};
  uint32_t filled = 0;  // keys that open the section being read
  for (bool failing : {false, true}) {
    std::mt19937 random(7);
    std::string text;
    std::string expected;
    std::vector<Key> keys;  // of the section being read
    std::map<std::string, size_t> byName;
    uint32_t lines = 0;
    std::string key = "k";
    auto entry = [&](const std::string& value) {
      text += value == "\n" ? key + "\r\n" : key + "=" + value + "\r\n";
      ++lines;
      auto [at, added] = byName.try_emplace(folded(key), keys.size());
      if (added) keys.push_back(Key{key, ""});
      keys[at->second].values += keys[at->second].name + "=" + value + "|";
    };
    auto endSection = [&] {
      for (const Key& k : keys) expected += k.values;
      keys.clear();
      byName.clear();
    };
    for (uint32_t randomLines = 0; randomLines < 800; ++randomLines) {
      uint32_t roll = random() % 300;
      if (roll == 0 || lines == 0) {
        endSection();
        std::string name = random() % 2 ? "S" : "s";
        text += "[" + name + "]\r\n";
        ++lines;
        expected += "[" + name + "]";
        filled = random() % 2 ? EntryWindow::kWideSection + 100 : 3;
        for (uint32_t i = 0; i < filled; ++i) {
          key = "Key" + std::to_string(i);
          entry("v");
        }
        continue;
      }
      if (roll >= 90) {  // else the previous line's key again, even across a header
        char name[16];
        uint32_t number = random() % 2 ? random() % filled : filled + random() % 40;
        std::snprintf(name, sizeof name, spellings[random() % 3], number);
        key = name;
      }
      entry(roll % 10 == 3 ? "\n" : "v" + std::to_string(lines));
    }
    if (failing) text += "k=\0\r\n"sv;
    endSection();
    SCOPED_TRACE(failing ? "failing" : "clean");
    for (InputFlags input : {InputFlags::None, InputFlags::ReadInOrder}) {
      DocumentModel document;
      EXPECT_EQ(
          LoadBytes(document, dir / "window.qds", FileBytes(text, GetParam()), Lenient, input),
          failing ? LoadStatus::SyntaxError : LoadStatus::Ok);
      EXPECT_EQ(document.errorLine, failing ? lines + 1 : 0);
      EXPECT_EQ(Dump(document), expected);
      const bool inOrder = input == InputFlags::ReadInOrder;
      for (QdsSection* section = document.sections.head(); inOrder && section != nullptr;
           section = NodeList<QdsSection>::Next(section)) {
        EXPECT_FALSE(section->keys.indexed());
      }
      // Loaded again into the same document, the text makes sections of
      // its own, beside keys of the same names.
      if (failing) continue;
      EXPECT_EQ(
          LoadBytes(document, dir / "window.qds", FileBytes(text, GetParam()), Lenient, input),
          LoadStatus::Ok);
      EXPECT_EQ(Dump(document), expected + expected);
    }
  }
}

TEST_P(LoaderTest, CommentTextIsKeptWithTheItemThatFollowsIt) {
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
    for (const Placement& p : Placements(c.input, GetParam())) {
      SCOPED_TRACE(testing::PrintToString(std::string(c.input)) + " " + p.where);
      DocumentModel kept;
      ASSERT_EQ(LoadBytes(kept, dir / "kept.qds", p.bytes, KeepComments | Lenient), LoadStatus::Ok);
      EXPECT_EQ(Dump(kept, true), p.dumped + c.expected);
      if (p.lines > 0) continue;
      DocumentModel dropped;
      ASSERT_EQ(LoadBytes(dropped, dir / "dropped.qds", p.bytes, Lenient), LoadStatus::Ok);
      EXPECT_EQ(Dump(dropped, true), Dump(kept));
    }
  }
}

std::string Utf16File(std::u16string_view text) { return Utf16Bytes(text, true); }

// Whole files, of either encoding, from a document whose version was 5: the
// version comes from the first header line only, and an ANSI version-3
// file must name its code page. A file mapped loads as one read. A line
// longer than the limit (here lowered to `maxLine`) fails the load at its
// line, where it ends or where the file does.
TEST(LoaderFileTest, VersionMarksAndCodePagesOfWholeFiles) {
  const std::u16string comment = u";" + std::u16string(5000, u'x') + u"\r\n";
  const struct {
    std::string bytes;
    LoadFlags flags;
    LoadStatus status;
    int32_t version;
    const char* dumped;
    uint32_t maxLine = format::kMaxLineUnits;
    uint32_t errorLine = 99;
  } cases[] = {
      {Utf16File(u""), {}, LoadStatus::Ok, 1, ""},
      {Utf16File(u"[a]\r\n"), {}, LoadStatus::Ok, 1, "[a]"},
      {Utf16File(u"[$Version 2$]\r\n"), {}, LoadStatus::Ok, 2, ""},
      {Utf16File(u"[$VERSION 1$]\r\n"), {}, LoadStatus::Ok, 1, ""},
      {Utf16File(u"[$version 3, codepage 1200$]\r\n"), {}, LoadStatus::Ok, 3, ""},
      {Utf16File(u"[$version \t+2$]\r\n"), {}, LoadStatus::Ok, 2, ""},
      {Utf16File(u"[$version 7$]\r\n"), {}, LoadStatus::Ok, -1, ""},
      {Utf16File(u"[$version 99999999999999999999$]\r\n"), {}, LoadStatus::Ok, -1, ""},
      {Utf16File(u"[$version x$]\r\n"), {}, LoadStatus::Ok, -1, ""},
      {Utf16File(u"[$versionX]\r\n"), {}, LoadStatus::Ok, 5, ""},
      {Utf16File(u"[$version2$]\r\n"), {}, LoadStatus::Ok, 5, ""},
      {Utf16File(u";c\r\n\r\n[$version 2$]\r\n"), {}, LoadStatus::Ok, 2, ""},
      {Utf16File(u";c[$version 2$]\r\n[$versionX]\r\n"), {}, LoadStatus::Ok, 5, ""},
      // Beyond the first block the line still counts as the version section.
      {Utf16File(comment + u"[$version 1$]\r\n[a]\r\n"), {}, LoadStatus::Ok, 5, "[a]"},
      {"[a]\r\n\r\n[$version 2$]\r\n", {}, LoadStatus::SyntaxError, 1, "[a]"},
      {"[$version 3$]\r\n[a]\r\n", {}, LoadStatus::SyntaxError, 3, ""},
      {"[$version 3,codepage 1252$]\r\n", {}, LoadStatus::SyntaxError, 3, ""},
      {"[$version 3, CodePage 1252$]\r\n[a]\r\n", {}, LoadStatus::Ok, 3, "[a]"},
      // The tag is all there, but the header never closes: no version section.
      {"[$version 3, codepage ", {}, LoadStatus::Ok, 1, ""},
      {"[$version 3, codepag", {}, LoadStatus::SyntaxError, 3, ""},
      {"[$version 8$]\r\n", {}, LoadStatus::Ok, -1, ""},
      // Other marks than FF FE are ANSI text; an odd last byte of UTF-16 is
      // no character.
      {"\xEF\xBB\xBF[a]\r\n", {}, LoadStatus::SyntaxError, 1, ""},
      {"\xEF\xBB\xBF[a]\r\n", Lenient, LoadStatus::Ok, 1, "[]\u00EF\u00BB\u00BF[a]=\n|"},
      {"\xFF[a]\r\n", Lenient, LoadStatus::Ok, 1, "[]\u00FF[a]=\n|"},
      {Utf16File(u"[s]\r\nk=v") + "x", {}, LoadStatus::Ok, 1, "[s]k=v|"},
      {Utf16File(u"[s]\r\nk=123456\r\n;4567"), {}, LoadStatus::Ok, 1, "[s]k=123456|", 8},
      {Utf16File(u"[s]\r\nk=1234567\r\n[t]\r\n"),
       {},
       LoadStatus::LineTooLong,
       1,
       "[s]k=1234567|",
       8,
       2},
      {Utf16File(u"[s]\r\n;123456789"), {}, LoadStatus::LineTooLong, 1, "[s]", 8, 2},
      {"[s]\r\n\r\n[t]\r\nk=1234567", {}, LoadStatus::LineTooLong, 1, "[s][t]", 8, 4},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    for (InputFlags input : {InputFlags::None, InputFlags::MapInput}) {
      const bool mapped = input == InputFlags::MapInput;
      SCOPED_TRACE(testing::PrintToString(c.bytes) + (mapped ? " mapped" : ""));
      DocumentModel fresh;
      fresh.version = 5;
      fresh.errorLine = 99;
      EXPECT_EQ(LoadBytes(fresh, dir / "v.qds", c.bytes, c.flags, input, c.maxLine), c.status);
      EXPECT_EQ(fresh.version, c.version);
      EXPECT_EQ(Dump(fresh), c.dumped);
      EXPECT_EQ(fresh.utf16, c.bytes.starts_with("\xFF\xFE") ? 1u : 0u);
      if (c.status == LoadStatus::Ok || c.status == LoadStatus::LineTooLong) {
        EXPECT_EQ(fresh.errorLine, c.errorLine);
      }
    }
  }
}

TEST(LoaderFileTest, AnsiTextIsConvertedWithTheDocumentsCodePage) {
  ScratchDir dir;
  // Unless asked for, the code page that the file declares is not used.
  static const struct {
    uint32_t codePage;
    const char* expected;
    LoadFlags flags = None;
  } cases[] = {{1252, "[s]k=\u00E9|"},
               {1251, "[s]k=\u0439|"},
               {999999, ""},  // no such page
               {1252, "[s]k=\u0439|", DeclaredCodePage}};
  for (const auto& c : cases) {
    DocumentModel fresh;
    fresh.codePage = c.codePage;
    EXPECT_EQ(LoadBytes(fresh, dir / "cp.qds", "[$version 3, codepage 1251$]\r\n[s]\r\nk=\xE9\r\n",
                        c.flags),
              LoadStatus::Ok);
    EXPECT_EQ(Dump(fresh), c.expected) << c.codePage;
  }
}

// The name is kept whatever the failure, and nothing is parsed. POSIX
// refuses a name as too long where Windows finds no such file; a folder
// opens for reading on POSIX, and then every read fails, where Windows
// opens no folder as a file.
TEST(LoaderFileTest, OpenFailuresAreReportedWithTheNameKept) {
  ScratchDir dir;
  static const struct {
    std::string name;
    LoadStatus status;
    int32_t version;  // 3: nothing was read
  } cases[] = {
      {"missing.qds", LoadStatus::NotFound, 3},
      {"nope/file.qds", LoadStatus::NotFound, 3},
      {std::string(300, 'n'), kWindows ? LoadStatus::NotFound : LoadStatus::OpenFailed, 3},
      {"", kWindows ? LoadStatus::AccessDenied : LoadStatus::ReadFailed, kWindows ? 3 : 1},
  };
  for (const auto& c : cases) {
    DocumentModel doc;
    std::u16string path = WidePath(c.name.empty() ? dir.path() : dir / c.name);
    EXPECT_EQ(LoadDocument(&doc, path.c_str(), Digest), c.status) << c.name;
    EXPECT_EQ(doc.fileName, path);
    EXPECT_EQ(doc.version, c.version) << c.name;
  }
}

// ---- Digest -------------------------------------------------------------------

// A signed file whose end marker's "]" ends at character `markerEnd` (the
// mark counted), with `tail` after the check line.
std::string SignedBody(Encoding encoding, size_t markerEnd) {
  const std::string head = "[$version 2$]\r\n[s]\r\nk=";
  const std::string end = "\r\n[$end$]";
  size_t fill = markerEnd - MarkLength(encoding) - head.size() - end.size();
  return FileBytes(head + std::string(fill, 'v') + end, encoding);
}

// The check leaves out the bytes after the marker wherever the blocks cut them; ANSI ones count
// in the code page (Shift JIS: two bytes a character, the file's last among them, kept clear of
// cuts that systems differ on).
TEST_P(LoaderTest, EndMarkerIsCheckedWhereverTheBlocksCutIt) {
  const bool ansi = GetParam() == Encoding::Ansi;
  const std::string tail =
      ansi ? std::string(100, 't') + "\x82\xA0 text\r\n=\x82\xA2" : "tail text\r\n=";
  for (uint32_t boundary : Boundaries(GetParam(), /*digest=*/true)) {
    for (size_t markerEnd = boundary - 40; markerEnd <= boundary + 40; ++markerEnd) {
      WriteSigned(dir / "signed.qds", SignedBody(GetParam(), markerEnd), GetParam(), tail);
      DocumentModel doc;
      doc.codePage = ansi ? 932 : doc.codePage;
      EXPECT_EQ(LoadDocument(&doc, WidePath(dir / "signed.qds").c_str(), Digest), LoadStatus::Ok)
          << "marker ends at character " << markerEnd;
      EXPECT_EQ(doc.sections.count(), 1u);
    }
  }
}

TEST(LoaderDigestTest, AnyChangeOrMissingPieceFailsTheCheck) {
  ScratchDir dir;
  const std::string body = FileBytes("[$version 2$]\r\n[s]\r\nk=value\r\n[$end$]", Encoding::Utf16);
  const std::u16string digits = WriteSigned(dir / "good.qds", body, Encoding::Utf16);
  const std::string good = ReadBytes(dir / "good.qds");
  const size_t digitsAt = body.size() + 4;
  std::u16string lower = digits;
  for (char16_t& c : lower) c = static_cast<char16_t>(c >= u'A' && c <= u'F' ? c + 32 : c);
  ASSERT_NE(lower, digits) << "the digest happens to have no letter";
  auto changed = [&](size_t at, char byte) {
    std::string bytes = good;
    bytes[at] = byte;
    return bytes;
  };
  const char firstDigit = good[digitsAt];

  const struct {
    const char* name;
    std::string bytes;
    LoadStatus status;
    Reason reason;
  } cases[] = {
      {"intact", good, LoadStatus::Ok, Reason::None},
      {"text after the check line", good + Utf16Bytes(u"[x]=\0"sv), LoadStatus::Ok, Reason::None},
      {"changed value", changed(body.size() - 20, 'w'), LoadStatus::DigestMismatch,
       Reason::DigestDiffers},
      {"changed zero byte", changed(body.size() - 21, '\x01'), LoadStatus::DigestMismatch,
       Reason::DigestDiffers},
      {"changed digit", changed(digitsAt, firstDigit == '0' ? '1' : '0'),
       LoadStatus::DigestMismatch, Reason::DigestDiffers},
      {"lowercase digits", body + Utf16Bytes(u"\r\n" + lower + u"\r\n"), LoadStatus::DigestMismatch,
       Reason::NoCheckLine},
      {"no check line", body, LoadStatus::DigestMismatch, Reason::NoCheckLine},
      {"check line cut short", good.substr(0, good.size() - 2), LoadStatus::DigestMismatch,
       Reason::NoCheckLine},
      {"no end marker", FileBytes("[$version 2$]\r\n[s]\r\nk=value\r\n", Encoding::Utf16),
       LoadStatus::DigestMismatch, Reason::NoEndMarker},
      {"syntax error before the marker",
       FileBytes("[$version 2$]\r\n[s]\r\n=value\r\n[$end$]", Encoding::Utf16),
       LoadStatus::SyntaxError, Reason::LineStartsWithEquals},
  };
  for (const auto& c : cases) {
    DocumentModel doc;
    LoadOutcome outcome;
    WriteBytes(dir / "check.qds", c.bytes);
    EXPECT_EQ(
        LoadDocument(&doc, WidePath(dir / "check.qds").c_str(), Digest, InputFlags::None, &outcome),
        c.status)
        << c.name;
    EXPECT_EQ(outcome.reason, c.reason) << c.name;
  }
}

}  // namespace
}  // namespace qds::test
