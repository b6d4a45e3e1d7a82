// The text helpers: white space, name comparison, UTF-8 and the wide
// formatter.

#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

#include "common/utf8.h"
#include "common/wide_format.h"

namespace qds {
namespace {

TEST(TextTest, WhiteSpaceIsTheFixedSet) {
  const char16_t members[] = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,   0xA0,  0x1680,
                              0x2000, 0x2005, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  for (char16_t c : members) EXPECT_TRUE(IsWhiteSpace(c)) << std::hex << int(c);
  const char16_t others[] = {0x00, 0x08, 0x0E,   0x1A,   0x1F,   0x21,   0x84,   0x86,
                             0x9F, 0xA1, 0x200B, 0x2027, 0x202A, 0x205E, 0xFEFF, 0xFFFF};
  for (char16_t c : others) EXPECT_FALSE(IsWhiteSpace(c)) << std::hex << int(c);
}

TEST(TextTest, NameComparisonFoldsOnlyAsciiLetters) {
  const struct {
    std::u16string_view a, b;
    int order;
  } cases[] = {
      {u"Section", u"sECTION", 0},
      {u"A-Z", u"a-z", 0},
      {u"", u"", 0},
      {u"\u00C4", u"\u00E4", -1},  // Ä and ä stay apart
      {u"[", u"{", -1},            // 0x5B is not folded onto 0x7B
      {u"@", u"`", -1},
      {u"abc", u"abcd", -1},
      {u"Apple", u"banana", -1},
      {u"b", u"A", 1},
      {u"Z", u"_", 1},  // folding maps Z onto z, which sorts after the underscore
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a.begin(), c.a.end()) + " vs " +
                 std::string(c.b.begin(), c.b.end()));
    EXPECT_EQ(EqualsIgnoreAsciiCase(c.a, c.b), c.order == 0);
    int order = CompareIgnoreAsciiCase(c.a, c.b);
    EXPECT_EQ((order > 0) - (order < 0), c.order);
  }
}

TEST(Utf8Test, ValidTextDecodesAndComesBack) {
  const struct {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"pkg.qds", u"pkg.qds"},
      {"\xC2\x80\xDF\xBF", u"\u0080\u07FF"},
      {"\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF", u"\u0800\u20AC\uFFFF"},
      {"\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0001F600\U0010FFFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeUtf8(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(EncodeUtf8(c.text), c.bytes) << c.bytes;
  }
}

TEST(Utf8Test, InvalidBytesBecomeEscapesAndComeBack) {
  const std::string cases[] = {
      "\xFF",              // never valid
      "a\x80z",            // lone continuation
      "\xC3",              // cut sequence
      "\xC0\xAF",          // overlong
      "\xED\xA0\x80",      // encoded surrogate
      "\xED\xBF\xBF",      // the last encoded surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "ok\xE2\x82",        // cut at the end
  };
  for (const std::string& bytes : cases) {
    std::u16string text = DecodeUtf8(bytes);
    for (char16_t unit : text) {
      EXPECT_TRUE(unit < 0x80 || (unit >= 0xDC80 && unit <= 0xDCFF)) << bytes;
    }
    EXPECT_EQ(EncodeUtf8(text), bytes);
  }
  EXPECT_EQ(DecodeUtf8("\xFF"), u"\xDCFF");
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(EncodeUtf8(DecodeUtf8(bytes)), bytes) << a << "," << b;
    }
  }
}

std::u16string Format(const char16_t* format, std::initializer_list<FormatArg> args) {
  char16_t out[128];
  size_t length = FormatWide(out, 128, format, args);
  EXPECT_LT(length, 128u);
  return std::u16string(out);
}

TEST(WideFormatTest, ConversionsOfTheSubset) {
  EXPECT_EQ(Format(u"Error %d loading file %s\n", {7, u"a.qds"}), u"Error 7 loading file a.qds\n");
  EXPECT_EQ(Format(u"%d", {int32_t{-2147483647 - 1}}), u"-2147483648");
  EXPECT_EQ(Format(u"%ld", {int32_t{-42}}), u"-42");
  EXPECT_EQ(Format(u"%u", {uint32_t{4294967295u}}), u"4294967295");
  EXPECT_EQ(Format(u"%02X%02X%02X", {uint32_t{0}, uint32_t{0xAB}, uint32_t{7}}), u"00AB07");
  EXPECT_EQ(Format(u"%c%c", {char16_t{u'\u00E4'}, char16_t{u'!'}}), u"\u00E4!");
  EXPECT_EQ(Format(u"100%%", {}), u"100%");
  EXPECT_EQ(Format(u"%s", {static_cast<const char16_t*>(nullptr)}), u"(null)");
  EXPECT_EQ(Format(u"[%d|%s]", {}), u"[|]");  // missing arguments print nothing
  // Space padding; an unknown conversion takes its argument and prints
  // nothing; a lone "%" ends the format.
  EXPECT_EQ(Format(u"%3d|%q%d|end%", {7, 1, 2}), u"  7|2|end");
}

TEST(WideFormatTest, NeverWritesPastTheCapacityAndReportsTheFullLength) {
  for (size_t capacity = 0; capacity < 12; ++capacity) {
    char16_t out[16];
    std::fill(std::begin(out), std::end(out), u'#');
    size_t length = FormatWide(out, capacity, u"abc%sxyz", {u"12345"});
    EXPECT_EQ(length, 11u);
    for (size_t i = capacity; i < 16; ++i) EXPECT_EQ(out[i], u'#') << "capacity " << capacity;
    if (capacity > 0) {
      std::u16string expected = std::u16string(u"abc12345xyz").substr(0, capacity - 1);
      EXPECT_EQ(std::u16string(out), expected) << "capacity " << capacity;
    }
  }
}

}  // namespace
}  // namespace qds
