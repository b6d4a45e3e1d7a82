// The nodes of a QDS document: a section holds keys, a key holds values.
//
// A value's `name` is its text and its comment the comment text that stood
// before the entry line that made it, kept as the note of its name. A value
// whose text is a single line feed is a bare key: its line had a key and no
// "=". Keys have no comment.
//
// A section keeps its entry count, and the place of the entry last found by
// flat position, current through every change of its keys list and of its
// keys' values lists: counting its entries costs nothing, and a pass over its
// entries in order costs one step per entry. The places that reads move are
// shared hints (SharedHint), so that threads may read one section at once.
//
// Values and keys are the bulk of a document's memory, so their lists carry
// only what they use: a key's values are never searched by name and always
// watched by the key's section, which each change of them names.

#ifndef KNITFOLD_MODEL_QDS_NODES_H_
#define KNITFOLD_MODEL_QDS_NODES_H_

#include <string_view>
#include <utility>

#include "model/node_list.h"

namespace qds {

inline constexpr char16_t kBareKeyValue[] = u"\n";

class QdsSection;

class QdsValue final : public ListNode {
 public:
  using ListNode::ListNode;
  bool IsBareKey() const { return !name.Empty() && name[0] == u'\n'; }

  std::u16string_view Comment() const { return name.Note(); }
  void SetComment(TextSlice comment) { name.SetNote(std::move(comment)); }
  TextSlice TakeComment() { return name.TakeNote(); }
  // The comment, to change in place.
  TextSlice* MutableComment() { return name.MutableNote(); }
};

// A key's values. Each change and each read by position names `holder`, the
// section that holds the key (null while the key is in none), which keeps
// its figures current and the position cursor of its keys' values: a key
// then needs no cursor of its own.
class ValueList : public LinkedList {
 public:
  ValueList() = default;
  ~ValueList() { DeleteAll<QdsValue>(); }

  QdsValue* head() const { return static_cast<QdsValue*>(head_); }
  QdsValue* tail() const { return static_cast<QdsValue*>(TailNode()); }
  static QdsValue* Next(const QdsValue* value) { return static_cast<QdsValue*>(value->next); }

  void AddTail(QdsValue* value, QdsSection* holder);
  // The value at `position`, or null when the position is not below count().
  QdsValue* NodeAt(uint32_t position, const QdsSection* holder) const;
  void InsertAt(uint32_t position, QdsValue* value, QdsSection* holder);
  QdsValue* Remove(QdsValue* value, QdsSection* holder);
  QdsValue* RemoveHead(QdsSection* holder) { return head_ ? Remove(head(), holder) : nullptr; }
  QdsValue* RemoveTail(QdsSection* holder) { return head_ ? Remove(tail(), holder) : nullptr; }
  QdsValue* RemoveAt(uint32_t position, QdsSection* holder) {
    QdsValue* value = NodeAt(position, holder);
    return value ? Remove(value, holder) : nullptr;
  }

 private:
  // `holder`'s cursor, if it is aimed at this list; none (knowing no
  // position) for a key in no section.
  ListCursor LoadCursor(const QdsSection* holder) const;
  // Aims `holder`'s cursor at this list, at `cursor`.
  void StoreCursor(const QdsSection* holder, const ListCursor& cursor) const;
};

class QdsKey final : public ListNode {
 public:
  using Holder = QdsSection;
  using ListNode::ListNode;
  ValueList values;
};

class QdsSection final : public ListNode {
 public:
  explicit QdsSection(std::u16string_view nameText) : ListNode(nameText) { keys.SetHolder(this); }
  explicit QdsSection(const char16_t* nameText) : ListNode(nameText) { keys.SetHolder(this); }
  explicit QdsSection(TextSlice nameText) : ListNode(std::move(nameText)) { keys.SetHolder(this); }

  TextSlice comment;
  NodeList<QdsKey> keys;

  // The number of entries: the value counts of all keys added up.
  uint32_t EntryCount() const { return entryCount_; }
  // The key that holds the entry at flat `position`, which must be below
  // EntryCount(); *local receives the entry's position among its values.
  QdsKey* KeyOfEntry(uint32_t position, uint32_t* local) const;

 private:
  friend class ValueList;
  friend class NodeList<QdsKey>;

  // Told by the keys list of a key that has joined it, or is leaving.
  void NodeLinked(QdsKey* key);
  void NodeUnlinking(QdsKey* key);
  // A key of this section gained (+1) or is losing (-1) one value.
  void ValueCountChanging(const ValueList& values, int delta);
  void KeyCountChanging(QdsKey* key, int sign);

  // The key that held the entry last found by position (null: none known)
  // and the flat position of its first value.
  std::pair<QdsKey*, uint32_t> LoadFlat() const {
    auto [key, start] = flat_.Load();
    return {static_cast<QdsKey*>(NodePool::At(key)), start};
  }
  void StoreFlat(const QdsKey* key, uint32_t start) const {
    flat_.Store(NodePool::ReferenceTo(key), start);
  }

  // A section is as many words as a few lines: its links are references,
  // as a node's are.
  uint32_t entryCount_ = 0;
  mutable SharedHint<NodePool::Reference, uint32_t> flat_;
  // The position cursor of the values of one key, a cache that reads move
  // too: the values list it is aimed at (0: none) and its node, and that
  // node again with its position. A load that finds two nodes found two
  // stores of different threads, and knows no position; one node is one
  // list's, at one position. The values list lies in its key, in the node
  // pool.
  mutable SharedHint<NodePool::Reference, NodePool::Reference> valueList_;
  mutable SharedHint<NodePool::Reference, uint32_t> valueNode_;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_QDS_NODES_H_
