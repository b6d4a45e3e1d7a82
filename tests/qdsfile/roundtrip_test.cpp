// Load then save with comments kept: what comes back, byte for byte.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/utf8.h"
#include "qdsfile/load_helpers.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

TEST(RoundTripTest, KeptCommentsComeBackByteForByte) {
  static const struct {
    std::u16string_view input;
    std::u16string_view expected;  // empty: the input itself
  } cases[] = {
      // A version-2 or -3 file in written form comes back unchanged.
      {u"; leading\r\n\r\n[$version 3, codepage 1200$]\r\n; about a\r\n[a]\r\n  k=v\r\n\r\n"
       u"\t; note\r\n\tk2=w x\r\n\r\n[b]\r\nbare\r\n;end\r\n\r\n",
       u""},
      {u"[$version 2$]\r\n[a]\r\nk=\r\n\r\n[b]\r\n", u""},
      {u"[$version 2$]\r\n[a]\r\nk=v\r\n;no line end", u""},
      {u"[$version 2$]\r\n\x1A[a\x1A]\r\nk\x1A=v\x1A\r\n",
       u"[$version 2$]\r\n[a\x1A]\r\nk\x1A=v\x1A\r\n"},
      // A version-1 file, or one without a version section, gains a blank line.
      {u"[$version 1$]\r\n[a]\r\nk=v\r\n", u"[$version 1$]\r\n\r\n[a]\r\nk=v\r\n"},
      {u"[a]\r\nk=v\r\n", u"[$version 1$]\r\n\r\n[a]\r\nk=v\r\n"},
      {u"", u"[$version 1$]\r\n\r\n"},
      {u"[$version 9$]\r\n", u"[$version -1$]\r\n"},
      // Entry and header lines are rewritten in their written form.
      {u"[$version 2$]\r\n[a] junk\r\n  k  =  v  \r\nlast=v",
       u"[$version 2$]\r\n[a]\r\n  k=v\r\nlast=v\r\n"},
      // Values of one key are written together, each with its own comment.
      {u"[$version 2$]\r\n[a]\r\n;1\r\nk=1\r\nj=2\r\n;3\r\nK=3\r\n",
       u"[$version 2$]\r\n[a]\r\n;1\r\nk=1\r\n;3\r\nk=3\r\nj=2\r\n"},
      // A second version section goes with its comment; the end marker ends the text.
      {u"[$version 2$]\r\n;x\r\n[$version 3$]\r\n[a]\r\n;t\r\n[$end$]\r\nXYZ",
       u"[$version 2$]\r\n[a]\r\n;t\r\n"},
      // An empty-named section has no header line: its entries join the section before it.
      {u"[$version 2$]\r\n[a]\r\nk=1\r\n[]\r\nj=2\r\n",
       u"[$version 2$]\r\n[a]\r\nk=1\r\n\r\nj=2\r\n"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    std::u16string expected(c.expected.empty() ? c.input : c.expected);
    EXPECT_EQ(RoundTrip(dir.path(), Utf16Bytes(c.input, true), KeepComments | Lenient),
              Utf16Bytes(expected, true))
        << EncodeUtf8(c.input);
  }
}

TEST(RoundTripTest, AnsiFileIsWrittenAsUtf16) {
  ScratchDir dir;
  EXPECT_EQ(RoundTrip(dir.path(), "[$version 2$]\r\n[a]\r\nk=\xE9\r\n", KeepComments),
            Utf16Bytes(u"[$version 2$]\r\n[a]\r\nk=\u00E9\r\n", true));
}

}  // namespace
}  // namespace qds::test
