#include "expansion/parse_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utf8.h"

namespace qds {
namespace {

struct Parsed {
  int64_t result;
  std::vector<std::u16string> args;
  size_t cursor;  // offset of the cursor after the call
};

Parsed Parse(std::u16string_view call, size_t bufferChars = 256, size_t maxArgs = 16) {
  std::vector<char16_t> buffer(bufferChars);
  std::vector<const char16_t*> args(maxArgs);
  const char16_t* cursor = call.data();
  Parsed parsed{ParseArgs(&cursor, call.data() + call.size(), buffer.data(), bufferChars,
                          args.data(), maxArgs),
                {},
                static_cast<size_t>(cursor - call.data())};
  for (int64_t i = 0; i < parsed.result && static_cast<size_t>(i) < maxArgs; ++i) {
    parsed.args.emplace_back(args[i]);
  }
  return parsed;
}

std::string Printable(std::u16string_view text) { return EncodeUtf8(text); }

TEST(ParseArgsTest, SplitsCallsIntoNameAndArguments) {
  static const struct {
    std::u16string_view call;  // the text after "%!"
    std::vector<std::u16string> args;
  } cases[] = {
      {u"length()%", {u"length", u""}}, {u"length (x)%", {u"length", u"x"}},
      {u"len\t(x)%", {u"len", u"x"}}, {u"sub(a, ,b)%", {u"sub", u"a", u"", u"b"}},
      {u"f(  inner  blanks   kept  )%", {u"f", u"inner  blanks   kept"}},
      {u"length(a)b)%", {u"length", u"a)b"}}, {u"f(\" \"\"hi\"\" \")%", {u"f", u" \"hi\" "}},
      {u"f(  \"a\"  ,  'b'  )%", {u"f", u"a", u"b"}},
      {u"f('it''s', \"(,)\")%", {u"f", u"it's", u"(,)"}}, {u"length(\"a\"b)%", {u"length", u"a"}},
      {u"f(\"a\",)%", {u"f", u"a", u""}}, {u"f(,)%", {u"f", u"", u""}},
      {u"length(%!sub(a,b,c)%, x)%", {u"length", u"%!sub(a,b,c)%", u"x"}},
      {u"f(%a, b%, %%, %`x,)`%)%", {u"f", u"%a, b%", u"%%", u"%`x,)`%"}},
      {u"f(%!g(%!h(1,2)%)%)%", {u"f", u"%!g(%!h(1,2)%)%"}}, {u"f(a %x% )%", {u"f", u"a %x%"}},
      {u"f(\"%a\"\"%\")%", {u"f", u"%a\"\"%"}}, {u"f(%`a``%b`%)%", {u"f", u"%`a``%b`%"}},
  };
  for (const auto& c : cases) {
    Parsed parsed = Parse(c.call);
    EXPECT_EQ(parsed.result, static_cast<int64_t>(c.args.size())) << Printable(c.call);
    EXPECT_EQ(parsed.args, c.args) << Printable(c.call);
    EXPECT_EQ(parsed.cursor, c.call.size()) << Printable(c.call);
  }
}

TEST(ParseArgsTest, ReportsErrorsWhereTheyAreFound) {
  static const struct {
    std::u16string_view call;
    int64_t result;
    size_t cursor;  // where the cursor is left
  } cases[] = {
      {u"", kArgsNotClosed, 0}, {u"length(x)", kArgsNotClosed, 0}, {u"length(x", kArgsNotClosed, 0},
      {u"length", kArgsNotClosed, 0}, {u"length%", kArgsBadName, 6},
      {u"my_cmd(x)%", kArgsBadName, 2}, {u"len gth(x)%", kArgsBadName, 4},
      {u"length(\"a\" b)%", kArgsJunkAfterQuote, 11}, {u"length(\"a\"),)%", kArgsNotClosed, 11},
      {u"length(a) %", kArgsNotClosed, 0}, {u"length(\"a)%", kArgsNotClosed, 0},
      {u"f(%`a``%)%", kArgsNotClosed, 0}, {u"f(x)y", kArgsNotClosed, 0},
      {u"f(\"x\")y%", kArgsNotClosed, 6},
  };
  for (const auto& c : cases) {
    Parsed parsed = Parse(c.call);
    EXPECT_EQ(parsed.result, c.result) << Printable(c.call);
    EXPECT_EQ(parsed.cursor, c.cursor) << Printable(c.call);
  }
}

TEST(ParseArgsTest, StoresOnlyMaxArgsButCountsAll) {
  Parsed parsed = Parse(u"f(a,b,c)%", 256, 2);
  EXPECT_EQ(parsed.result, 4);
  EXPECT_EQ(parsed.args, (std::vector<std::u16string>{u"f", u"a"}));
}

TEST(ParseArgsTest, FullBufferFailsWithoutMovingTheCursor) {
  // "abc" and its zero need 4 places.
  EXPECT_EQ(Parse(u"abc(x)%", 4, 1).result, 2);
  Parsed parsed = Parse(u"abcd(x)%", 4, 1);
  EXPECT_EQ(parsed.result, kArgsBufferFull);
  EXPECT_EQ(parsed.cursor, 0u);
}

}  // namespace
}  // namespace qds
