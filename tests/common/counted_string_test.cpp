#include "common/counted_string.h"

#include <gtest/gtest.h>

namespace qds {
namespace {

// Every empty string shares one static representation, which releasing
// must leave alone.
TEST(CountedStringTest, EmptyRepresentationSurvivesEveryRelease) {
  for (int i = 0; i < 3; ++i) {
    CountedString text(u"x");
    text.Clear();
    CountedString moved(std::move(text));
    CountedString copy(moved);
  }
  CountedString again;
  EXPECT_TRUE(again.Empty());
  EXPECT_EQ(again.Data()[0], u'\0');
}

TEST(CountedStringTest, EveryChangeOfACopyLeavesTheOriginal) {
  const struct {
    const char* name;
    void (*change)(CountedString*);
    std::u16string_view expected;
  } cases[] = {
      {"Assign", [](CountedString* s) { s->Assign(u"other"); }, u"other"},
      {"Append", [](CountedString* s) { s->Append(u'z'); }, u"abcdz"},
      {"Clear", [](CountedString* s) { s->Clear(); }, u""},
      {"GetBuffer", [](CountedString* s) {
         s->GetBuffer(10)[0] = u'X';
         s->ReleaseBuffer();
       }, u"Xbcd"},
  };
  for (const auto& c : cases) {
    CountedString original(u"abcd");
    CountedString copy(original);
    c.change(&copy);
    EXPECT_EQ(original, u"abcd") << c.name;
    EXPECT_EQ(copy, c.expected) << c.name;
  }
}

TEST(CountedStringTest, BufferTakesItsLengthFromTheTerminatingZero) {
  CountedString text;
  char16_t* buffer = text.GetBuffer(8);
  std::u16string_view written = u"hello";
  std::copy(written.begin(), written.end(), buffer);
  buffer[written.size()] = 0;
  text.ReleaseBuffer();
  EXPECT_EQ(text, u"hello");
  EXPECT_EQ(text.Length(), 5u);
}

TEST(CountedStringTest, BufferWithoutZeroStopsAtItsCapacity) {
  CountedString text;
  char16_t* buffer = text.GetBuffer(4);
  std::fill_n(buffer, 4, u'a');
  text.ReleaseBuffer();
  EXPECT_EQ(text, u"aaaa");
}

TEST(CountedStringTest, StringWhoseBufferIsOutIsCopiedNotShared) {
  CountedString text(u"abc");
  char16_t* buffer = text.GetBuffer(3);
  CountedString copy(text);
  buffer[0] = u'z';
  text.ReleaseBuffer();
  EXPECT_EQ(copy, u"abc");
  EXPECT_EQ(text, u"zbc");
}

TEST(CountedStringTest, AppendingItsOwnTextWorks) {
  CountedString text(u"ab");
  for (int i = 0; i < 5; ++i) text.Append(text.View());
  EXPECT_EQ(text.Length(), 64u);
  EXPECT_EQ(text.View().substr(0, 4), u"abab");
}

TEST(CountedStringTest, AssigningASubstringOfItselfWorks) {
  CountedString text(u"abcdef");
  text.Assign(text.View().substr(2, 3));
  EXPECT_EQ(text, u"cde");
}

TEST(CountedStringTest, HoldsEmbeddedZeroUnitsByCount) {
  CountedString text(u"a\0b", 3);
  EXPECT_EQ(text.Length(), 3u);
  EXPECT_EQ(text[2], u'b');
}

}  // namespace
}  // namespace qds
