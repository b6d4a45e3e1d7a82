// What a NodeList owns and hands back, and what a batch append leaves.
// Finding by name and inserting anywhere are checked against a plain walk in
// document_index_test.cpp, a dropped index by the merge in
// merge_documents_test.cpp.

#include "model/node_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/qds_nodes.h"

namespace qds {
namespace {

// A node that counts its deletions, to check ownership.
struct CountedNode : ListNode {
  CountedNode(std::u16string_view name, int* deleted) : ListNode(name), deleted(deleted) {}
  ~CountedNode() { ++*deleted; }
  int* deleted;
};

std::u16string Names(NodeList<CountedNode>& list) {
  std::u16string names;
  for (ListNode* node = list.head(); node != nullptr; node = node->next) names += node->name.View();
  return names;
}

// Removal hands nodes back unlinked, whatever the cursor; destruction and
// RemoveAll delete every node still in the list once, and leave an emptied
// list, its index (past the index threshold) and, for a section's keys, the
// section's entry count as good as new.
TEST(NodeListTest, RemovedNodesAreHandedBackAndTheRestDeletedOnce) {
  int deleted = 0;
  {
    NodeList<CountedNode> list;
    EXPECT_EQ(list.NodeAt(0), nullptr);
    EXPECT_EQ(list.RemoveHead(), nullptr);
    for (char16_t c : std::u16string_view(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN")) {
      list.AddTail(new CountedNode(std::u16string_view(&c, 1), &deleted));
    }
    EXPECT_EQ(list.NodeAt(40), nullptr);
    EXPECT_EQ(list.NodeAt(0xFFFFFFFFu), nullptr);
    ASSERT_EQ(list.FindByName(u"C"), list.NodeAt(2));
    list.NodeAt(30);  // the cursor in the middle
    std::unique_ptr<CountedNode> removed[] = {
        std::unique_ptr<CountedNode>(list.RemoveAt(1)),
        std::unique_ptr<CountedNode>(list.RemoveHead()),
        std::unique_ptr<CountedNode>(list.RemoveTail()),
        std::unique_ptr<CountedNode>(list.Remove(list.NodeAt(1)))};
    for (const auto& node : removed) {
      EXPECT_EQ(node->prev, nullptr);
      EXPECT_EQ(node->next, nullptr);
    }
    EXPECT_EQ(Names(list), u"cefghijklmnopqrstuvwxyzABCDEFGHIJKLM");
    EXPECT_EQ(list.NodeAt(1)->name, u"e");
    EXPECT_EQ(list.FindByName(u"d"), list.NodeAt(26));  // "D": "d" left the index
    list.RemoveAll();
    EXPECT_EQ(deleted, 36);
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.head(), nullptr);
    EXPECT_EQ(list.tail(), nullptr);
    EXPECT_EQ(list.NodeAt(0), nullptr);
    EXPECT_EQ(list.FindByName(u"c"), nullptr);
    list.AddTail(new CountedNode(u"z", &deleted));
    list.AddHead(new CountedNode(u"y", &deleted));
    EXPECT_EQ(list.NodeAt(1), list.tail());
    EXPECT_EQ(list.FindByName(u"Z"), list.tail());
  }
  EXPECT_EQ(deleted, 42);

  // A section lies in the node pool, where its keys list finds it.
  auto section = std::make_unique<QdsSection>(u"S");
  for (int i = 0; i < 20; ++i) {
    auto* key = new QdsKey(std::u16string(1, static_cast<char16_t>(u'a' + i)));
    key->values.AddTail(new QdsValue(u"1"), nullptr);
    key->values.AddTail(new QdsValue(u"2"), nullptr);
    section->keys.AddTail(key);
  }
  uint32_t local = 0;
  ASSERT_EQ(section->KeyOfEntry(25, &local), section->keys.NodeAt(12));
  section->keys.RemoveAll();
  EXPECT_EQ(section->EntryCount(), 0u);
  auto* key = new QdsKey(u"k");
  key->values.AddTail(new QdsValue(u"v"), nullptr);
  section->keys.AddTail(key);
  EXPECT_EQ(section->EntryCount(), 1u);
  EXPECT_EQ(section->KeyOfEntry(0, &local), key);
}

// Nodes appended in a batch are found by name once the batch has
// ended; removing or renaming one of them meanwhile is safe.
TEST(NodeListTest, ABatchAppendLeavesNoIndexThatLacksNodes) {
  int deleted = 0;
  NodeList<CountedNode> list;
  auto add = [&](std::u16string_view names) {
    for (char16_t c : names) list.AddTail(new CountedNode(std::u16string_view(&c, 1), &deleted));
  };
  add(u"abcdefghijklmnopqrst");
  ASSERT_EQ(list.FindByName(u"T"), list.tail());  // builds the index
  NodeListBase::BatchAppend batch;
  batch.Begin(&list);
  add(u"uvw");
  delete list.Remove(list.tail());  // "w", never filed
  delete list.Remove(list.FindByName(u"b"));
  add(u"xy");
  list.Rename(list.tail(), u"z");  // "y", never filed
  EXPECT_EQ(list.FindByName(u"a"), list.head());
  batch.End();
  add(u"0");
  EXPECT_EQ(Names(list), u"acdefghijklmnopqrstuvxz0");
  for (uint32_t i = 0; i < list.count(); ++i) {
    EXPECT_EQ(list.FindByName(list.NodeAt(i)->name.View()), list.NodeAt(i)) << i;
  }
}

}  // namespace
}  // namespace qds
