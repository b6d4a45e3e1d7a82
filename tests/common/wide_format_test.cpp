#include "common/wide_format.h"

#include <gtest/gtest.h>

#include <string>

namespace qds {
namespace {

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
}

TEST(WideFormatTest, MissingArgumentsPrintNothing) {
  EXPECT_EQ(Format(u"[%d|%s]", {}), u"[|]");
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
