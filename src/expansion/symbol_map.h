// SymbolMap: the named text values of symbol expansion, as the engine and
// its commands work on them (behind the public SymbolTable), and the
// commands that expansions with them can call.
//
// A hash map from name to value, both std::u16string, with chained buckets
// and nodes taken from blocks of `blockSize` so that creating and removing
// symbols does not allocate per symbol. The bucket array exists only while
// the table holds a symbol; emptying the table releases it and every block.
// It starts with 17 buckets and grows when the chains would average more
// than kMaxLoad nodes, so that a table of many symbols (a long list split
// into fields, say) is still found in constant time per name.
//
// Names compare exactly, or, in a case-insensitive table, with A-Z equal to
// a-z (nothing else folded). A name keeps the spelling it was created with.
// The empty name is an ordinary name. The table gives no meaning to names;
// the command language stores defined commands under "!" + name.
//
// An attached SymbolUndo keeps what changes, to put it back.
//
// No locks: threads may share the const functions; a change needs the map
// alone.

#ifndef KNITFOLD_EXPANSION_SYMBOL_MAP_H_
#define KNITFOLD_EXPANSION_SYMBOL_MAP_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qds {

struct CommandTable;
class SymbolUndo;

class SymbolMap {
 public:
  // blockSize: nodes allocated at once; values below 1 count as 1.
  // commands: see SetCommands.
  SymbolMap(bool caseInsensitive, int32_t blockSize, const CommandTable* commands = nullptr);
  SymbolMap(const SymbolMap&) = delete;
  SymbolMap& operator=(const SymbolMap&) = delete;
  ~SymbolMap();

  // True with a copy of the value in *value when `name` is present, for a
  // caller that changes the table while it holds the value; false with
  // *value unchanged otherwise.
  bool Lookup(std::u16string_view name, std::u16string* value) const;
  // The value of `name`, null when it is absent; valid until the next
  // change.
  const std::u16string* Find(std::u16string_view name) const;
  // True when `name` is present, with *value its value read as a base-10
  // unsigned number (strtoul: white space skipped, a minus negates modulo
  // 2^32, values above 4294967295 give 4294967295), or 0 when characters
  // are left after the number. False with *value unchanged otherwise.
  bool LookupUnsigned(std::u16string_view name, uint32_t* value) const;
  // Creates the symbol when it is absent, then gives it `value`.
  void Set(std::u16string_view name, std::u16string_view value);
  // Set with `number` in decimal ("%ld").
  void SetNumber(std::u16string_view name, int32_t number);
  // True when the symbol was present and is now removed.
  bool Remove(std::u16string_view name);
  // Removes every symbol and releases the buckets and every node block.
  void RemoveAll();

  // The commands that expansions with this table can call (none: every
  // command call is an unknown command). The table must outlive them.
  void SetCommands(const CommandTable* commands) { commands_ = commands; }
  const CommandTable* commands() const { return commands_; }

  int32_t Count() const { return count_; }
  bool CaseInsensitive() const { return caseInsensitive_; }
  // Calls `visit` for every symbol, in no particular order. `visit` must not
  // change the table.
  void ForEach(
      const std::function<void(std::u16string_view name, std::u16string_view value)>& visit) const;

 private:
  friend class SymbolUndo;
  static constexpr uint32_t kBucketCount = 17;  // at creation and after emptying
  static constexpr int32_t kMaxLoad = 4;        // nodes per bucket before growing

  struct Node {
    Node* next = nullptr;
    uint32_t hash = 0;  // HashOf(name): tells most other names apart without reading them
    std::u16string name;
    std::u16string value;
  };
  struct Block;

  uint32_t HashOf(std::u16string_view name) const;
  void Grow();
  bool NamesEqual(std::u16string_view a, std::u16string_view b) const;
  // The link that points at the node named `name` (a bucket head or a node's
  // `next`), or null when the name is absent.
  Node** FindLink(std::u16string_view name, uint32_t hash) const;
  Node* TakeFreeNode();
  // Tells the attached undo, if any, that the symbol at `link` (null: the
  // absent `name`) is about to change.
  void KeepForUndo(std::u16string_view name, Node** link);

  Node** buckets_ = nullptr;
  uint32_t bucketCount_ = kBucketCount;
  int32_t count_ = 0;
  Node* freeList_ = nullptr;
  Block* blocks_ = nullptr;
  int32_t blockSize_;
  bool caseInsensitive_;
  const CommandTable* commands_;
  SymbolUndo* undo_ = nullptr;
};

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_SYMBOL_MAP_H_
