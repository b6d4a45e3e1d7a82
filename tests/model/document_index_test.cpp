// The indexes of a document (sections and keys by name, entries by flat
// position, entry counts) must give exactly the answers of a plain walk of the
// lists. These tests drive documents through random sequences of SetEntry
// and direct list changes, and compare every answer with a reference
// model that does everything the slow, literal way.

#include <gtest/gtest.h>
#include <qds/document.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/text.h"
#include "model/document_model.h"

namespace qds {
namespace {

struct ModelKey {
  std::u16string name;
  std::vector<std::u16string> values;
};

struct ModelSection {
  std::u16string name;
  std::vector<ModelKey> keys;
};

// The literal document: vectors walked from the front.
struct Model {
  std::vector<ModelSection> sections;

  template <typename T>
  static int FindFirst(const std::vector<T>& items, std::u16string_view name) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (EqualsIgnoreAsciiCase(items[i].name, name)) return static_cast<int>(i);
    }
    return -1;
  }

  static uint32_t Count(const ModelSection& section) {
    uint32_t total = 0;
    for (const ModelKey& key : section.keys) total += static_cast<uint32_t>(key.values.size());
    return total;
  }

  void SetEntry(const std::u16string& section, const std::u16string& key, uint32_t position,
                const std::u16string& value) {
    int s = FindFirst(sections, section);
    if (s < 0) {
      sections.push_back({section, {{key, {value}}}});
      return;
    }
    std::vector<ModelKey>& keys = sections[s].keys;
    int k = FindFirst(keys, key);
    if (k < 0) {
      keys.push_back({key, {value}});
    } else if (position < keys[k].values.size()) {
      keys[k].values[position] = value;
    } else {
      keys[k].values.push_back(value);
    }
  }
};

// Names that meet and part under the name comparison: ASCII case variants
// meet, the non-ASCII letters do not.
const std::u16string kNames[] = {u"alpha",   u"ALPHA", u"Alpha", u"beta", u"BETA", u"\u00C4x",
                                 u"\u00E4x", u"gamma", u"k",     u"K",    u"",     u"delta"};

class IndexedDocumentTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  // One of the names above, mostly with one of `suffixes` numbered
  // suffixes, so that lists grow past the size at which they are indexed.
  std::u16string RandomName(uint32_t suffixes = 40) {
    std::u16string name = kNames[Pick(std::size(kNames))];
    if (Pick(3) != 0) name += u"_" + Number(Pick(suffixes));
    return name;
  }
  std::u16string RandomSectionName() { return RandomName(3); }
  static std::u16string Number(uint32_t n) {
    std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
  }
  uint32_t Pick(size_t bound) {
    return std::uniform_int_distribution<uint32_t>(0, static_cast<uint32_t>(bound) - 1)(random_);
  }

  // One entry read both ways must agree.
  void ExpectEntry(QdsSection* section, const ModelSection& model, uint32_t position) {
    uint32_t local = 0;
    QdsKey* key = section->KeyOfEntry(position, &local);
    uint32_t before = 0;
    size_t k = 0;
    while (before + model.keys[k].values.size() <= position) {
      before += static_cast<uint32_t>(model.keys[k++].values.size());
    }
    ASSERT_EQ(key->name.View(), model.keys[k].name) << "entry " << position;
    ASSERT_EQ(local, position - before) << "entry " << position;
    ASSERT_EQ(key->values.NodeAt(local, section)->name.View(), model.keys[k].values[local]);
  }

  // The whole document against the model: structure, lookups by name (also
  // of names nobody has), counts and every entry by position.
  void ExpectSameDocument() {
    ASSERT_EQ(document_.GetSectionCount(), model_.sections.size());
    QdsSection* section = document_.sections.head();
    for (const ModelSection& expected : model_.sections) {
      ASSERT_EQ(section->name.View(), expected.name);
      ASSERT_EQ(section->EntryCount(), Model::Count(expected))
          << "section " << ToUtf8(expected.name);
      for (uint32_t k = 0; k < expected.keys.size(); ++k) {
        const std::u16string& name = expected.keys[k].name;
        int first = Model::FindFirst(expected.keys, name);
        ASSERT_EQ(section->keys.FindByName(name),
                  section->keys.NodeAt(static_cast<uint32_t>(first)));
        // Whether the name is shared, as a rename asks.
        bool shared = std::count_if(expected.keys.begin(), expected.keys.end(), [&](auto& other) {
                        return EqualsIgnoreAsciiCase(other.name, name);
                      }) > 1;
        ASSERT_EQ(section->keys.OtherBears(section->keys.NodeAt(k), name), shared);
      }
      // Forward and backward, as passes over a section read.
      for (uint32_t i = 0; i < Model::Count(expected); ++i) ExpectEntry(section, expected, i);
      for (uint32_t i = Model::Count(expected); i-- > 0;) ExpectEntry(section, expected, i);
      section = NodeList<QdsSection>::Next(section);
    }
    for (int probe = 0; probe < 20; ++probe) ExpectSameLookup(RandomSectionName());
  }

  void ExpectSameLookup(const std::u16string& name) {
    int s = Model::FindFirst(model_.sections, name);
    uint32_t expected = s < 0 ? 0 : Model::Count(model_.sections[s]);
    ASSERT_EQ(document_.CountEntries(name.c_str(), nullptr), expected) << ToUtf8(name);
    QdsSection* found = document_.sections.FindByName(name);
    ASSERT_EQ(found == nullptr, s < 0);
    if (found != nullptr) {
      ASSERT_EQ(found, document_.sections.NodeAt(static_cast<uint32_t>(s)));
    }
  }

  static std::string ToUtf8(std::u16string_view text) {
    return std::string(text.begin(), text.end());
  }

  // Changes the document and the model alike in one of several ways.
  void RandomChange() {
    uint32_t choice = Pick(20);
    if (choice < 15 || model_.sections.empty()) return RandomSetEntry();
    uint32_t s = Pick(model_.sections.size());
    QdsSection* section = document_.sections.NodeAt(s);
    std::vector<ModelKey>& keys = model_.sections[s].keys;
    switch (choice) {
      case 15: {  // a key inserted anywhere, even under a name already there
        uint32_t at = Pick(keys.size() + 1);
        ModelKey key{RandomName(), {u"inserted"}};
        auto* node = new QdsKey(key.name);
        node->values.AddTail(new QdsValue(key.values[0]), nullptr);
        section->keys.InsertAt(at, node);
        keys.insert(keys.begin() + at, key);
        return;
      }
      case 16:  // a key removed
        if (keys.empty()) return;
        {
          uint32_t at = Pick(keys.size());
          delete section->keys.RemoveAt(at);
          keys.erase(keys.begin() + at);
        }
        return;
      case 17: {  // a value removed, which may leave its key without values
        if (keys.empty()) return;
        uint32_t k = Pick(keys.size());
        if (keys[k].values.empty()) return;
        uint32_t at = Pick(keys[k].values.size());
        delete section->keys.NodeAt(k)->values.RemoveAt(at, section);
        keys[k].values.erase(keys[k].values.begin() + at);
        return;
      }
      case 18: {  // a section put first, which hides any later one of its name
        auto* node = new QdsSection(RandomSectionName());
        document_.sections.AddHead(node);
        model_.sections.insert(model_.sections.begin(), {std::u16string(node->name.View()), {}});
        return;
      }
      default:  // a section removed
        delete document_.sections.RemoveAt(s);
        model_.sections.erase(model_.sections.begin() + s);
        return;
    }
  }

  void RandomSetEntry() {
    std::u16string section = RandomSectionName();
    std::u16string key = RandomName();
    std::u16string value = u"v" + Number(Pick(1000));
    uint32_t position = Pick(4) == 0 ? Pick(3) : kAppendPosition;
    document_.SetEntry(section.c_str(), key.c_str(), position, value.c_str());
    model_.SetEntry(section, key, position, value);
  }

  std::mt19937 random_{GetParam()};
  DocumentModel document_;
  Model model_;
};

