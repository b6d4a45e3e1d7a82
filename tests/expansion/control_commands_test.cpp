// The control and symbol commands and defined commands, run through
// ReplaceSymbols with a real symbol table.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/utf8.h"
#include "expansion/builtin_commands.h"
#include "expansion/expansion.h"

namespace qds {
namespace {

using test::Expand;
using test::Expansion;
using test::Symbol;

std::string Printable(std::u16string_view text) {
  return EncodeUtf8(text.size() > 80 ? text.substr(0, 80) : text);
}

class ControlCommandsTest : public ::testing::Test {
 protected:
  ControlCommandsTest() {
    table_.Set(u"who", u"Bob");
    table_.Set(u"raw", u"%who%");
  }
  Expansion Run(std::u16string_view text, uint32_t flags = 0, uint32_t capacity = 65536) {
    return Expand(table_, text, capacity, flags);
  }
  std::u16string Output(std::u16string_view text, uint32_t flags = 0) {
    Expansion e = Run(text, flags);
    EXPECT_EQ(e.status, ReplaceStatus::Ok) << Printable(text);
    return e.output;
  }

  SymbolMap table_{true, 16, &kBuiltinCommands};
};

TEST_F(ControlCommandsTest, ProduceTheirOutput) {
  table_.Set(u"expr", u"2*3");
  static const struct {
    std::u16string_view text;
    std::u16string_view expected;
  } cases[] = {
      {u"%!if(1)%", u"1"}, {u"%!if(0)%", u"0"}, {u"%!if(%who% = Bob, yes %who%, no)%", u"yes Bob"},
      {u"%!if(no,yes,'no, really')%", u"no, really"}, {u"%!if(,y,n)%", u"n"},
      {u"%!eval(1+2*3)%", u"7"}, {u"%!eval(%expr%)%", u"6"}, {u"%!eval()%", u"0"},
      {u"%!value(who)%", u"Bob"},
      {u"%!value(raw)%", u"%who%"},  // stored text, not expanded again
      {u"[%!value(absent)%]", u"[]"}, {u"%!for(i,1,3,%i%;)%", u"1;2;3;"},
      {u"%!for(i,0x10,0x11,'%i%,')%", u"16,17,"}, {u"%!for(i,-1,1,%i%)%", u"-101"},
      {u"%!for(i,2147483646,2147483647,'%i%,')%", u"2147483646,2147483647,"},
      {u"[%!set(k,v)%%!define(d,x)%]", u"[]"},
  };
  for (const auto& c : cases) EXPECT_EQ(Output(c.text), c.expected) << Printable(c.text);
}

TEST_F(ControlCommandsTest, FailuresReportTheirStatus) {
  static const struct {
    std::u16string_view text;
    ReplaceStatus status;
  } cases[] = {
      {u"%!if(1 2,y,n)%", ReplaceStatus::MalformedExpression},
      {u"%!eval(1/0)%", ReplaceStatus::DivisionByZero},
      {u"%!for(i,'1 ',2,x)%", ReplaceStatus::BadArgument},
      {u"%!for(i,1.5,2,x)%", ReplaceStatus::BadArgument},
      {u"%!for(i,,2,x)%", ReplaceStatus::BadArgument},
      {u"%!for(i,1,2147483648,x)%", ReplaceStatus::BadArgument},
      {u"%!for(i,1,08,x)%", ReplaceStatus::BadArgument},
      {u"%!set(%nothing%,v)%", ReplaceStatus::BadArgument},
      {u"%!define(,v)%", ReplaceStatus::BadArgument},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.text).status, c.status) << Printable(c.text);
    EXPECT_EQ(Symbol(table_, u"i"), u"<absent>") << Printable(c.text);
  }
}

// Conditions are expanded without flags; the chosen text with the caller's.
TEST_F(ControlCommandsTest, LegacyFlagChangesOnlyTheTopCondition) {
  EXPECT_EQ(Output(u"%!if(a = a,y,n)%"), u"y");
  EXPECT_EQ(Output(u"%!if(a = a,y,n)%", ReplaceLegacy), u"n");
  EXPECT_EQ(Output(u"%!if(a=a,y,n)%", ReplaceLegacy), u"y");
  EXPECT_EQ(Output(u"%!if(%!if(a = a)%,y,n)%", ReplaceLegacy), u"y");
  EXPECT_EQ(Output(u"%!if(1,%!if(a = a,y,n)%,x)%", ReplaceLegacy), u"n");
  EXPECT_EQ(Output(u"%!eval(a = a)%", ReplaceLegacy), u"1");
}

// What a text leaves in the table: "if" expands only the chosen text; "for"
// sets its symbol as written, and stops at a failing iteration (a nested
// call closes at ")%", so the inner ")" is kept apart from it); a defined
// command's parameters live only during its call, an inner call removes the
// outer ones, and a failed one leaves the earlier ones set; a built-in
// wins over a definition; a definition follows its latest text.
TEST_F(ControlCommandsTest, SymbolsAfterwardsAreAsTheCommandsLeaveThem) {
  static const struct {
    std::u16string_view text;
    ReplaceStatus status;
    std::u16string_view output;
    std::vector<std::pair<std::u16string_view, std::u16string_view>> symbols;
  } cases[] = {
      {u"%!if(0,%!set(then,1)%,%!set(else,1)%)%", ReplaceStatus::Ok, u"",
       {{u"then", u"<absent>"}, {u"else", u"1"}}},
      {u"%!for(i,3,1,x)%", ReplaceStatus::Ok, u"", {{u"i", u"<absent>"}}},
      {u"%!for(%who%,1,2,x)%", ReplaceStatus::Ok, u"xx", {{u"%who%", u"2"}, {u"Bob", u"<absent>"}}},
      {u"%!for(i,1,5,%!eval(6 / (3 - %i%) )%)%", ReplaceStatus::DivisionByZero, u"",
       {{u"i", u"3"}}},
      {u"%!define(greet,Hi %`%1% and %2%`%)%%!greet(' a ',%who%)%!", ReplaceStatus::Ok,
       u"Hi  a  and Bob!",
       {{u"!greet", u"Hi %1% and %2%"}, {u"1", u"<absent>"}, {u"2", u"<absent>"}}},
      {u"%!define(inner,%`<%1%>`%)%%!define(outer,%`%!inner(x)%[%1%]`%)%%!outer(a)%",
       ReplaceStatus::Ok, u"<x>[]", {}},
      {u"%!define(two,%`%1%%2%`%)%%!two(a,%!nosuch()%)%", ReplaceStatus::UnknownCommand, u"",
       {{u"1", u"a"}}},
      {u"%!define(Set,never)%%!Set(k,v)%", ReplaceStatus::Ok, u"", {{u"k", u"v"}}},
      {u"%!define(d,one)%%!d()%%!define(d,two)%%!d()%", ReplaceStatus::Ok, u"onetwo", {}},
      {u"%!define(d,%nothing%)%%!d()%", ReplaceStatus::UnknownCommand, u"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.text));
    table_.Set(u"1", u"before");
    Expansion e = Run(c.text);
    EXPECT_EQ(e.status, c.status);
    if (c.status == ReplaceStatus::Ok) {
      EXPECT_EQ(e.output, c.output);
    }
    for (const auto& [name, value] : c.symbols) {
      EXPECT_EQ(Symbol(table_, name), value) << EncodeUtf8(name);
    }
    table_.RemoveAll();
    table_.Set(u"who", u"Bob");
  }
}

}  // namespace
}  // namespace qds
