// Reading and writing entries of a DocumentModel: flat positions across
// keys, quotes, and buffers of every capacity.

#include <gtest/gtest.h>
#include <qds/document.h>

#include <algorithm>
#include <string>

#include "model/document_model.h"

namespace qds {
namespace {

// A document with section S holding a=1, b=2, a=3 as a file would give it.
void AddLine(DocumentModel* doc, const char16_t* section, const char16_t* key,
             const char16_t* value) {
  doc->SetEntry(section, key, kAppendPosition, value);
}

struct Entry {
  ReadStatus status;
  std::u16string key;
  std::u16string value;
  uint32_t keyLength;
  uint32_t valueLength;
};

// Reads entry `position` into buffers of the given capacities, filled with
// '#' beforehand; fails the test when a unit past a capacity was written.
Entry Read(DocumentModel& doc, const char16_t* section, uint32_t position,
           ReadFlags flags = ReadFlags::None, uint32_t keyCapacity = 260,
           uint32_t valueCapacity = 260) {
  char16_t key[400];
  char16_t value[400];
  std::fill(std::begin(key), std::end(key), u'#');
  std::fill(std::begin(value), std::end(value), u'#');
  Entry entry;
  entry.keyLength = keyCapacity;
  entry.valueLength = valueCapacity;
  entry.status =
      doc.GetEntry(section, position, key, &entry.keyLength, value, &entry.valueLength, flags);
  entry.key.assign(key, std::find(key, key + keyCapacity, u'\0'));
  entry.value.assign(value, std::find(value, value + valueCapacity, u'\0'));
  EXPECT_EQ(std::count(key + keyCapacity, key + 400, u'#'), 400 - keyCapacity);
  EXPECT_EQ(std::count(value + valueCapacity, value + 400, u'#'), 400 - valueCapacity);
  return entry;
}

class EntryOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddLine(&doc, u"S", u"a", u"1");
    AddLine(&doc, u"S", u"b", u"2");
    AddLine(&doc, u"S", u"a", u"3");
  }
  DocumentModel doc;
};

TEST_F(EntryOperationsTest, EntriesAreNumberedFlatAcrossKeys) {
  AddLine(&doc, u"T", u"k", u"v");
  EXPECT_EQ(doc.CountEntries(u"S", nullptr), 3u);
  EXPECT_EQ(doc.CountEntries(u"s", u"A"), 2u);
  EXPECT_EQ(doc.CountEntries(u"S", u"missing"), 0u);
  EXPECT_EQ(doc.CountEntries(u"missing", nullptr), 0u);
  EXPECT_EQ(doc.CountEntries(nullptr, nullptr), 0u);
  EXPECT_EQ(doc.CountEntriesAt(1, u"K"), 1u);
  EXPECT_EQ(doc.CountEntriesAt(2, nullptr), 0u);
  const char16_t* expected[][2] = {{u"a", u"1"}, {u"a", u"3"}, {u"b", u"2"}};
  for (uint32_t i = 0; i < 3; ++i) {
    Entry entry = Read(doc, u"S", i);
    EXPECT_EQ(entry.status, ReadStatus::Ok) << i;
    EXPECT_EQ(entry.key, expected[i][0]) << i;
    EXPECT_EQ(entry.value, expected[i][1]) << i;
    EXPECT_EQ(entry.keyLength, 2u);
    EXPECT_EQ(entry.valueLength, 2u);
  }
  EXPECT_EQ(Read(doc, u"S", 3).status, ReadStatus::NoEntry);
  EXPECT_EQ(Read(doc, u"U", 0).status, ReadStatus::NoSection);
  EXPECT_EQ(Read(doc, nullptr, 0).status, ReadStatus::NoSection);
  char16_t key[8], value[8];
  uint32_t keyLength = 8, valueLength = 8;
  EXPECT_EQ(doc.GetEntryAt(1, 0, key, &keyLength, value, &valueLength, ReadFlags::None),
            ReadStatus::Ok);
  EXPECT_EQ(std::u16string(value), u"v");
  EXPECT_EQ(doc.GetEntryAt(2, 0, key, &keyLength, value, &valueLength, ReadFlags::None),
            ReadStatus::NoSection);
}

// A value at a position of the key is replaced; past its values, or for a
// new key or section, it is added at the end. Names meet folded, and keep
// the spelling first met.
TEST_F(EntryOperationsTest, SetEntryReplacesInPlaceOrAppends) {
  doc.SetEntry(u"S", u"A", 0, u"one");
  doc.SetEntry(u"s", u"a", 1, u"three");
  doc.SetEntry(u"S", u"a", kAppendPosition, u"four");
  doc.SetEntry(u"S", u"a", 7, u"beyond");
  doc.SetEntry(u"S", u"c", 0, u"new");
  doc.SetEntry(u"New", u"k", 0, u"v");
  const char16_t* expected[][2] = {{u"a", u"one"},    {u"a", u"three"}, {u"a", u"four"},
                                   {u"a", u"beyond"}, {u"b", u"2"},     {u"c", u"new"}};
  for (uint32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(Read(doc, u"S", i).key, expected[i][0]) << i;
    EXPECT_EQ(Read(doc, u"S", i).value, expected[i][1]) << i;
  }
  ASSERT_EQ(doc.GetSectionCount(), 2u);
  EXPECT_EQ(doc.sections.tail()->name, u"New");
  EXPECT_EQ(doc.CountEntries(u"new", nullptr), 1u);
  EXPECT_TRUE(doc.sections.tail()->comment.Empty());
}

