// ListNode and the lists that hold a QDS document's sections, a section's
// keys and a key's values.
//
// A LinkedList is the doubly linked chain with its position cursor. The
// head's back link points at the tail, so that a list needs no tail pointer
// of its own: a key, which holds a list of values, is a word smaller.
// Positions are 32-bit, and the cursor remembers the node last reached by
// position, so a pass that steps forward or backward one position at a time
// costs one step per node, the position last reached and the first and last
// positions are reached directly. Removing the node at the cursor, or one
// beside it, keeps the cursor's position, so that a pass that removes or
// replaces as it goes costs the same. It owns the nodes linked into it and
// deletes them as the type it holds: nodes have no virtual destructor, which
// would cost every node a pointer.
//
// A NodeList adds finding a node by name, and telling the node that holds
// the list (a section, of its keys) about the nodes that join or leave it,
// so that the holder can keep figures that depend on the list (a section
// keeps its entry count this way). A short list is
// searched by a walk; past kIndexThreshold nodes the first search builds a
// NameIndex, which every later change keeps current, so that each search
// costs constant expected time. A node's name must not change while the node
// is in a list, except through the list's Rename.

#ifndef KNITFOLD_MODEL_NODE_LIST_H_
#define KNITFOLD_MODEL_NODE_LIST_H_

#include <atomic>
#include <cassert>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include "common/prefetch.h"
#include "model/name_index.h"
#include "model/node_pool.h"
#include "model/shared_hint.h"
#include "model/text_slice.h"

namespace qds {

class LinkedList;
class ListNode;

// A link from one node to another, or to none: a NodePool reference, read
// and assigned as a pointer.
class NodeLink {
 public:
  NodeLink() = default;
  // Implicit both ways: a link stands for a pointer.
  NodeLink(ListNode* node) : reference_(NodePool::ReferenceTo(node)) {}  // NOLINT
  NodeLink& operator=(ListNode* node) {
    reference_ = NodePool::ReferenceTo(node);
    return *this;
  }
  operator ListNode*() const { return static_cast<ListNode*>(NodePool::At(reference_)); }  // NOLINT
  ListNode* operator->() const { return *this; }
  // The node as the type it is, as a static_cast of a pointer would give it.
  template <typename Node>
  explicit operator Node*() const {
    return static_cast<Node*>(static_cast<ListNode*>(*this));
  }

 private:
  NodePool::Reference reference_{};
};

class ListNode {
 public:
  explicit ListNode(std::u16string_view nameText) : name(nameText) {}
  // A null name is empty.
  explicit ListNode(const char16_t* nameText) : name(nameText) {}
  explicit ListNode(TextSlice nameText) : name(std::move(nameText)) {}
  ListNode(const ListNode&) = delete;
  ListNode& operator=(const ListNode&) = delete;

  // Nodes are many and small: they live in the node pool. A node is always
  // deleted as its own type, which passes the pool the size it was taken
  // with.
  static void* operator new(size_t size) { return NodePool::Allocate(size); }
  static void operator delete(void* node, size_t size) { NodePool::Free(node, size); }

  // The node before this one; for the head, the tail. None outside a list.
  NodeLink prev;
  NodeLink next;
  TextSlice name;

 protected:
  ~ListNode() = default;
};

// The type of the node that holds a list of `Node`s and hears of its
// changes: `Node::Holder` where `Node` names one (void: none). A holder
// has NodeLinked(Node*), told once a node has joined the list, and
// NodeUnlinking(Node*), told while a leaving node's links are still in
// place. Destroying a list tells nothing.
template <typename Node>
struct HolderOf {
  using Type = void;
};
template <typename Node>
requires requires { typename Node::Holder; }
struct HolderOf<Node> {
  using Type = typename Node::Holder;
};

// Where a list's position cursor stands: the node last reached by position
// and that position (no node: none known, and the next position is walked
// to from the head). A list of names keeps its own; the value lists of a
// section's keys share the section's, which a pass through the section's
// entries moves from key to key.
struct ListCursor {
  NodeLink node;
  uint32_t position = 0;
};

// A list's own cursor, which the threads reading the list may all move (see
// SharedHint): operations move a copy of it, stored back when they end.
class SharedCursor {
 public:
  ListCursor Load() const {
    auto [node, position] = hint_.Load();
    return {static_cast<ListNode*>(NodePool::At(node)), position};
  }
  void Store(const ListCursor& cursor) {
    hint_.Store(NodePool::ReferenceTo(cursor.node), cursor.position);
  }

 private:
  SharedHint<NodePool::Reference, uint32_t> hint_;
};

class LinkedList {
 public:
  LinkedList(const LinkedList&) = delete;
  LinkedList& operator=(const LinkedList&) = delete;

  uint32_t count() const { return count_; }

 protected:
  LinkedList() = default;
  ~LinkedList() = default;