TEST_P(IndexedDocumentTest, RandomChangesKeepEveryAnswerOfTheLiteralWalk) {
  for (int step = 0; step < 5000; ++step) {
    ASSERT_NO_FATAL_FAILURE(RandomChange());
    // A read by position between changes checks that the remembered place
    // in the section follows every change.
    if (!model_.sections.empty()) {
      uint32_t s = Pick(model_.sections.size());
      uint32_t total = Model::Count(model_.sections[s]);
      if (total > 0) {
        ASSERT_NO_FATAL_FAILURE(
            ExpectEntry(document_.sections.NodeAt(s), model_.sections[s], Pick(total)));
      }
    }
    if (step % 100 == 99) {
      ASSERT_NO_FATAL_FAILURE(ExpectSameDocument()) << "step " << step;
    }
  }
  ASSERT_NO_FATAL_FAILURE(ExpectSameDocument());
}

INSTANTIATE_TEST_SUITE_P(Seeds, IndexedDocumentTest, ::testing::Values(1u, 2u, 3u, 4u));

// A section of many keys is filled and passed over, forward and backward, in
// time proportional to its size: a search by name or a walk from the first
// key for each entry would not finish in the test's time.
TEST(IndexedSectionTest, PassesOverManyKeysReadEveryEntryInOrder) {
  constexpr uint32_t kKeys = 100000;
  DocumentModel document;
  for (uint32_t i = 0; i < kKeys; ++i) {
    std::string name = "key" + std::to_string(i);
    std::u16string key(name.begin(), name.end());
    document.SetEntry(u"S", key.c_str(), kAppendPosition, u"1");
    document.SetEntry(u"s", key.c_str(), kAppendPosition, u"2");
  }
  QdsSection* section = document.sections.head();
  ASSERT_EQ(document.CountEntries(u"S", nullptr), 2 * kKeys);
  auto expectKey = [&](uint32_t position) {
    uint32_t local = 0;
    QdsKey* key = section->KeyOfEntry(position, &local);
    std::string name = "key" + std::to_string(position / 2);
    ASSERT_EQ(key->name.View(), std::u16string(name.begin(), name.end()));
    ASSERT_EQ(local, position % 2);
  };
  for (uint32_t i = 0; i < 2 * kKeys; ++i) ASSERT_NO_FATAL_FAILURE(expectKey(i));
  for (uint32_t i = 2 * kKeys; i-- > 0;) ASSERT_NO_FATAL_FAILURE(expectKey(i));
}

}  // namespace
}  // namespace qds
