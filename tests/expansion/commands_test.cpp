// The control, symbol and string commands and defined commands, run through
// ReplaceSymbols with a real symbol table, and the rules every built-in
// command keeps (the path commands' own rules are in path_commands_test).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expansion/expansion.h"

namespace qds {
namespace {

using test::Expansion;
using test::Printable;
using test::Symbol;
using CommandsTest = test::ExpansionTest;

TEST_F(CommandsTest, ProduceTheirOutput) {
  table_.Set(u"who", u"Bob");
  table_.Set(u"raw", u"%who%");
  table_.Set(u"expr", u"2*3");
  table_.Set(u"fruit", u"banana");
  static const struct {
    std::u16string_view text;
    std::u16string_view expected;
  } cases[] = {
      {u"%!if(1)%%!if(0)%%!if(%who% = Bob, yes %who%, no)%%!if(,y,n)%%!if(no,yes,'no, really')%",
       u"10yes Bobnno, really"},
      {u"%!eval(1+2*3)%%!eval(%expr%)%%!eval()%[%!set(k,v)%%!define(d,x)%]", u"760[]"},
      {u"%!value(who)%%!value(raw)%[%!value(absent)%]", u"Bob%who%[]"},  // not expanded again
      {u"%!for(i,1,3,%i%;)%%!for(i,0x10,0x11,'%i%,')%%!for(i,-1,1,%i%)%", u"1;2;3;16,17,-101"},
      {u"%!for(i,2147483646,2147483647,'%i%,')%%!for(i,-2147483648,-0x80000000,%i%)%"
       u"%!for(i,' \t+017',0X10,%i%)%",
       u"2147483646,2147483647,-21474836481516"},
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
    Expansion e = Run(c.text);
    EXPECT_EQ(e.status, ReplaceStatus::Ok) << Printable(c.text);
    EXPECT_EQ(e.output, c.expected) << Printable(c.text);
  }
}

// What a text leaves in the table, read back at its end: "if" expands only
// the chosen text; "for" sets its symbol as written; a defined command's
// parameters live only during its call, and an inner call removes the
// outer ones; a built-in wins over a definition; a definition follows its
// latest text, and one that defines itself anew runs on as it began. "split" sets a count and every
// field and leaves older fields; its source name is expanded, its prefix and separator (the first
// character, none when empty) are taken as written; an absent source sets
// nothing.
TEST_F(CommandsTest, SymbolsAfterwardsAreAsTheCommandsLeaveThem) {
  static const struct {
    std::u16string_view text;
    std::u16string_view output;
  } cases[] = {
      {u"%!if(0,%!set(then,1)%,%!set(else,1)%)%[%then%|%else%]%!for(i,3,1,x)%[%i%]", u"[|1][]"},
      {u"%!for(%who%,1,2,x)%[%!value(%`%who%`%)%|%Bob%]", u"xx[2|]"},
      {u"%!define(greet,Hi %`%1% and %2%`%)%%!greet(' a ',%who%)%![%!value(!greet)%|%1%|%2%]",
       u"Hi  a  and Bob![Hi %1% and %2%||]"},
      {u"%!define(inner,%`<%1%>`%)%%!define(outer,%`%!inner(x)%[%1%]`%)%%!outer(a)%", u"<x>[]"},
      {u"%!define(Set,never)%%!Set(k,v)%%k%%!define(d,one)%%!d()%%!define(d,two)%%!d()%",
       u"vonetwo"},
      {u"%!set(x,ABCDEFGHIJKLMNOPQRST)%%!define(d,%`%!define(d,%x%)%then`%)%%!d()% %!d()%",
       u"then ABCDEFGHIJKLMNOPQRST"},
      {u"%!set(l,%!for(i,1,25,'%i%,')%)%%!set(p27,old)%%!split(l,p)%%pCount%|%p2%|%p11%|%p26%|"
       u"%p27%%!split(missing,q)%[%qCount%]",
       u"26|2|11||old[]"},
      {u"%!set(l,a%%b)%%!split(l,p,%sep%)%%pCount%%p1% %!set(l,'a;b,c')%%!split(l,p,;:)%%p2% "
       u"%!set(l,' a,b ')%%!split(l,p,'')%%pCount%%p1%",
       u"2a b,c 1a,b"},
      {u"%!set(n,l)%%!set(l,'a,b,c')%%!split(%n%,p)%%pCount% %!set(p1,'a,b')%%!split(p1,p)%%p2% "
       u"%!split(l,%q%)%%!value(%`%q%Count`%)%",
       u"3 b 3"},
  };
  for (const auto& c : cases) {
    table_.RemoveAll();
    table_.Set(u"who", u"Bob");
    table_.Set(u"1", u"before");
    Expansion e = Run(c.text);
    EXPECT_EQ(e.status, ReplaceStatus::Ok) << Printable(c.text);
    EXPECT_EQ(e.output, c.output) << Printable(c.text);
  }
  // A failure keeps what came before it: "for" stops at a failing iteration
  // (a nested call closes at ")%", so the inner ")" is kept apart from it),
  // a failed call leaves its earlier parameters set, an invalid list sets
  // nothing.
  EXPECT_EQ(Run(u"%!for(i,1,5,%!eval(6 / (3 - %i%) )%)%").status, ReplaceStatus::DivisionByZero);
  EXPECT_EQ(Run(u"%!define(two,%`%1%%2%`%)%%!two(a,%!nosuch()%)%").status,
            ReplaceStatus::UnknownCommand);
  EXPECT_EQ(Run(u"%!set(l,'a,\"b\"c')%%!split(l,q)%").status, ReplaceStatus::BadArgument);
  EXPECT_EQ(Run(u"%!define(d,%nothing%)%%!d()%").status, ReplaceStatus::UnknownCommand);
  EXPECT_EQ(Run(u"[%i%|%1%|%qCount%]").output, u"[3|a|]");
}

// Arguments expand in order, with the caller's flags; conditions without
// them ("a = a" holds as an expression, not as a legacy condition, where
// "a " < " a"); the chosen text of "if" again with the caller's.
TEST_F(CommandsTest, LegacyFlagChangesOnlyTheTopConditionAndReachesEveryArgument) {
  EXPECT_EQ(Run(u"%!index(%!set(v,an)%banana,%v%,%!set(v,9)%2)%").output, u"4");
  EXPECT_EQ(Symbol(table_, u"v"), u"9");
  table_.Set(u"s1", u"x");
  table_.Set(u"s2", u"x,y");
  static const struct {
    std::u16string_view text;
    std::u16string_view plain, legacy;
  } cases[] = {
      {u"%!if(a = a,y,n)%%!if(a=a,y,n)%%!if(%!if(a = a)%,y,n)%%!if(1,%!if(a = a,y,n)%,x)%"
       u"%!eval(a = a)%",
       u"yyyy1", u"nyyn1"},
      {u"%!chr(%!if('a = a',65,66)%)% %!length(%!if('a = a',a,bb)%)% "
       u"%!index(%!if('a = a',ab,ba)%,a)% %!rindex(aab,%!if('a = a',a,b)%)% "
       u"%!substr(abc,%!if('a = a',1,2)%,2)% %!sub(abc,b,%!if('a = a',x,y)%)% "
       u"%!split(%!if('a = a',s1,s2)%,p)%%pCount%",
       u"A 1 1 2 ab axc 1", u"B 2 2 3 b ayc 2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.text).output, c.plain) << Printable(c.text);
    EXPECT_EQ(Run(c.text, 65536, ExpandFlags::Legacy).output, c.legacy) << Printable(c.text);
  }
}

// A failure in a command, or in an argument, fails at the command's name
// and leaves the table as it was.
TEST(CommandContractTest, FailuresAtTheCommandChangeNothing) {
  static const struct {
    ReplaceStatus status;
    std::vector<std::u16string_view> texts;
  } cases[] = {
      {ReplaceStatus::WrongArgCount,
       {u"x%!if(1,2)%",         u"x%!if(1,2,3,4)%",     u"x%!for(s,1,2)%",  u"x%!for(s,1,1,x,y)%",
        u"x%!set(s)%",          u"x%!set(s,1,2)%",      u"x%!eval(1,2)%",   u"x%!value(s,t)%",
        u"x%!define(s)%",       u"x%!define(s,1,2)%",   u"x%!chr(1,2)%",    u"x%!length(a,b)%",
        u"x%!index(a)%",        u"x%!index(a,b,1,2)%",  u"x%!rindex(a)%",   u"x%!rindex(a,b,1,2)%",
        u"x%!substr(a)%",       u"x%!substr(a,1,2,3)%", u"x%!sub(a,b)%",    u"x%!sub(a,b,c,d)%",
        u"x%!split(a)%",        u"x%!split(a,b,c,d)%",  u"x%!exists(a,b)%", u"x%!splitpath(a,b,c)%",
        u"x%!toshortpath(a,b)%"}},
      {ReplaceStatus::UnknownCommand,
       {u"x%!if(1,%!nosuch()%,n)%", u"x%!length(%!nosuch()%)%", u"x%!exists(%!nosuch()%)%",
        u"x%!set(s,%!nosuch()%)%"}},
      {ReplaceStatus::BadArgument,
       {u"x%!chr()%",
        u"x%!chr(12a)%",
        u"x%!chr(' 65 ')%",
        u"x%!chr(08)%",
        u"x%!chr(0x)%",
        u"x%!chr(-)%",
        u"x%!chr(4294967296)%",
        u"x%!chr(-4294967296)%",
        u"x%!substr(abc,)%",
        u"x%!substr(abc,1.5)%",
        u"x%!substr(abc,1,2147483648)%",
        u"x%!sub(a,%!chr(z)%,b)%",
        u"x%!for(i,'1 ',2,x)%",
        u"x%!for(i,1.5,2,x)%",
        u"x%!for(i,,2,x)%",
        u"x%!for(i,1,2147483648,x)%",
        u"x%!for(i,1,08,x)%",
        u"x%!for(i,-2147483649,1,x)%",
        u"x%!for(i,0xg,1,x)%",
        u"x%!for(i,+-1,1,x)%",
        u"x%!for(i,' ',1,x)%",
        u"x%!set(%nothing%,v)%",
        u"x%!define(,v)%"}},
      {ReplaceStatus::MalformedExpression, {u"x%!if(1 2,y,n)%"}},
      {ReplaceStatus::DivisionByZero, {u"x%!eval(1/0)%"}},
  };
  for (const auto& c : cases) {
    for (std::u16string_view text : c.texts) {
      SCOPED_TRACE(Printable(text));
      SymbolMap table(false, 16, &kBuiltinCommands);
      table.Set(u"a", u"1");
      Expansion result = test::Expand(table, text);
      EXPECT_EQ(result.status, c.status);
      EXPECT_EQ(result.errorPos, 3u);
      EXPECT_EQ(table.Count(), 1);
    }
  }
}

// Each argument has a fixed space that holds one character less than its
// size: %v% stands for the argument under test, `space` times `filler`.
// A prefix of names is as long as the names' space leaves room for.
TEST(CommandContractTest, ArgumentsFitTheirSpacesUpToOneCharacterShort) {
  static const struct {
    std::u16string_view text;
    size_t space;
    char16_t filler;
    ReplaceStatus fitting = ReplaceStatus::Ok;
  } cases[] = {
      {u"%!set(%v%,v)%", 128, u'0'},
      {u"%!set(n,%v%)%", 1024, u'0'},
      {u"%!define(%v%,v)%", 128, u'0'},
      {u"%!define(n,%v%)%", 1024, u'0'},
      {u"%!value(%v%)%", 1024, u'0'},
      {u"%!eval(%v%)%", 1024, u'0'},
      {u"%!if(%v%)%", 1024, u'0'},
      {u"%!for(i,%v%,0,x)%", 32, u'0'},
      {u"%!chr(%v%)%", 32, u'0'},
      {u"%!length(%v%)%", 1024, u'a'},
      {u"%!index(%v%,a)%", 1024, u'a'},
      {u"%!index(a,%v%)%", 1024, u'a'},
      {u"%!index(a,a,%v%)%", 1024, u'0'},
      {u"%!rindex(%v%,a)%", 1024, u'a'},
      {u"%!rindex(a,%v%)%", 1024, u'a'},
      {u"%!rindex(a,a,%v%)%", 1024, u'0'},
      {u"%!substr(%v%,1)%", 1024, u'a'},
      {u"%!substr(a,%v%)%", 32, u'0'},
      {u"%!substr(a,1,%v%)%", 32, u'0'},
      {u"%!sub(%v%,a,b)%", 1024, u'a'},
      {u"%!sub(a,%v%,b)%", 1024, u'a'},
      {u"%!sub(a,b,%v%)%", 1024, u'a'},
      {u"%!split(%v%,p)%", 128, u'n'},
      {u"%!split(v,%v%)%", 993, u'p'},
      {u"%!exists(%v%)%", 260, u'a'},
      {u"%!splitpath(%v%)%", 1024, u'a'},
      {u"%!splitpath(a.b,%v%)%", 993, u'p'},
      {u"%!toshortpath(%v%)%", 1024, u'a', ReplaceStatus::NoShortPath},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.text));
    for (size_t length : {c.space - 1, c.space}) {
      std::u16string text(c.text);
      text.replace(text.find(u"%v%"), 3, std::u16string(length, c.filler));
      SymbolMap table(false, 16, &kBuiltinCommands);
      table.Set(u"v", u"a,b");
      EXPECT_EQ(test::Expand(table, text).status,
                length < c.space ? c.fitting : ReplaceStatus::ArgumentTooLong);
    }
  }
}

}  // namespace
}  // namespace qds