  // Linking and unlinking move `cursor`, the list's, and tell no one.
  void LinkHead(ListNode* node, ListCursor* cursor);
  void LinkTail(ListNode* node, ListCursor* cursor);
  void LinkAt(uint32_t position, ListNode* node, ListCursor* cursor);
  // The cursor is a cache of where the last position lay, so that even a
  // reader moves it; a cursor that threads share is handed in as a copy
  // (SharedCursor).
  ListNode* NodeAtPosition(uint32_t position, ListCursor* cursor) const;
  // Unlinks `node` (which must be in this list) and hands it to the caller.
  ListNode* Unlink(ListNode* node, ListCursor* cursor);

  // Deletes every node as a `Node`, telling no one (the cursor included):
  // the chain is let go at once and deleted in order, the next node fetched
  // ahead while the current one goes.
  template <typename Node>
  void DeleteAll() {
    ListNode* node = head_;
    head_ = nullptr;
    count_ = 0;
    while (node != nullptr) {
      ListNode* next = node->next;
      Prefetch(next);
      delete static_cast<Node*>(node);
      node = next;
    }
  }

  ListNode* TailNode() const { return head_ != nullptr ? head_->prev : nullptr; }
  // The node before `node`, or null at the head.
  static ListNode* Before(const ListNode* node) {
    return node->prev->next == node ? node->prev : nullptr;
  }

  NodeLink head_;

 private:
  uint32_t count_ = 0;
};

class NodeListBase : public LinkedList {
 public:
  // Lists up to this long are searched by a walk; longer ones get an index.
  static constexpr uint32_t kIndexThreshold = 16;

  // Tells the list that it will not be searched for a while: a list about
  // to be emptied from its head, or read in order, lets its name index go,
  // whose upkeep would cost every removal; the next search of a long list
  // builds it again.
  void NoMoreSearches() { DropIndex(); }

  // A batch of nodes appended to a list, whose names no other node of the
  // list bears and which are not searched for while the batch lasts, except
  // those the caller keeps findable: filing them all in the name index as
  // they join would only grow it while the caller holds much else. Searches
  // meanwhile see the nodes filed before (the index finds no name of an
  // unfiled node, so removing one is safe). The end of the batch drops an
  // index that lacks nodes; the next search of a long list builds it again.
  class BatchAppend {
   public:
    BatchAppend() = default;
    BatchAppend(const BatchAppend&) = delete;
    BatchAppend& operator=(const BatchAppend&) = delete;
    ~BatchAppend() { End(); }

    // Starts the batch on `list`; the batch must not be under way.
    void Begin(NodeListBase* list) {
      list_ = list;
      list_->unfiledRun_ = true;
    }
    bool started() const { return list_ != nullptr; }
    // `node`, which has just joined, may be searched for during the batch.
    void KeepFindable(ListNode* node) {
      if (list_ != nullptr) list_->Index(node, std::nullopt);
    }
    void End();

   private:
    NodeListBase* list_ = nullptr;
  };

  // Whether searches go through a name index, which files each name under
  // NameIndex::Hash(name).
  bool indexed() const { return index_.load(std::memory_order_relaxed) != nullptr; }

  // Gives `node`, which stays in its place, the name `name`: the index files
  // it anew, the holder hears nothing (the list is the same but for a name).
  void Rename(ListNode* node, std::u16string_view name);

 protected:
  NodeListBase() = default;
  ~NodeListBase() { DropIndex(); }

  // Brings the index up to date with `node`, which has just been linked in,
  // or is about to be unlinked. `hash`, when the caller has it at hand, is
  // NameIndex::Hash of the node's name.
  void Linked(ListNode* node, std::optional<uint32_t> hash = {});
  void Unlinking(ListNode* node);
  // The first node whose name equals `name` with A-Z folded; the cursor is
  // not touched. A caller that has NameIndex::Hash(name) at hand passes it.
  ListNode* FindNode(std::u16string_view name) const;
  ListNode* FindNode(std::u16string_view name, uint32_t hash) const;
  bool OtherBears(const ListNode* node, std::u16string_view name) const;
  // Frees the name index, if the list has one.
  void DropIndex();

  bool unfiledRun_ = false;  // a BatchAppend is under way
  bool indexLacksNodes_ = false;
  // The node that holds the list, told of its changes (0: none): a
  // reference rather than a pointer, so that it fills the room after the
  // flags and a section is two words smaller.
  NodePool::Reference holder_ = 0;
  mutable SharedCursor cursor_;

  // Moves the list's cursor through one operation: a copy of it for the
  // operation, stored back at the end of the full expression.
  class CursorCopy {
   public:
    explicit CursorCopy(SharedCursor* shared) : shared_(shared), copy_(shared->Load()) {}
    CursorCopy(const CursorCopy&) = delete;
    CursorCopy& operator=(const CursorCopy&) = delete;
    ~CursorCopy() { shared_->Store(copy_); }
    operator ListCursor*() { return &copy_; }  // NOLINT: stands for the cursor

