// Inputs on which the fuzzers of fuzz/ found a rule broken, kept as tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utf8.h"
#include "expansion/builtin_commands.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace qds {
namespace {

// "toshortpath" asks for room for its path's terminating zero, as the
// system's short-name query does, so a size query is one character above the
// length the expansion then takes. The fuzzer first took that for a broken
// size query; what must hold is that the size asked for always suffices.
TEST(FuzzFindingsTest, TheSizeQueryOfAShortPathMakesRoomForItsZero) {
  static const char16_t* const texts[] = {u"%!toshortpath(/)%", u"[%!toshortpath(/)%]%!chr(65)%"};
  for (const char16_t* text : texts) {
    SCOPED_TRACE(EncodeUtf8(text));
    SymbolMap table(false, 16, &kBuiltinCommands);
    uint32_t needed = 0;
    ASSERT_EQ(ReplaceSymbols(table, text, nullptr, &needed, 0, nullptr),
              ReplaceStatus::BufferTooSmall);
    std::vector<char16_t> out(needed);
    uint32_t length = needed;
    EXPECT_EQ(ReplaceSymbols(table, text, out.data(), &length, 0, nullptr), ReplaceStatus::Ok);
    EXPECT_EQ(length + 1, needed);
    EXPECT_EQ(out[length - 1], u'\0');
  }
}

// The same zero stays in the length a failing expansion reports: the size
// query counts it, a call with room for it does not, and neither reports more
// than the size query.
TEST(FuzzFindingsTest, AFailureAfterAShortPathReportsNoMoreThanTheSizeQuery) {
  const char16_t* text = u"%!toshortpath(/)%x%unclosed";
  SymbolMap table(false, 16, &kBuiltinCommands);
  uint32_t queried = 0;
  ASSERT_EQ(ReplaceSymbols(table, text, nullptr, &queried, 0, nullptr), ReplaceStatus::NotClosed);
  std::vector<char16_t> out(queried + 1);
  uint32_t length = static_cast<uint32_t>(out.size());
  EXPECT_EQ(ReplaceSymbols(table, text, out.data(), &length, 0, nullptr), ReplaceStatus::NotClosed);
  EXPECT_EQ(length + 1, queried);
}

// A command name of more than 65 characters fails its expansion with the
// status of an output that does not fit. Nested in the branch of "if" or the
// body of "for", that failure was passed on as an output that did not fit,
// and the whole expansion then succeeded with its output cut short at the
// call: the text after it lost and the terminating zero never written.
TEST(FuzzFindingsTest, ANestedCommandNameTooLongFailsTheExpansion) {
  const std::u16string name(66, u'l');
  const std::u16string texts[] = {
      u"AB%!if(1,%!" + name + u"()%,x)%CD",
      u"AB%!for(i,1,2,%!" + name + u"()%)%CD",
  };
  for (const std::u16string& text : texts) {
    SCOPED_TRACE(EncodeUtf8(text));
    SymbolMap table(false, 16, &kBuiltinCommands);
    std::vector<char16_t> out(1024, u'#');
    uint32_t length = static_cast<uint32_t>(out.size());
    uint32_t errorPos = 0;
    ReplaceStatus status = ReplaceSymbols(table, text, out.data(), &length, 0, &errorPos);
    EXPECT_EQ(status, ReplaceStatus::BufferTooSmall) << "output: " << EncodeUtf8({out.data(), length});
    EXPECT_LT(length, out.size());  // no larger buffer would help
  }
}

}  // namespace
}  // namespace qds
