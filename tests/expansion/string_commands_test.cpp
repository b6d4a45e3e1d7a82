// The string commands, run through ReplaceSymbols with a real symbol table.
// Rows join several calls of one rule into one text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utf8.h"
#include "expansion/builtin_commands.h"
#include "expansion/expansion.h"

namespace qds {
namespace {

using test::Expand;
using test::Expansion;
using test::Symbol;

class StringCommandsTest : public ::testing::Test {
 protected:
  Expansion Run(std::u16string_view text, uint32_t capacity = 65536, uint32_t flags = 0) {
    return Expand(table_, text, capacity, flags);
  }

  SymbolMap table_{false, 16, &kBuiltinCommands};
};

TEST_F(StringCommandsTest, ProduceTheirResults) {
  table_.Set(u"fruit", u"banana");
  static const struct {
    std::u16string_view text;
    std::u16string_view expected;
  } cases[] = {
      // chr: automatic base, low 16 bits, minus modulo 2^32, 0 gives nothing.
      {u"%!chr(65)%%!chr(0x41)%%!chr(0101)%%!CHR(' +65')%%!chr(-4294967231)%%!chr(0x10041)%"
       u"[%!chr(0)%]%!chr(0x263A)%%!chr(4294967295)%",
       u"AAAAAA[]\u263A\uFFFF"},
      {u"%!length()% %!length(%fruit%)% %!length(' a ')%", u"0 6 3"},
      // index and rindex: the n-th occurrence from either end, overlapping,
      // letter case counting; partial matches that a restart would skip.
      {u"%!index(banana,an)% %!index(%fruit%,an,2)% %!index(banana,an,3)% %!index(banana,an,0)% "
       u"%!index(banana,an,-1)% %!index(Banana,b)% %!index(ab,abc)%",
       u"2 4 0 0 0 0 0"},
      {u"%!rindex(banana,an)% %!rindex(banana,an,2)% %!rindex(banana,an,3)% %!rindex(banana,an,0)%",
       u"4 2 0 0"},
      {u"%!index(aaa,aa,2)% %!rindex(aaaa,aa)% %!rindex(aaaa,aa,3)% %!index(abababc,ababc)% "
       u"%!index(aabaabaaab,aaab)%",
       u"2 3 1 3 7"},
      // The occurrence reads decimal digits up to the first other character,
      // whatever its length, and never wraps around.
      {u"%!index(banana,a,'  +2')% %!index(banana,a,2x)% %!index(banana,a,x)% "
       u"%!index(banana,a,0x2)% %!index(banana,a,000000000000000000000000000003)% "
       u"%!index(banana,a,4294967297)% %!rindex(banana,a,99999999999999999999)%",
       u"4 4 0 0 6 0 0"},
      // The empty find occurs at every position of a non-empty text.
      {u"%!index(abc,)% %!index(abc,,3)% %!index(abc,,4)% %!index(,,1)% %!rindex(abc,)% "
       u"%!rindex(abc,,3)% %!rindex(abc,,4)%",
       u"1 3 0 0 3 1 0"},
      // substr: both ends included, cut at the text's ends, no overflow.
      {u"%!substr(abcdef,2,4)%|%!substr(abcdef,3)%|%!substr(abcdef,0,2)%|%!substr(abcdef,-1,2)%|"
       u"%!substr(abcdef,5,2)%|%!substr(abcdef,6)%|%!substr(abcdef,9)%|%!substr(abcdef,0x2,010)%|"
       u"%!substr(abcdef,1,2147483647)%|%!substr(abcdef,-2147483648,-2147483648)%",
       u"bcd|cdef|abc|abcd||f||bcdef|abcdef|a"},
      // sub: every occurrence, not overlapping, the replacement not searched.
      {u"%!sub(aaa,aa,b)% %!sub(aaaa,aa,b)% %!sub(a.b.c,.,--)% %!sub(aaa,a,aa)% "
       u"%!sub(abab,ab,%fruit%)% %!sub(abc,b,)% %!sub(abc,,x)% %!sub(abc,abcd,x)%",
       u"ba bb a--b--c aaaaaa bananabanana ac abc abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.text));
    Expansion result = Run(c.text);
    ASSERT_EQ(result.status, ReplaceStatus::Ok);
    EXPECT_EQ(result.output, c.expected);
  }
}

TEST_F(StringCommandsTest, FailWithTheirStatusAtTheCommand) {
  static const struct {
    ReplaceStatus status;
    std::vector<std::u16string_view> texts;
  } cases[] = {
      {ReplaceStatus::BadArgument,
       {u"x%!chr()%", u"x%!chr(12a)%", u"x%!chr(' 65 ')%", u"x%!chr(08)%", u"x%!chr(0x)%",
        u"x%!chr(-)%", u"x%!chr(4294967296)%", u"x%!substr(abc,)%", u"x%!substr(abc,1.5)%",
        u"x%!substr(abc,1,2147483648)%", u"x%!sub(a,%!chr(z)%,b)%"}},
  };
  for (const auto& c : cases) {
    for (std::u16string_view text : c.texts) {
      SCOPED_TRACE(EncodeUtf8(text));
      Expansion result = Run(text);
      EXPECT_EQ(result.status, c.status);
      EXPECT_EQ(result.errorPos, 3u);
    }
  }
}

TEST_F(StringCommandsTest, ExpandArgumentsInOrderWithTheCallersFlags) {
  EXPECT_EQ(Run(u"%!index(%!set(v,an)%banana,%v%,%!set(v,9)%2)%").output, u"4");
  EXPECT_EQ(Symbol(table_, u"v"), u"9");
  EXPECT_EQ(Run(u"%!sub(%!set(a,1)%x,%!chr(x)%,%!set(b,1)%y)%").status, ReplaceStatus::BadArgument);
  EXPECT_EQ(Symbol(table_, u"a"), u"1");
  EXPECT_EQ(Symbol(table_, u"b"), u"<absent>");

  // "a = a" holds as an expression, not as a legacy condition ("a " < " a").
  table_.Set(u"s1", u"x");
  table_.Set(u"s2", u"x,y");
  std::u16string_view text =
      u"%!chr(%!if('a = a',65,66)%)% %!length(%!if('a = a',a,bb)%)% "
      u"%!index(%!if('a = a',ab,ba)%,a)% %!rindex(aab,%!if('a = a',a,b)%)% "
      u"%!substr(abc,%!if('a = a',1,2)%,2)% %!sub(abc,b,%!if('a = a',x,y)%)% "
      u"%!split(%!if('a = a',s1,s2)%,p)%%pCount%";
  EXPECT_EQ(Run(text).output, u"A 1 1 2 ab axc 1");
  EXPECT_EQ(Run(text, 65536, ReplaceLegacy).output, u"B 2 2 3 b ayc 2");
}

TEST_F(StringCommandsTest, SplitSetsEveryFieldAndLeavesOlderOnes) {
  std::u16string many;
  for (int i = 1; i <= 25; ++i) many += DecodeUtf8(std::to_string(i) + ",");
  table_.Set(u"many", many);
  ASSERT_EQ(Run(u"%!split(many,p)%").output, u"");
  EXPECT_EQ(Symbol(table_, u"pCount"), u"26");
  EXPECT_EQ(Symbol(table_, u"p11"), u"11");
  EXPECT_EQ(Symbol(table_, u"p26"), u"");

  table_.Set(u"list", u" x ,y");
  ASSERT_EQ(Run(u"%!split(list,p)%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, u"pCount"), u"2");
  EXPECT_EQ(Symbol(table_, u"p1"), u"x");
  EXPECT_EQ(Symbol(table_, u"p3"), u"3");

  // An absent symbol and an invalid list set nothing.
  EXPECT_EQ(Run(u"%!split(missing,q)%").status, ReplaceStatus::Ok);
  table_.Set(u"bad", u"a,\"b\"c");
  EXPECT_EQ(Run(u"%!split(bad,q)%").status, ReplaceStatus::BadArgument);
  EXPECT_EQ(Symbol(table_, u"qCount"), u"<absent>");
  EXPECT_EQ(Symbol(table_, u"q1"), u"<absent>");
}

TEST_F(StringCommandsTest, SplitTakesSeparatorAndPrefixAsWritten) {
  static const struct {
    std::u16string_view text;
    std::u16string_view value;  // of the symbol "list"
    std::u16string_view count, first;
  } cases[] = {
      {u"%!split(list,p,%sep%)%", u"a%b", u"2", u"a"},
      {u"%!split(list,p,;:)%", u"a;b,c", u"2", u"a"}, {u"%!split(list,p,' ')%", u"a b", u"2", u"a"},
      {u"%!split(list,p,'')%", u" a,b ", u"1", u"a,b"},
      {u"%!split(%name%,p)%", u"a,b,c", u"3", u"a"},
      {u"%!split(p1,p)%", u"a,b", u"2", u"a"},  // the source is a field it sets
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.text));
    table_.Set(u"name", u"list");
    table_.Set(u"list", c.value);
    table_.Set(u"p1", c.value);
    ASSERT_EQ(Run(c.text).status, ReplaceStatus::Ok);
    EXPECT_EQ(Symbol(table_, u"pCount"), c.count);
    EXPECT_EQ(Symbol(table_, u"p1"), c.first);
  }
  EXPECT_EQ(Run(u"%!split(list,%q%)%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, u"%q%Count"), u"2");

  std::u16string longest(992, u'p'), tooLong(993, u'p');
  EXPECT_EQ(Run(u"%!split(list," + longest + u")%").status, ReplaceStatus::Ok);
  EXPECT_EQ(Symbol(table_, longest + u"2"), u"b");
  EXPECT_EQ(Run(u"%!split(list," + tooLong + u")%").status, ReplaceStatus::ArgumentTooLong);
}

}  // namespace
}  // namespace qds
