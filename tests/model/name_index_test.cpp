// How a name index grows: in place, from the last name down, each put back
// under the larger count while others still wait in their old slots; and on
// pages, within its reserved range and into a larger one.
// Finding by name is checked against a plain walk in
// document_index_test.cpp.

#include "model/name_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/text.h"
#include "model/qds_nodes.h"

namespace qds {
namespace {

// The slot where a name's search starts in a table of `count` slots: its
// share of the hash's 31 bits.
uint32_t HomeIn(uint32_t count, const std::u16string& name) {
  return static_cast<uint32_t>((uint64_t{NameIndex::Hash(name) & 0x7FFFFFFF} * count) >> 31);
}

// Names whose slots lie around the end of a table of 32, where probe runs
// wrap to its start, or at its start and middle, where probe runs reach
// past the new home of a name that waits, are added in many orders, the
// table growing from 16 slots to 24, 32, 48 and 64; every name must stay
// found through each growth.
TEST(NameIndexTest, GrowingKeepsEveryNameFoundWhereverItsProbeRunWraps) {
  std::vector<std::u16string> names;
  for (int i = 0; names.size() < 48; ++i) {
    std::string text = "n" + std::to_string(i);
    std::u16string name(text.begin(), text.end());
    uint32_t slot = HomeIn(32, name);
    if (slot >= 26 || slot % 16 < 2) names.push_back(name);
  }
  std::mt19937 random(7);
  for (int order = 0; order < 60; ++order) {
    std::shuffle(names.begin(), names.end(), random);
    std::vector<std::unique_ptr<QdsKey>> nodes;
    NameIndex index(nullptr, 0);
    for (const std::u16string& name : names) {
      nodes.push_back(std::make_unique<QdsKey>(name));
      index.Added(nodes.back().get(), true, NameIndex::Hash(name));
      for (const auto& node : nodes) {
        ASSERT_EQ(index.Find(node->name.View()), node.get()) << "order " << order;
      }
    }
  }
}

// An index of 200,000 names takes its slots from pages past 8,192 of them,
// grows within the range it reserved, and then moves to a larger one: at
// each stage every name is found, and a name never added is not.
TEST(NameIndexTest, SlotsOnPagesKeepEveryNameThroughEachGrowth) {
  std::vector<std::unique_ptr<QdsKey>> nodes;
  NameIndex index(nullptr, 0);
  for (size_t stage : {5000, 100000, 200000}) {
    while (nodes.size() < stage) {
      std::string text = "Key" + std::to_string(nodes.size());
      nodes.push_back(std::make_unique<QdsKey>(std::u16string(text.begin(), text.end())));
      index.Added(nodes.back().get(), true, NameIndex::Hash(nodes.back()->name.View()));
    }
    size_t lost = 0;
    for (const auto& node : nodes) lost += index.Find(node->name.View()) != node.get() ? 1 : 0;
    EXPECT_EQ(lost, 0u) << stage;
    EXPECT_EQ(index.Find(u"Key-1"), nullptr) << stage;
  }
}

// Every unit, at every place of a word of the hash and of its short tail,
// hashes as its folded form does (so A-Z meet a-z and nothing else meets:
// among 1.8 million other pairs, 32-bit hashes under a random key share a
// value 0.0004 times on average; a unit the hash dropped, thousands), and
// numbered names, which differ only in their last units, spread over the
// slots of a table.
TEST(NameIndexTest, HashFoldsEveryUnitAsTheComparisonDoesAndSpreadsNumberedNames) {
  int collisions = 0;
  for (uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
    auto c = static_cast<char16_t>(unit);
    for (size_t length = 1; length <= 7; ++length) {
      for (size_t at = 0; at < length; ++at) {
        std::u16string name(length, u'k');
        name[at] = c;
        std::u16string folded = name;
        folded[at] = FoldAscii(c);
        ASSERT_EQ(NameIndex::Hash(name), NameIndex::Hash(folded)) << unit << " " << length << at;
        if (FoldAscii(c) != c) continue;
        name[at] = static_cast<char16_t>(unit ^ 0x20);
        if (FoldAscii(name[at]) == name[at]) {
          collisions += NameIndex::Hash(name) == NameIndex::Hash(folded) ? 1 : 0;
        }
      }
    }
  }
  EXPECT_LE(collisions, 2);
  constexpr uint32_t kNames = 1 << 16;
  std::vector<bool> used(kNames);
  uint32_t distinct = 0;
  for (uint32_t i = 0; i < kNames; ++i) {
    std::string text = "File" + std::to_string(i);
    uint32_t slot = HomeIn(kNames, std::u16string(text.begin(), text.end()));
    distinct += used[slot] ? 0 : 1;
    used[slot] = true;
  }
  // Names thrown at random fill 1 - 1/e of as many slots: 63%.
  EXPECT_GT(distinct, kNames * 6 / 10);
}

}  // namespace
}  // namespace qds
