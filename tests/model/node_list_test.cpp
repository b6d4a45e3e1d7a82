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
  ~CountedNode() override { ++*deleted; }
  int* deleted;
};

std::u16string Names(NodeList<ListNode>& list) {
  std::u16string names;
  for (ListNode* node = list.head(); node != nullptr; node = node->next) names += node->name.View();
  return names;
}

NodeList<ListNode>* Filled(std::u16string_view names) {
  auto* list = new NodeList<ListNode>;
  for (char16_t c : names) list->AddTail(new ListNode(std::u16string_view(&c, 1)));
  return list;
}

TEST(NodeListTest, PositionsBeyondTheEndYieldNothing) {
  NodeList<ListNode> empty;
  EXPECT_EQ(empty.NodeAt(0), nullptr);
  std::unique_ptr<NodeList<ListNode>> list(Filled(u"abc"));
  EXPECT_EQ(list->NodeAt(3), nullptr);
  EXPECT_EQ(list->NodeAt(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(list->NodeAt(2)->name, u"c");
}

TEST(NodeListTest, InsertAtPlacesBeforeTheNodeAtThatPosition) {
  const struct {
    uint32_t position;
    const char16_t* expected;
  } cases[] = {{0, u"Xabc"}, {1, u"aXbc"}, {2, u"abXc"}, {3, u"abcX"}, {99, u"abcX"}};
  for (const auto& c : cases) {
    std::unique_ptr<NodeList<ListNode>> list(Filled(u"abc"));
    list->InsertAt(c.position, new ListNode(u"X"));
    EXPECT_EQ(Names(*list), c.expected) << c.position;
    EXPECT_EQ(list->count(), 4u);
    // The new node is reachable by its position and the list links hold both ways.
    uint32_t at = std::min<uint32_t>(c.position, 3);
    EXPECT_EQ(list->NodeAt(at)->name, u"X");
    EXPECT_EQ(list->tail()->prev->next, list->tail());
  }
}

TEST(NodeListTest, RemovalUnlinksAndHandsTheNodeBack) {
  std::unique_ptr<NodeList<ListNode>> list(Filled(u"abcd"));
  list->NodeAt(2);  // move the cursor into the middle
  std::unique_ptr<ListNode> b(list->RemoveAt(1));
  EXPECT_EQ(b->name, u"b");
  EXPECT_EQ(b->prev, nullptr);
  EXPECT_EQ(b->next, nullptr);
  EXPECT_EQ(Names(*list), u"acd");
  // The cursor went back to the head: positions still resolve correctly.
  EXPECT_EQ(list->NodeAt(1)->name, u"c");
  std::unique_ptr<ListNode> head(list->RemoveHead());
  std::unique_ptr<ListNode> tail(list->RemoveTail());
  EXPECT_EQ(Names(*list), u"c");
  std::unique_ptr<ListNode> last(list->Remove(list->head()));
  EXPECT_EQ(list->count(), 0u);
  EXPECT_EQ(list->head(), nullptr);
  EXPECT_EQ(list->tail(), nullptr);
  EXPECT_EQ(list->RemoveHead(), nullptr);
}

TEST(NodeListTest, FindByNameTakesTheFirstMatchFoldingOnlyAscii) {
  NodeList<ListNode> list;
  for (const char16_t* name : {u"Alpha", u"\u00C4", u"ALPHA", u"\u00E4"}) list.AddTail(new ListNode(name));
  EXPECT_EQ(list.FindByName(u"alpha"), list.head());
  EXPECT_EQ(list.FindByName(u"\u00E4"), list.tail());
  EXPECT_EQ(list.FindByName(u"\u00C4"), list.head()->next);
  EXPECT_EQ(list.FindByName(u"beta"), nullptr);
}

TEST(NodeListTest, DestroyingTheListDeletesEveryNode) {
  int deleted = 0;
  {
    NodeList<CountedNode> list;
    for (int i = 0; i < 5; ++i) list.AddTail(new CountedNode(u"n", &deleted));
    list.AddHead(new CountedNode(u"h", &deleted));
  }
  EXPECT_EQ(deleted, 6);
}

// A dropped index is built again by the next search, from the nodes that
// are in the list by then.
TEST(NodeListTest, SearchesAfterTheIndexIsDroppedFindTheFirstOfEachName) {
  std::unique_ptr<NodeList<ListNode>> list(Filled(u"abcdefghijklmnopqrstABCDEFGHIJ"));
  ASSERT_EQ(list->FindByName(u"C"), list->NodeAt(2));
  list->DropIndex();
  for (int i = 0; i < 3; ++i) delete list->RemoveHead();
  list->AddTail(new ListNode(u"z"));
  EXPECT_EQ(Names(*list), u"defghijklmnopqrstABCDEFGHIJz");
  EXPECT_EQ(list->FindByName(u"c"), list->NodeAt(19));
  EXPECT_EQ(list->FindByName(u"D"), list->head());
  EXPECT_EQ(list->FindByName(u"Z"), list->tail());
  list->DropIndex();
  EXPECT_EQ(list->FindByName(u"a"), list->NodeAt(17));
}

// Emptying a list deletes every node and leaves it as good as new: its
// cursor, its index (a list past the index threshold) and, for a section's
// keys, the section's entry count, which only a watched list keeps.
TEST(NodeListTest, RemoveAllLeavesAnEmptyListReadyForUse) {
  int deleted = 0;
  NodeList<CountedNode> list;
  for (int i = 0; i < 40; ++i) {
    std::u16string name(1, static_cast<char16_t>(u'a' + i % 26));
    list.AddTail(new CountedNode(name, &deleted));
  }
  ASSERT_EQ(list.FindByName(u"C"), list.NodeAt(2));
  ASSERT_NE(list.NodeAt(30), nullptr);
  list.RemoveAll();
  EXPECT_EQ(deleted, 40);
  EXPECT_EQ(list.count(), 0u);
  EXPECT_EQ(list.head(), nullptr);
  EXPECT_EQ(list.tail(), nullptr);
  EXPECT_EQ(list.NodeAt(0), nullptr);
  EXPECT_EQ(list.FindByName(u"c"), nullptr);
  list.AddTail(new CountedNode(u"z", &deleted));
  EXPECT_EQ(list.NodeAt(0), list.head());
  EXPECT_EQ(list.FindByName(u"Z"), list.head());

  QdsSection section(u"S");
  for (int i = 0; i < 20; ++i) {
    auto* key = new QdsKey(std::u16string(1, static_cast<char16_t>(u'a' + i)));
    key->values.AddTail(new QdsValue(u"1"));
    key->values.AddTail(new QdsValue(u"2"));
    section.keys.AddTail(key);
  }
  uint32_t local = 0;
  ASSERT_EQ(section.KeyOfEntry(25, &local), section.keys.NodeAt(12));
  section.keys.RemoveAll();
  EXPECT_EQ(section.EntryCount(), 0u);
  auto* key = new QdsKey(u"k");
  key->values.AddTail(new QdsValue(u"v"));
  section.keys.AddTail(key);
  EXPECT_EQ(section.EntryCount(), 1u);
  EXPECT_EQ(section.KeyOfEntry(0, &local), key);
}

}  // namespace
}  // namespace qds
