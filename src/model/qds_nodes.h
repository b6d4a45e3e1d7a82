// The nodes of a QDS document: a section holds keys, a key holds values.
//
// A value's `name` is its text and its `comment` the comment text that stood
// before the entry line that made it. A value whose text is a single line
// feed is a bare key: its line had a key and no "=".
//
// A section keeps its entry count, and the place of the entry last found by
// flat position, current through every change of its keys list and of its
// keys' values lists: counting its entries costs nothing, and a pass over its
// entries in order costs one step per entry.

#ifndef KNITFOLD_MODEL_QDS_NODES_H_
#define KNITFOLD_MODEL_QDS_NODES_H_

#include <string_view>
#include <utility>

#include "model/node_list.h"

namespace qds {

inline constexpr char16_t kBareKeyValue[] = u"\n";

class QdsValue : public ListNode {
 public:
  using ListNode::ListNode;
  bool IsBareKey() const { return !name.Empty() && name[0] == u'\n'; }
};

class QdsKey : public ListNode {
 public:
  using ListNode::ListNode;
  NodeList<QdsValue> values;
};

class QdsSection : public ListNode, private ListWatcher {
 public:
  explicit QdsSection(std::u16string_view nameText) : ListNode(nameText) { keys.SetWatcher(this); }
  explicit QdsSection(const char16_t* nameText) : ListNode(nameText) { keys.SetWatcher(this); }
  explicit QdsSection(TextSlice nameText) : ListNode(std::move(nameText)) {
    keys.SetWatcher(this);
  }

  NodeList<QdsKey> keys;

  // The number of entries: the value counts of all keys added up.
  uint32_t EntryCount() const { return entryCount_; }
  // The key that holds the entry at flat `position`, which must be below
  // EntryCount(); *local receives the entry's position among its values.
  QdsKey* KeyOfEntry(uint32_t position, uint32_t* local);

 private:
  void NodeLinked(const NodeListBase& list, ListNode* node) override;
  void NodeUnlinking(const NodeListBase& list, ListNode* node) override;
  // A key of this section gained (+1) or is losing (-1) one value.
  void ValueCountChanging(const NodeListBase& values, int delta);
  void KeyCountChanging(QdsKey* key, int sign);

  uint32_t entryCount_ = 0;
  // The key that held the entry last found by position (null: none known)
  // and the flat position of its first value.
  QdsKey* flatKey_ = nullptr;
  uint32_t flatStart_ = 0;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_QDS_NODES_H_
