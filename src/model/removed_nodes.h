// RemovedNodes: the parts that changes through a document's views took out
// of it, kept whole while views may still stand on them, so that a walk
// whose part was removed goes on with the part that followed it.
//
// A kept node is unlinked from its list, but its `next` still leads to the
// node that followed it (kept or not), and its `prev`, null as no node in a
// list has it, marks it removed; so are marked the nodes that it holds.
// The owner deletes them all once no view can reach them (every view of the
// document stale) and at its end.

#ifndef KNITFOLD_MODEL_REMOVED_NODES_H_
#define KNITFOLD_MODEL_REMOVED_NODES_H_

#include <vector>

#include "model/qds_nodes.h"

namespace qds {

class RemovedNodes {
 public:
  RemovedNodes() = default;
  RemovedNodes(const RemovedNodes&) = delete;
  RemovedNodes& operator=(const RemovedNodes&) = delete;
  ~RemovedNodes() { DeleteAll(); }

  // Whether `node` (one in a list or kept here) was removed.
  static bool IsRemoved(const ListNode* node) { return node->prev == nullptr; }

  // Makes room for one node of each kind, so that Keep cannot fail.
  void Reserve();
  // Takes `node`, just unlinked from the list where `next` followed it.
  void Keep(QdsValue* value, ListNode* next);
  void Keep(QdsKey* key, ListNode* next);
  void Keep(QdsSection* section, ListNode* next);

  void DeleteAll();

 private:
  std::vector<QdsValue*> values_;
  std::vector<QdsKey*> keys_;
  std::vector<QdsSection*> sections_;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_REMOVED_NODES_H_