   private:
    SharedCursor* shared_;
    ListCursor copy_;
  };

 private:
  // Built by the first search of a long list: a cache that searching may
  // fill, hence mutable. Searches of a list that does not change may run on
  // several threads at once: each loads it with acquire, and the first
  // whose build is done publishes it (the others' builds go).
  mutable std::atomic<NameIndex*> index_ = nullptr;

  // The walks ahead of a load's or a merge's searches take a name's hash
  // ahead of the search, when they ask for its memory.
  friend class EntryWindow;
  friend class SectionEntriesAhead;

  // Asks for the memory that a search for `name` reads first, if the list
  // has an index: a caller that knows its next searches a few ahead spares
  // each the wait for memory. Changes nothing. Gives the name's
  // NameIndex::Hash when it took it (the list has an index), so that the
  // search need not take it again.
  std::optional<uint32_t> PrefetchName(std::u16string_view name) const;

  // Files `node`, linked in, in the index (if there is one).
  void Index(ListNode* node, std::optional<uint32_t> hash);
  // The index that searches use, built by the first search of a long list;
  // null for a short one.
  const NameIndex* SearchIndex() const;
  ListNode* Walk(std::u16string_view name) const;
};

// A list whose nodes are all of type `Node`, found by name.
template <typename Node>
class NodeList : public NodeListBase {
 public:
  using Holder = typename HolderOf<Node>::Type;

  NodeList() = default;
  // A list that goes away with its holder has no one left to tell.
  ~NodeList() {
    holder_ = 0;
    RemoveAll();
  }

  // Tells `holder`, a node in the node pool, of later changes of this list.
  void SetHolder(const Holder* holder) requires(!std::is_void_v<Holder>) {
    holder_ = NodePool::ReferenceTo(holder);
    assert(NodePool::At(holder_) == holder && "a list's holder lies in the node pool");
  }

  Node* head() const { return static_cast<Node*>(head_); }
  Node* tail() const { return static_cast<Node*>(TailNode()); }
  static Node* Next(const Node* node) { return static_cast<Node*>(node->next); }
  static Node* Prev(const Node* node) { return static_cast<Node*>(Before(node)); }

  void AddHead(Node* node) {
    LinkHead(node, CursorCopy(&cursor_));
    Linked(node);
    TellLinked(node);
  }
  void AddTail(Node* node) { AddTail(node, std::nullopt); }
  // The node at `position`, or null when the position is not below count().
  Node* NodeAt(uint32_t position) const {
    return static_cast<Node*>(NodeAtPosition(position, CursorCopy(&cursor_)));
  }
  void InsertAt(uint32_t position, Node* node) {
    LinkAt(position, node, CursorCopy(&cursor_));
    Linked(node);
    TellLinked(node);
  }
  Node* RemoveHead() { return head_ ? Remove(head()) : nullptr; }
  Node* RemoveTail() { return head_ ? Remove(tail()) : nullptr; }
  Node* Remove(Node* node) {
    Unlinking(node);
    TellUnlinking(node);
    return static_cast<Node*>(Unlink(node, CursorCopy(&cursor_)));
  }
  Node* RemoveAt(uint32_t position) {
    Node* node = NodeAt(position);
    return node ? Remove(node) : nullptr;
  }
  Node* FindByName(std::u16string_view name) const { return static_cast<Node*>(FindNode(name)); }
  // Whether a node other than `node` (which is in the list) bears `name`
  // with A-Z folded.
  bool OtherBears(const Node* node, std::u16string_view name) const {
    return NodeListBase::OtherBears(node, name);
  }

  // Deletes every node.
  void RemoveAll() {
    DropIndex();
    cursor_.Store({});
    if (holder_ == 0) return DeleteAll<Node>();
    while (head_ != nullptr) delete Remove(head());
  }

 private:
  friend class EntryWindow;
  friend class SectionEntriesAhead;

  // `hash`, when the caller has it at hand, is NameIndex::Hash of the
  // node's name.
  void AddTail(Node* node, std::optional<uint32_t> hash) {
    LinkTail(node, CursorCopy(&cursor_));
    Linked(node, hash);
    TellLinked(node);
  }
  Holder* HolderNode() const { return static_cast<Holder*>(NodePool::At(holder_)); }
  void TellLinked(Node* node) {
    if constexpr (!std::is_void_v<Holder>) {
      if (Holder* holder = HolderNode()) holder->NodeLinked(node);
    }
  }
  void TellUnlinking(Node* node) {
    if constexpr (!std::is_void_v<Holder>) {
      if (Holder* holder = HolderNode()) holder->NodeUnlinking(node);
    }
  }
  Node* FindByName(std::u16string_view name, uint32_t hash) const {
    return static_cast<Node*>(FindNode(name, hash));
  }
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_NODE_LIST_H_
