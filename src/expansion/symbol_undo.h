// SymbolUndo: takes back what expansions did to a SymbolMap, so that an
// expansion run a second time (with more room for its output) finds the
// symbols as the first run found them and its commands take effect once.
//
// While it is attached, the table keeps in it the first change of each name:
// the symbol as it was (its spelling and value), or that it was absent. A run
// that changes no symbol costs nothing; a name changed many times (a loop's
// counter) is kept once.

#ifndef KNITFOLD_EXPANSION_SYMBOL_UNDO_H_
#define KNITFOLD_EXPANSION_SYMBOL_UNDO_H_

#include <string>
#include <string_view>

#include "expansion/symbol_map.h"

namespace qds {

class SymbolUndo {
 public:
  // Attaches to `table`, which must have no other undo attached and must
  // outlive this one.
  explicit SymbolUndo(SymbolMap& table);
  SymbolUndo(const SymbolUndo&) = delete;
  SymbolUndo& operator=(const SymbolUndo&) = delete;
  ~SymbolUndo();

  // Puts every symbol changed since the attachment back as it was, and
  // detaches: later changes stay.
  void Restore();

 private:
  friend class SymbolMap;
  // Called by the table before it changes `name`: `stored` is the symbol's
  // stored name and `value` its value, both null when the name is absent.
  void Keep(std::u16string_view name, const std::u16string* stored, const std::u16string* value);

  SymbolMap& table_;
  SymbolMap before_;  // the changed symbols that were present, as they were
  SymbolMap absent_;  // the changed names that were absent; values unused
};

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_SYMBOL_UNDO_H_