TEST(EntryQuotesTest, EnclosingQuotesAreRemovedUnlessKept) {
  const struct {
    const char16_t* stored;
    const char16_t* read;
    const char16_t* keptRead;
  } cases[] = {
      {u"\"quoted\"", u"quoted", u"\"quoted\""},
      {u"\"in\"ner\"", u"in\"ner", u"\"in\"ner\""},
      {u"\"\"", u"", u"\"\""},
      {u"\"", u"\"", u"\""},
      {u"\"open", u"\"open", u"\"open"},
      {u"close\"", u"close\"", u"close\""},
  };
  for (const auto& c : cases) {
    DocumentModel doc;
    doc.SetEntry(u"S", u"k", kAppendPosition, c.stored);
    Entry plain = Read(doc, u"S", 0);
    EXPECT_EQ(plain.status, ReadStatus::Ok);
    EXPECT_EQ(plain.value, c.read) << std::u16string(c.stored).size();
    EXPECT_EQ(Read(doc, u"S", 0, ReadFlags::KeepQuotes).value, c.keptRead);
    EXPECT_EQ(Read(doc, u"S", 0, ReadFlags::Expand).value, c.read);  // no table: no expansion
  }
}

// A key or value longer than its buffer is cut and reported with the size it
// needs; an empty value and a bare key read as success with the value's
// length left as it was; no unit past a capacity is written.
TEST(EntryBufferTest, CutsAtTheCapacitiesAndReportsTheSizesNeeded) {
  const std::u16string longKey(300, u'k');
  const struct {
    std::u16string key;
    const char16_t* value;
    uint32_t keyCapacity, valueCapacity;
    ReadStatus status;
    std::u16string keyRead;
    const char16_t* valueRead;
    uint32_t keyLength, valueLength;
  } cases[] = {
      {longKey, u"value", 260, 260, ReadStatus::BufferTooSmall, longKey.substr(0, 259), u"value",
       301, 6},
      {longKey, u"", 260, 77, ReadStatus::Ok, longKey.substr(0, 259), u"", 301, 77},
      {longKey, u"\n", 260, 77, ReadStatus::Ok, longKey.substr(0, 259), u"", 301, 77},
      {u"k", u"value", 260, 6, ReadStatus::Ok, u"k", u"value", 2, 6},
      {u"k", u"value", 260, 5, ReadStatus::BufferTooSmall, u"k", u"valu", 2, 6},
      {u"k", u"value", 260, 1, ReadStatus::BufferTooSmall, u"k", u"", 2, 6},
      {u"key", u"value", 0, 0, ReadStatus::BufferTooSmall, u"", u"", 4, 6},
      {u"", u"v", 260, 2, ReadStatus::Ok, u"", u"v", 1, 2},  // a key with no units to copy
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.key.size() << " " << c.keyCapacity << " " << c.valueCapacity);
    DocumentModel doc;
    doc.SetEntry(u"S", c.key.c_str(), kAppendPosition, c.value);
    Entry entry = Read(doc, u"S", 0, ReadFlags::None, c.keyCapacity, c.valueCapacity);
    EXPECT_EQ(entry.status, c.status);
    EXPECT_EQ(entry.key, c.keyRead);
    EXPECT_EQ(entry.value, c.valueRead);
    EXPECT_EQ(entry.keyLength, c.keyLength);
    EXPECT_EQ(entry.valueLength, c.valueLength);
  }
}

TEST(SectionNameTest, StatusesAndSizes) {
  DocumentModel doc;
  doc.SetEntry(u"twenty-characters-xx", u"k", kAppendPosition, u"v");
  char16_t buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  uint32_t length = 10;
  EXPECT_EQ(doc.GetSectionName(0, buffer, &length), ReadStatus::BufferTooSmall);
  EXPECT_EQ(length, 21u);
  EXPECT_EQ(buffer[0], u'#');  // untouched
  length = 21;
  EXPECT_EQ(doc.GetSectionName(0, nullptr, &length), ReadStatus::BufferTooSmall);
  EXPECT_EQ(doc.GetSectionName(0, buffer, &length), ReadStatus::Ok);
  EXPECT_EQ(std::u16string(buffer), u"twenty-characters-xx");
  length = 5;
  EXPECT_EQ(doc.GetSectionName(1, buffer, &length), ReadStatus::NoSection);
  EXPECT_EQ(length, 5u);
  // Found by the merge fuzzer: an empty name has no units to copy.
  DocumentModel unnamed;
  unnamed.SetEntry(u"", u"k", kAppendPosition, u"v");
  EXPECT_EQ(unnamed.GetSectionName(0, buffer, &length), ReadStatus::Ok);
  EXPECT_EQ(std::u16string(buffer), u"");
}

}  // namespace
}  // namespace qds
