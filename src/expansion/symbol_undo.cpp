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

void SymbolUndo::Keep(std::u16string_view name, const std::u16string* stored,
                      const std::u16string* value) {
  if (before_.Find(name) != nullptr || absent_.Find(name) != nullptr) return;
  if (stored != nullptr) {
    before_.Set(*stored, *value);
  } else {
    absent_.Set(name, {});
  }
}

void SymbolUndo::Restore() {
  table_.undo_ = nullptr;
  absent_.ForEach([&](std::u16string_view name, std::u16string_view) { table_.Remove(name); });
  before_.ForEach([&](std::u16string_view name, std::u16string_view value) {
    // Removed first, so that a spelling the run gave the name goes too.
    table_.Remove(name);
    table_.Set(name, value);
  });
}

}  // namespace qds
