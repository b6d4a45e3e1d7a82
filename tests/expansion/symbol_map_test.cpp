#include "expansion/symbol_map.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/utf8.h"
#include "expansion/symbol_undo.h"

namespace qds {
namespace {

std::u16string ValueOf(const SymbolMap& table, std::u16string_view name) {
  std::u16string value(u"<unchanged>");
  table.Lookup(name, &value);
  return value;
}

// A lookup that finds nothing leaves its output alone, on a new table and on
// an emptied one. Names fold only A-Z, and only where the table is asked
// to: it keeps the first spelling; two names of one hash stay apart. A
// looked-up value survives a change.
TEST(SymbolTableTest, NamesFoldOnlyAsciiLettersAndOnlyWhereAsked) {
  for (bool fold : {false, true}) {
    SymbolMap table(fold, 2);
    EXPECT_EQ(ValueOf(table, u"x"), u"<unchanged>");
    table.Set(u"x", u"1");
    table.RemoveAll();
    EXPECT_EQ(ValueOf(table, u"x"), u"<unchanged>");
    uint32_t number = 7;
    EXPECT_FALSE(table.LookupUnsigned(u"x", &number));
    EXPECT_EQ(number, 7u);
    table.Set(u"Path", u"a");
    std::u16string first;
    ASSERT_TRUE(table.Lookup(u"Path", &first));
    table.Set(u"path", u"b");
    table.Set(u"Path", u"c");
    EXPECT_EQ(first, u"a");
    table.Set(u"\u00C9", u"upper");
    EXPECT_EQ(table.Count(), fold ? 2 : 3);
    EXPECT_EQ(ValueOf(table, u"PATH"), fold ? u"c" : u"<unchanged>");
    EXPECT_EQ(ValueOf(table, u"path"), fold ? u"c" : u"b");
    EXPECT_EQ(ValueOf(table, u"\u00E9"), u"<unchanged>");
    table.Set(u"AA", u"aa");  // "AA" and "B " share a hash: their texts tell them apart
    EXPECT_EQ(ValueOf(table, u"B "), u"<unchanged>");
    table.Set(u"B ", u"b");
    EXPECT_EQ(ValueOf(table, u"AA") + ValueOf(table, u"B "), u"aab");
    std::u16string names;
    table.ForEach([&](std::u16string_view n, std::u16string_view) { names += n; });
    EXPECT_EQ(names.find(u"path") == std::u16string::npos, fold) << EncodeUtf8(names);
  }
}

// An undo puts the symbols changed while it was attached back as their first
// change found them, in their spelling, removes those it saw created, and
// lets later changes stand.
TEST(SymbolTableTest, UndoPutsBackWhatChangedAsItWas) {
  SymbolMap table(true, 2);
  table.Set(u"Kept", u"k");
  table.Set(u"Path", u"p");
  table.Set(u"gone", u"g");
  SymbolUndo undo(table);
  table.Set(u"path", u"1");
  EXPECT_TRUE(table.Remove(u"PATH"));
  table.Set(u"PATH", u"2");
  EXPECT_TRUE(table.Remove(u"gone"));
  table.Set(u"new", u"n");
  undo.Restore();
  table.Set(u"after", u"a");
  std::map<std::u16string, std::u16string> symbols;
  table.ForEach(
      [&](std::u16string_view n, std::u16string_view v) { symbols[std::u16string(n)] = v; });
  const std::map<std::u16string, std::u16string> expected = {
      {u"Kept", u"k"}, {u"Path", u"p"}, {u"gone", u"g"}, {u"after", u"a"}};
  EXPECT_EQ(symbols, expected);
}

// Many symbols across blocks and growing buckets, every other one removed,
// more added, then all removed one by one, agree with a reference map; the
// emptied table takes new symbols.
TEST(SymbolTableTest, AgreesWithReferenceMapThroughChurn) {
  SymbolMap table(false, 5);
  std::map<std::u16string, std::u16string> reference, seen;
  for (int i = 0; i < 250; ++i) {
    std::u16string name = DecodeUtf8((i < 200 ? "s" : "n") + std::to_string(i * 7919 % 211));
    table.Set(name, name + u"v");
    reference[name] = name + u"v";
    if (i < 200 && i % 2 == 1) {
      EXPECT_TRUE(table.Remove(reference.begin()->first));
      reference.erase(reference.begin());
    }
  }
  EXPECT_EQ(table.Count(), static_cast<int32_t>(reference.size()));
  table.ForEach([&](std::u16string_view n, std::u16string_view v) { seen[std::u16string(n)] = v; });
  EXPECT_EQ(seen, reference);
  for (const auto& symbol : reference) {
    EXPECT_TRUE(table.Remove(symbol.first));
    EXPECT_FALSE(table.Remove(symbol.first));
  }
  EXPECT_EQ(table.Count(), 0);
  table.Set(u"again", u"2");
  EXPECT_EQ(ValueOf(table, u"again"), u"2");
}

// The impersonation token is read as strtoul reads a decimal number, and
// only a whole one.
TEST(SymbolTableTest, LookupUnsignedReadsLikeStrtoul) {
  static const struct {
    const char16_t* value;
    uint32_t expected;
  } cases[] = {
      {u"42", 42},
      {u" 42", 42},
      {u"42x", 0},
      {u"", 0},
      {u"42 ", 0},
      {u"+7", 7},
      {u"-1", 4294967295},
      {u"4294967295", 4294967295},
      {u"99999999999", 4294967295},
      {u"0x10", 0},
      {u"010", 10},
      {u"\t\n 5", 5},
      {u"-", 0},
  };
  SymbolMap table(false, 1);
  for (const auto& c : cases) {
    table.Set(u"n", c.value);
    uint32_t number = 12345;
    EXPECT_TRUE(table.LookupUnsigned(u"n", &number));
    EXPECT_EQ(number, c.expected) << EncodeUtf8(c.value);
  }
}

}  // namespace
}  // namespace qds
