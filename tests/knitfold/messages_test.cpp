// The messages of knitfold as its string table holds them.

#include "knitfold/messages.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>

#include "support/test_support.h"

namespace qds {
namespace {

using test::ReadBytes;

TEST(StringTableTest, HoldsTheMessagesAndNothingElse) {
  char16_t buffer[256];
  const struct {
    uint32_t id;
    std::u16string_view text;
  } cases[] = {
      {102, u"Usage: knitfold qdsfile compatqdsfile [Trace]\n"},
      {105, u"Error %d saving file %s\n"},
      {108, u"Error %d loading file %s\n"},
      {109, u"Error copying %s to %s : %s\n"},
      {110, u"Invalid QDS file name: %s\n"},
      {111, u"Error %d creating log file %s\n"},
      {113, u"Trace"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(LoadMessage(c.id, buffer, 256), static_cast<int>(c.text.size())) << c.id;
    EXPECT_EQ(std::u16string_view(buffer), c.text) << c.id;
  }
  for (uint32_t absent : {0u, 101u, 112u, 62117u}) {
    EXPECT_EQ(LoadMessage(absent, buffer, 256), 0) << absent;
  }
}

// Windows builds compile the messages into a resource; other builds carry
// them in code. Every message of the list, its escapes read, must be in this
// build's table, and the table must hold no other.
TEST(StringTableTest, MatchesTheMessageList) {
  std::istringstream script(ReadBytes(test::SourceFile("src/knitfold/messages.inc")));
  int entries = 0;
  for (std::string line; std::getline(script, line);) {
    // A message line is: "MESSAGE(", a decimal id, a name, then a quoted text.
    const std::string_view kOpening = "MESSAGE(";
    if (line.rfind(kOpening, 0) != 0) continue;
    const size_t id_start = kOpening.size();
    const size_t open_quote = line.find('"', id_start);
    const size_t close_quote = line.rfind('"');
    if (open_quote == std::string::npos || close_quote <= open_quote) continue;
    ++entries;
    const std::string quoted = line.substr(open_quote + 1, close_quote - open_quote - 1);
    std::u16string text;
    for (size_t i = 0; i < quoted.size(); ++i) {
      char c = quoted[i];
      if (c == '\\' && i + 1 < quoted.size()) {
        c = quoted[++i];
        if (c == 'n') c = '\n';
      }
      text.push_back(static_cast<char16_t>(c));
    }
    uint32_t id = static_cast<uint32_t>(std::stoul(line.substr(id_start)));
    char16_t buffer[256];
    ASSERT_GT(LoadMessage(id, buffer, 256), 0) << id;
    EXPECT_EQ(std::u16string_view(buffer), text) << id;
  }
  EXPECT_GT(entries, 0);
  int loaded = 0;
  for (uint32_t id = 0; id <= 0xFFFF; ++id) {
    char16_t buffer[2];
    if (LoadMessage(id, buffer, 2) != 0) ++loaded;
  }
  EXPECT_EQ(loaded, entries);
}

TEST(StringTableTest, CutsToTheCapacity) {
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(LoadMessage(113, buffer, 3), 2);
  EXPECT_EQ(std::u16string_view(buffer), u"Tr");
  EXPECT_EQ(buffer[3], u'#');
  EXPECT_EQ(LoadMessage(113, buffer, 0), 0);
}

}  // namespace
}  // namespace qds
