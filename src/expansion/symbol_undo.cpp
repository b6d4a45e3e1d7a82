#include "expansion/symbol_undo.h"

namespace qds {

namespace {

// Few names change in one expansion.
constexpr int32_t kUndoBlock = 8;

}  // namespace

SymbolUndo::SymbolUndo(SymbolMap& table)
    : table_(table),
      before_(table.CaseInsensitive(), kUndoBlock),
      absent_(table.CaseInsensitive(), kUndoBlock) {
  table_.undo_ = this;
}

SymbolUndo::~SymbolUndo() {
  if (table_.undo_ == this) table_.undo_ = nullptr;
}

void SymbolUndo::Keep(std::u16string_view name, const CountedString* stored,
                      const CountedString* value) {
  CountedString unused;
  if (before_.Lookup(name, &unused) || absent_.Lookup(name, &unused)) return;
  if (stored != nullptr) {
    before_.Set(stored->View(), value->View());
  } else {
    absent_.Set(name, {});
  }
}

void SymbolUndo::Restore() {
  table_.undo_ = nullptr;
  absent_.ForEach([&](const CountedString& name, const CountedString&) {
    table_.Remove(name.View());
  });
  before_.ForEach([&](const CountedString& name, const CountedString& value) {
    // Removed first, so that a spelling the run gave the name goes too.
    table_.Remove(name.View());
    table_.Set(name.View(), value.View());
  });
}

}  // namespace qds
