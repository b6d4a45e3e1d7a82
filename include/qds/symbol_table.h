// SymbolTable: the named text values that an expanding read of a document
// (QdsDocument::SetSymbolTable) substitutes for the symbol references in its
// values, and that the expansion's commands read and change.
//
// Names compare exactly, or, in a case-insensitive table, with A-Z equal to
// a-z (nothing else folded). A name keeps the spelling it was created with.
// The empty name is an ordinary name. The expansion language stores the
// commands that a script defines under "!" + name. Finding a symbol costs
// constant time, however many the table holds.
//
// One thread at a time; no locks.

#ifndef KNITFOLD_QDS_SYMBOL_TABLE_H_
#define KNITFOLD_QDS_SYMBOL_TABLE_H_

#include <qds/export.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qds {

class SymbolMap;

class QDS_API SymbolTable {
 public:
  // blockSize: symbols allocated at once, so that creating and removing
  // symbols does not allocate for each; values below 1 count as 1.
  SymbolTable(bool caseInsensitive, int32_t blockSize);
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;
  ~SymbolTable();

  // True with a copy of the value in *value when `name` is present; false
  // with *value unchanged otherwise.
  bool Lookup(std::u16string_view name, std::u16string* value) const;
  // Creates the symbol when it is absent, then gives it `value`.
  void Set(std::u16string_view name, std::u16string_view value);
  // True when the symbol was present and is now removed.
  bool Remove(std::u16string_view name);
  // Removes every symbol and releases the memory they took.
  void RemoveAll();

  int32_t Count() const;
  bool CaseInsensitive() const;
  // Calls `visit` for every symbol, in no particular order. `visit` must not
  // change the table.
  void ForEach(
      const std::function<void(std::u16string_view name, std::u16string_view value)>& visit) const;

  // The table as the library's expansion engine works on it
  // (src/expansion/symbol_map.h); not part of the installed interface.
  SymbolMap& map() { return *map_; }
  const SymbolMap& map() const { return *map_; }

 private:
  std::unique_ptr<SymbolMap> map_;
};

}  // namespace qds

#endif  // KNITFOLD_QDS_SYMBOL_TABLE_H_
