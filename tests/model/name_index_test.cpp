// How a name index grows: in place, each name put back under the doubled
// mask while others still wait in their old slots. Finding by name is
// checked against a plain walk in document_index_test.cpp.

#include "model/name_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/qds_nodes.h"

namespace qds {
namespace {

// Names whose slots lie around the end of a table of 32, where probe runs
// wrap to its start, or at its start and middle, where a name moves up from
// the start of a table of 16, are added in many orders; every name must
// stay found through each growth.
TEST(NameIndexTest, GrowingKeepsEveryNameFoundWhereverItsProbeRunWraps) {
  std::vector<std::u16string> names;
  for (int i = 0; names.size() < 48; ++i) {
    std::string text = "n" + std::to_string(i);
    std::u16string name(text.begin(), text.end());
    uint32_t slot = NameIndex::Hash(name) & 31;
    if (slot >= 26 || slot % 16 < 2) names.push_back(name);
  }
  std::mt19937 random(7);
  for (int order = 0; order < 60; ++order) {
    std::shuffle(names.begin(), names.end(), random);
    std::vector<std::unique_ptr<QdsKey>> nodes;
    NameIndex index(nullptr, [](ListNode* node) { return &static_cast<QdsKey*>(node)->nameHash; });
    for (const std::u16string& name : names) {
      nodes.push_back(std::make_unique<QdsKey>(name));
      index.Added(nodes.back().get(), true, NameIndex::Hash(name));
      for (const auto& node : nodes) {
        ASSERT_EQ(index.Find(node->name.View()), node.get()) << "order " << order;
      }
    }
  }
}

}  // namespace
}  // namespace qds
