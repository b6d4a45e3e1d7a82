// Merging a compat document into a target: every entry lands where a plain
// walk of the sections would put it.

#include <gtest/gtest.h>
#include <qds/document.h>

#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "model/document_merge.h"
#include "model/document_model.h"

namespace qds {
namespace {

std::u16string Wide(const std::string& narrow) { return {narrow.begin(), narrow.end()}; }

std::u16string Name(const char* prefix, int number) {
  return Wide(std::string(prefix).append(std::to_string(number)));
}

// A section as a list of keys with their values, searched by a plain walk.
using Keys = std::vector<std::pair<std::u16string, std::vector<std::u16string>>>;

void Add(Keys* keys, const std::u16string& key, const std::u16string& value) {
  for (auto& [name, values] : *keys) {
    if (EqualsIgnoreAsciiCase(name, key)) return values.push_back(value);
  }
  keys->push_back({key, {value}});
}

Keys SectionOf(const QdsSection* section) {
  Keys keys;
  for (QdsKey* key = section->keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    keys.push_back({std::u16string(key->name.View()), {}});
    for (QdsValue* value = key->values.head(); value != nullptr; value = ValueList::Next(value)) {
      keys.back().second.emplace_back(value->name.View());
    }
  }
  return keys;
}

// The merge empties the compat section from the head while it reads ahead:
// a section long enough to be searched through an index, whose keys come
// again in other letter cases, with runs of keys without values (which leave
// the head together with the next entry), keys of several values and keys
// read cut short (to a target's key, or two to one new key), must add every
// entry where the plain walk does, into a
// target section searched through an index from the start, and leave that
// index right.
TEST(MergeDocumentsTest, EveryCompatEntryLandsWhereAWalkWouldPutIt) {
  DocumentModel target;
  DocumentModel compat;
  Keys expected;
  // A key with an empty value is read cut to 259 units: cut, it meets the
  // target's key of those units.
  const std::u16string longKey(300, u'k');
  const std::u16string cutKey(259, u'k');
  for (int i = 0; i < 40; i += 2) {
    target.SetEntry(u"Files", Name("File", i).c_str(), kAppendPosition, u"t");
    Add(&expected, Name("File", i), u"t");
  }
  target.SetEntry(u"Files", cutKey.c_str(), kAppendPosition, u"t");
  Add(&expected, cutKey, u"t");
  ASSERT_NE(target.sections.head()->keys.FindByName(u"file0"), nullptr);  // builds the index
  compat.SetEntry(u"Files", u"first", kAppendPosition, u"c");
  QdsSection* files = compat.sections.head();
  for (int i = 0; i < 90; ++i) {
    std::u16string key = Name(i % 3 == 0 ? "file" : i % 3 == 1 ? "NEW" : "new", i % 30);
    if (i % 4 == 0) {
      for (int empty = 0; empty < 1 + i % 5; ++empty) files->keys.AddTail(new QdsKey(u"empty"));
    }
    for (int value = 0; value < 1 + i % 3; ++value) {
      compat.SetEntry(u"Files", key.c_str(), kAppendPosition, Name("v", value).c_str());
    }
  }
  for (const auto& [key, values] : SectionOf(compat.sections.head())) {
    for (const auto& value : values) Add(&expected, key, value);
  }
  // A value that is not its text as read arrives as read (a quoted one
  // without its quotes, a bare key's empty, one with a comment without it);
  // one too long for the buffer is not read. So it does in a section new to
  // the target whose entries all read whole, which moves over as the merge
  // would rebuild it: without the comment before its header or the index of
  // its keys.
  const std::pair<const char16_t*, const char16_t*> read[] = {
      {u"\"q\"", u"q"}, {kBareKeyValue, u""}, {u"noted", u"noted"}};
  Keys expectedWhole;
  for (int i = 0; i < 20; ++i) {
    compat.SetEntry(u"Whole", Name("w", i).c_str(), kAppendPosition, u"v");
    Add(&expectedWhole, Name("w", i), u"v");
  }
  for (const char16_t* section : {u"Files", u"Whole"}) {
    for (const auto& [stored, readAs] : read) {
      compat.SetEntry(section, u"read", kAppendPosition, stored);
      Add(section == std::u16string_view(u"Files") ? &expected : &expectedWhole, u"read", readAs);
    }
    compat.sections.FindByName(section)->keys.tail()->values.tail()->SetComment(TextSlice(u"; c"));
  }
  QdsSection* source = compat.sections.FindByName(u"Whole");
  source->comment = TextSlice(u"; before");
  ASSERT_EQ(source->keys.FindByName(u"w1"), source->keys.NodeAt(1));  // builds the index
  compat.SetEntry(u"Files", u"read", kAppendPosition, std::u16string(300, u'v').c_str());
  compat.SetEntry(u"Files", longKey.c_str(), kAppendPosition, u"");
  Add(&expected, cutKey, u"");
  // Found by the merge fuzzer: two keys that the cut makes one, new to the
  // target.
  // The same in a section new to the target, which the merge makes.
  for (const char16_t* section : {u"Files", u"Extra"}) {
    for (size_t length : {300, 280}) {
      compat.SetEntry(section, std::u16string(length, u'q').c_str(), kAppendPosition, u"");
    }
  }
  Add(&expected, std::u16string(259, u'q'), u"");
  Add(&expected, std::u16string(259, u'q'), u"");

  MergeDocuments(&compat, &target);
  EXPECT_EQ(compat.GetSectionCount(), 0u);
  EXPECT_EQ(target.sections.FindByName(u"Extra")->keys.count(), 1u);
  const QdsSection* whole = target.sections.FindByName(u"Whole");
  EXPECT_EQ(SectionOf(whole), expectedWhole);
  EXPECT_EQ(whole->comment, u"");
  EXPECT_FALSE(whole->keys.indexed());
  ASSERT_EQ(SectionOf(target.sections.head()), expected);
  NodeList<QdsKey>& keys = target.sections.head()->keys;
  EXPECT_EQ(keys.FindByName(u"read")->values.tail()->Comment(), u"");
  for (uint32_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(keys.FindByName(expected[i].first), keys.NodeAt(i)) << i;
  }
}

// A compat section too small beside its destination to merge without filing
// its keys files each new key once, its name read cut short or not.
TEST(MergeDocumentsTest, ASmallSectionFilesEachNewKeyOnce) {
  DocumentModel target;
  DocumentModel compat;
  for (int i = 0; i < 40; ++i) target.SetEntry(u"S", Name("k", i).c_str(), kAppendPosition, u"t");
  ASSERT_NE(target.sections.head()->keys.FindByName(u"k0"), nullptr);  // builds the index
  const std::u16string cut(259, u'q');
  compat.SetEntry(u"S", (cut + u"q").c_str(), kAppendPosition, u"");
  compat.SetEntry(u"S", u"new", kAppendPosition, u"c");
  MergeDocuments(&compat, &target);
  NodeList<QdsKey>& keys = target.sections.head()->keys;
  for (const std::u16string& name : {cut, std::u16string(u"new")}) {
    delete keys.Remove(keys.FindByName(name));
    EXPECT_EQ(keys.FindByName(name), nullptr);
  }
}

}  // namespace
}  // namespace qds
