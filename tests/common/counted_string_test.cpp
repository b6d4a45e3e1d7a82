// CountedString: copies that share until changed, the buffer handed out,
// and text taken from the string itself.

#include "common/counted_string.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qds {
namespace {

TEST(CountedStringTest, EveryChangeOfACopyLeavesTheOriginal) {
  const struct {
    const char* name;
    void (*change)(CountedString*);
    std::u16string_view expected;
  } cases[] = {
      {"Assign", [](CountedString* s) { s->Assign(u"other"); }, u"other"},
      {"Append", [](CountedString* s) { s->Append(u'z'); }, u"abcdz"},
      {"Clear", [](CountedString* s) { s->Clear(); }, u""},
      {"MoveAssign", [](CountedString* s) { *s = CountedString(u"moved"); }, u"moved"},
      {"GetBuffer", [](CountedString* s) {
         s->GetBuffer(10)[0] = u'X';
         s->ReleaseBuffer();
       }, u"Xbcd"},
  };
  for (const auto& c : cases) {
    // The shared buffer has room to spare: a change written into it would fit.
    CountedString original;
    std::copy_n(u"abcd", 5, original.GetBuffer(16));
    original.ReleaseBuffer();
    CountedString copy(original);
    c.change(&copy);
    EXPECT_EQ(original, u"abcd") << c.name;
    EXPECT_EQ(copy, c.expected) << c.name;
  }
}

// The buffer's text ends at its first zero, or at its capacity; a copy made
// while the buffer is out does not share it; text taken from the string
// itself, and embedded zeros, are kept.
TEST(CountedStringTest, BufferAndOwnTextGiveWhatWasWritten) {
  CountedString zeroEnded;
  const std::u16string_view written(u"hello\0junk", 10);
  std::copy(written.begin(), written.end(), zeroEnded.GetBuffer(16));
  zeroEnded.ReleaseBuffer();
  EXPECT_EQ(zeroEnded, u"hello");
  EXPECT_EQ(zeroEnded.Length(), 5u);

  CountedString full;
  std::fill_n(full.GetBuffer(4), 4, u'a');
  full.ReleaseBuffer();
  EXPECT_EQ(full, u"aaaa");

  CountedString text(u"abc");
  char16_t* buffer = text.GetBuffer(3);
  CountedString copy(text);
  buffer[0] = u'z';
  text.ReleaseBuffer();
  EXPECT_EQ(copy, u"abc");
  EXPECT_EQ(text, u"zbc");

  CountedString doubled(u"ab");
  for (int i = 0; i < 5; ++i) doubled.Append(doubled.View());
  std::u16string expected;
  for (int i = 0; i < 32; ++i) expected += u"ab";
  EXPECT_EQ(doubled.View(), expected);
  CountedString cut(u"abcdef");
  cut.Assign(cut.View().substr(2, 3));
  EXPECT_EQ(cut, u"cde");
  EXPECT_EQ(CountedString(u"a\0b", 3).View(), std::u16string_view(u"a\0b", 3));
}

}  // namespace
}  // namespace qds
