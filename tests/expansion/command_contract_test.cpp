// The rules that every built-in command keeps, one table each: the
// argument count, the fixed space of each argument, a failure nested in an
// argument, and the size that a short output asks for.

#include <gtest/gtest.h>

#include <string>

#include "common/utf8.h"
#include "expansion/builtin_commands.h"
#include "expansion/expansion.h"

namespace qds {
namespace {

using test::Expand;
using test::Expansion;
using test::Symbol;

// A wrong number of arguments, or a failure in one, fails at the command's
// name and leaves the table as it was.
TEST(CommandContractTest, FailuresAtTheCommandChangeNothing) {
  static const struct {
    ReplaceStatus status;
    std::vector<std::u16string_view> texts;
  } cases[] = {
      {ReplaceStatus::WrongArgCount,
       {u"x%!if(1,2)%", u"x%!if(1,2,3,4)%", u"x%!for(s,1,2)%", u"x%!for(s,1,1,x,y)%",
        u"x%!set(s)%", u"x%!set(s,1,2)%", u"x%!eval(1,2)%", u"x%!value(s,t)%", u"x%!define(s)%",
        u"x%!define(s,1,2)%", u"x%!chr(1,2)%", u"x%!length(a,b)%", u"x%!index(a)%",
        u"x%!index(a,b,1,2)%", u"x%!rindex(a)%", u"x%!rindex(a,b,1,2)%", u"x%!substr(a)%",
        u"x%!substr(a,1,2,3)%", u"x%!sub(a,b)%", u"x%!sub(a,b,c,d)%", u"x%!split(a)%",
        u"x%!split(a,b,c,d)%", u"x%!exists(a,b)%", u"x%!splitpath(a,b,c)%",
        u"x%!toshortpath(a,b)%"}},
      {ReplaceStatus::UnknownCommand,
       {u"x%!if(1,%!nosuch()%,n)%", u"x%!length(%!nosuch()%)%", u"x%!exists(%!nosuch()%)%",
        u"x%!set(s,%!nosuch()%)%"}},
  };
  for (const auto& c : cases) {
    for (std::u16string_view text : c.texts) {
      SCOPED_TRACE(EncodeUtf8(text));
      SymbolMap table(false, 16, &kBuiltinCommands);
      table.Set(u"a", u"1");
      Expansion result = Expand(table, text);
      EXPECT_EQ(result.status, c.status);
      EXPECT_EQ(result.errorPos, 3u);
      EXPECT_EQ(table.Count(), 1);
    }
  }
}

// Each argument has a fixed space that holds one character less than its
// size: %v% stands for the argument under test, made of `filler`.
TEST(CommandContractTest, ArgumentsFitTheirSpacesUpToOneCharacterShort) {
  static const struct {
    std::u16string_view text;
    size_t space;
    char16_t filler;
    ReplaceStatus fitting = ReplaceStatus::Ok;
  } cases[] = {
      {u"%!set(%v%,v)%", 128, u'0'}, {u"%!set(n,%v%)%", 1024, u'0'},
      {u"%!define(%v%,v)%", 128, u'0'}, {u"%!define(n,%v%)%", 1024, u'0'},
      {u"%!value(%v%)%", 1024, u'0'}, {u"%!eval(%v%)%", 1024, u'0'}, {u"%!if(%v%)%", 1024, u'0'},
      {u"%!for(i,%v%,0,x)%", 32, u'0'}, {u"%!chr(%v%)%", 32, u'0'}, {u"%!length(%v%)%", 1024, u'a'},
      {u"%!index(%v%,a)%", 1024, u'a'}, {u"%!index(a,%v%)%", 1024, u'a'},
      {u"%!index(a,a,%v%)%", 1024, u'0'}, {u"%!rindex(%v%,a)%", 1024, u'a'},
      {u"%!rindex(a,%v%)%", 1024, u'a'}, {u"%!rindex(a,a,%v%)%", 1024, u'0'},
      {u"%!substr(%v%,1)%", 1024, u'a'}, {u"%!substr(a,%v%)%", 32, u'0'},
      {u"%!substr(a,1,%v%)%", 32, u'0'}, {u"%!sub(%v%,a,b)%", 1024, u'a'},
      {u"%!sub(a,%v%,b)%", 1024, u'a'}, {u"%!sub(a,b,%v%)%", 1024, u'a'},
      {u"%!split(%v%,p)%", 128, u'n'}, {u"%!exists(%v%)%", 260, u'a'},
      {u"%!splitpath(%v%)%", 1024, u'a'},
      {u"%!toshortpath(%v%)%", 1024, u'a', ReplaceStatus::NoShortPath},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.text));
    SymbolMap table(false, 16, &kBuiltinCommands);
    table.Set(u"v", std::u16string(c.space - 1, c.filler));
    EXPECT_EQ(Expand(table, c.text).status, c.fitting);
    table.Set(u"v", std::u16string(c.space, c.filler));
    EXPECT_EQ(Expand(table, c.text).status, ReplaceStatus::ArgumentTooLong);
  }
}

// A short output reports the size to retry with; the commands after the
// point where it filled still run.
TEST(CommandContractTest, AShortOutputReportsTheSizeItNeeds) {
  for (std::u16string_view text : {u"%!length(abcdefghij)%", u"%!sub(abc,b,xyzxyzxyz)%",
                                   u"%!for(i,1,3,ab%!set(last,%i%)%)%"}) {
    SCOPED_TRACE(EncodeUtf8(text));
    SymbolMap table(false, 16, &kBuiltinCommands);
    Expansion shorter = Expand(table, text, 1);
    EXPECT_EQ(shorter.status, ReplaceStatus::BufferTooSmall);
    Expansion retry = Expand(table, text, shorter.outLen);
    EXPECT_EQ(retry.status, ReplaceStatus::Ok);
    EXPECT_EQ(retry.outLen, shorter.outLen);
  }
  SymbolMap table(false, 16, &kBuiltinCommands);
  Expansion e = Expand(table, u"%!for(i,1,3,ab%!set(last,%i%)%)%", 4);
  EXPECT_EQ(e.outLen, 7u);
  EXPECT_EQ(Symbol(table, u"last"), u"3");
}

}  // namespace
}  // namespace qds
