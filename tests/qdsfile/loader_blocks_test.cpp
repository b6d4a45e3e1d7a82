// Loading across block boundaries, and the digest check at the end marker.

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

#include "qdsfile/load_helpers.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

using namespace std::string_view_literals;

// Block boundaries in characters from the start of the file: the first block
// is 4096 bytes, then UTF-16 comes in 8192-byte blocks (in 4096-byte blocks
// while a digest is checked) and ANSI in 4096-byte blocks.
constexpr uint32_t kUtf16Boundaries[] = {2048, 6144};
constexpr uint32_t kUtf16DigestBoundaries[] = {2048, 4096};
constexpr uint32_t kAnsiBoundaries[] = {4096, 8192};

std::span<const uint32_t> Boundaries(Encoding encoding, bool digest) {
  if (encoding == Encoding::Ansi) return kAnsiBoundaries;
  return digest ? std::span<const uint32_t>(kUtf16DigestBoundaries) : kUtf16Boundaries;
}

// Characters before the text of the file: the byte-order mark of UTF-16.
size_t MarkLength(Encoding encoding) { return encoding == Encoding::Utf16 ? 1 : 0; }

class LoaderBlocksTest : public ::testing::TestWithParam<Encoding> {
 protected:
  ScratchDir dir;
};

INSTANTIATE_TEST_SUITE_P(Encodings, LoaderBlocksTest,
                         ::testing::Values(Encoding::Utf16, Encoding::Ansi),
                         [](const auto& info) { return EncodingName(info.param); });

// Each text is loaded behind a filler section long enough to put every one
// of its characters, in turn, at a block boundary; the result must be the
// filler followed by what the text gives on its own.
TEST_P(LoaderBlocksTest, TokensCutByBlockBoundariesAreReadWhole) {
  static const struct {
    std::string_view text;
    uint32_t flags;
  } cases[] = {
      {";comment line\r\n\r\n[section name]\r\n  key name  =  value text  \r\n"
       "key name=again\r\n;trailing comment\r\n"sv,
       KeepComments},
      {"[s]\r\nlast=value without line end"sv, 0},
      {"[s]\r\n;c\r\n  bare key\r\n"sv, Lenient | KeepComments},
  };
  const std::string fillerHead = "[f]\r\nfill=";
  for (const auto& c : cases) {
    DocumentModel alone;
    ASSERT_EQ(LoadBytes(alone, dir / "alone.qds", FileBytes(c.text, GetParam()), c.flags),
              LoadStatus::Ok);
    const std::string expected = Dump(alone, true);
    for (uint32_t boundary : Boundaries(GetParam(), false)) {
      for (size_t before = 0; before <= c.text.size(); ++before) {
        size_t fill = boundary - before - MarkLength(GetParam()) - fillerHead.size() - 2;
        std::string filler = fillerHead + std::string(fill, 'x') + "\r\n";
        DocumentModel doc;
        ASSERT_EQ(LoadBytes(doc, dir / "cut.qds",
                            FileBytes(filler + std::string(c.text), GetParam()), c.flags),
                  LoadStatus::Ok)
            << "boundary " << boundary << ", cut after " << before << " of " << c.text;
        EXPECT_EQ(Dump(doc, true), "[f]fill=" + std::string(fill, 'x') + "|" + expected)
            << "boundary " << boundary << ", cut after " << before << " of " << c.text;
      }
    }
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

TEST_P(LoaderBlocksTest, EndMarkerIsCheckedWhereverTheBlocksCutIt) {
  for (uint32_t boundary : Boundaries(GetParam(), true)) {
    for (size_t markerEnd = boundary - 40; markerEnd <= boundary + 40; ++markerEnd) {
      WriteSigned(dir / "signed.qds", SignedBody(GetParam(), markerEnd), GetParam(),
                  "tail text after the check line\r\n=");
      DocumentModel doc;
      EXPECT_EQ(LoadDocument(&doc, WidePath(dir / "signed.qds").c_str(), Digest), LoadStatus::Ok)
          << "marker ends at character " << markerEnd;
      EXPECT_EQ(doc.sections.count(), 1u);
    }
  }
}

TEST(LoaderDigestTest, AnsiBytesAfterTheMarkerAreCountedInTheCodePage) {
  ScratchDir dir;
  // Shift JIS: two bytes for each of these characters, one for the rest.
  const std::string tail = "\x82\xA0\x82\xA2 and \x82\xA4\r\n";
  for (size_t markerEnd : {100u, 4000u, 4090u}) {
    WriteSigned(dir / "sjis.qds", SignedBody(Encoding::Ansi, markerEnd), Encoding::Ansi, tail);
    DocumentModel doc;
    doc.codePage = 932;
    EXPECT_EQ(LoadDocument(&doc, WidePath(dir / "sjis.qds").c_str(), Digest), LoadStatus::Ok)
        << markerEnd;
  }
}

TEST(LoaderDigestTest, FileSavedWithDigestLoadsWithItsContent) {
  ScratchDir dir;
  DocumentModel original;
  ASSERT_EQ(LoadBytes(original, dir / "in.qds",
                      Utf16Bytes(u";c\r\n[$version 2$]\r\n[a]\r\nk=1\r\n ;d\r\n k=2\r\n", true),
                      KeepComments),
            LoadStatus::Ok);
  std::u16string out = WidePath(dir / "out.qds");
  ASSERT_EQ(SaveDocument(&original, out.c_str(), KeepComments | Digest), SaveStatus::Ok);
  DocumentModel reloaded;
  EXPECT_EQ(LoadDocument(&reloaded, out.c_str(), KeepComments | Digest), LoadStatus::Ok);
  EXPECT_EQ(Dump(reloaded, true), Dump(original, true) + "<trail{\r\n}>");
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
  } cases[] = {
      {"intact", good, LoadStatus::Ok},
      {"text after the check line", good + Utf16Bytes(u"[x]=\0"sv), LoadStatus::Ok},
      {"changed value", changed(body.size() - 20, 'w'), LoadStatus::DigestMismatch},
      {"changed zero byte", changed(body.size() - 21, '\x01'), LoadStatus::DigestMismatch},
      {"changed digit", changed(digitsAt, firstDigit == '0' ? '1' : '0'),
       LoadStatus::DigestMismatch},
      {"lowercase digits", body + Utf16Bytes(u"\r\n" + lower + u"\r\n"),
       LoadStatus::DigestMismatch},
      {"no check line", body, LoadStatus::DigestMismatch},
      {"check line cut short", good.substr(0, good.size() - 2), LoadStatus::DigestMismatch},
      {"no end marker", FileBytes("[$version 2$]\r\n[s]\r\nk=value\r\n", Encoding::Utf16),
       LoadStatus::DigestMismatch},
      {"syntax error before the marker",
       FileBytes("[$version 2$]\r\n[s]\r\n=value\r\n[$end$]", Encoding::Utf16),
       LoadStatus::SyntaxError},
  };
  for (const auto& c : cases) {
    DocumentModel doc;
    EXPECT_EQ(LoadBytes(doc, dir / "check.qds", c.bytes, Digest), c.status) << c.name;
  }
}

}  // namespace
}  // namespace qds::test
