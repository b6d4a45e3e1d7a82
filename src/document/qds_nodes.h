// The nodes of a QDS document: a section holds keys, a key holds values.
//
// A value's `name` is its text and its `comment` the comment text that stood
// before the entry line that made it. A value whose text is a single line
// feed is a bare key: its line had a key and no "=".

#ifndef KNITFOLD_DOCUMENT_QDS_NODES_H_
#define KNITFOLD_DOCUMENT_QDS_NODES_H_

#include <string_view>

#include "document/node_list.h"

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

class QdsSection : public ListNode {
 public:
  using ListNode::ListNode;
  NodeList<QdsKey> keys;
  // The number of entries: the value counts of all keys added up.
  uint32_t EntryCount() const;
};

}  // namespace qds

#endif  // KNITFOLD_DOCUMENT_QDS_NODES_H_
