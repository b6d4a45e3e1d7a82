#include "common/text.h"

#include <gtest/gtest.h>

namespace qds {
namespace {

TEST(TextTest, WhiteSpaceIsTheFixedSet) {
  const char16_t members[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680,
                              0x2000, 0x2005, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  for (char16_t c : members) EXPECT_TRUE(IsWhiteSpace(c)) << std::hex << int(c);
  const char16_t others[] = {0x00, 0x08, 0x0E, 0x1A, 0x1F, 0x21, 0x84, 0x86, 0x9F,
                             0xA1, 0x200B, 0x2027, 0x202A, 0x205E, 0xFEFF, 0xFFFF};
  for (char16_t c : others) EXPECT_FALSE(IsWhiteSpace(c)) << std::hex << int(c);
}

TEST(TextTest, NameComparisonFoldsOnlyAsciiLetters) {
  const struct {
    std::u16string_view a, b;
    bool equal;
  } cases[] = {
      {u"Section", u"sECTION", true},
      {u"A-Z", u"a-z", true},
      {u"\u00C4", u"\u00E4", false},  // Ä and ä stay apart
      {u"[", u"{", false},            // 0x5B is not folded onto 0x7B
      {u"@", u"`", false},
      {u"abc", u"abcd", false},
      {u"", u"", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualsIgnoreAsciiCase(c.a, c.b), c.equal)
        << std::string(c.a.begin(), c.a.end()) << " vs " << std::string(c.b.begin(), c.b.end());
  }
}

TEST(TextTest, ComparisonOrdersFoldedUnits) {
  EXPECT_LT(CompareIgnoreAsciiCase(u"Apple", u"banana"), 0);
  EXPECT_GT(CompareIgnoreAsciiCase(u"b", u"A"), 0);
  EXPECT_LT(CompareIgnoreAsciiCase(u"ab", u"ABC"), 0);
  // Folding maps Z onto z, which sorts after the underscore.
  EXPECT_GT(CompareIgnoreAsciiCase(u"Z", u"_"), 0);
}

}  // namespace
}  // namespace qds
