#include "common/utf8.h"

#include <gtest/gtest.h>

namespace qds {
namespace {

TEST(Utf8Test, DecodesValidText) {
  EXPECT_EQ(DecodeUtf8("pkg.qds"), u"pkg.qds");
  EXPECT_EQ(DecodeUtf8("\xC3\xA4"), u"\u00E4");
  EXPECT_EQ(DecodeUtf8("\xE2\x82\xAC"), u"\u20AC");
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(Utf8Test, InvalidBytesBecomeEscapesAndComeBack) {
  const std::string cases[] = {
      "\xFF",                // never valid
      "a\x80z",              // lone continuation
      "\xC3",                // cut sequence
      "\xC0\xAF",            // overlong
      "\xED\xA0\x80",        // encoded surrogate
      "\xF4\x90\x80\x80",    // above U+10FFFF
      "ok\xE2\x82",          // cut at the end
  };
  for (const std::string& bytes : cases) {
    std::u16string text = DecodeUtf8(bytes);
    for (char16_t unit : text) {
      if (unit >= 0x80) {
        EXPECT_TRUE(unit >= 0xDC80 && unit <= 0xDCFF);
      }
    }
    EXPECT_EQ(EncodeUtf8(text), bytes);
  }
  EXPECT_EQ(DecodeUtf8("\xFF"), u"\xDCFF");
}

TEST(Utf8Test, EveryByteStringOfTwoBytesRoundTrips) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(EncodeUtf8(DecodeUtf8(bytes)), bytes) << a << "," << b;
    }
  }
}

}  // namespace
}  // namespace qds
