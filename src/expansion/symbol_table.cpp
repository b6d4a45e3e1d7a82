// The public SymbolTable: a SymbolMap without the engine's parts.

#include <qds/symbol_table.h>

#include "expansion/symbol_map.h"

namespace qds {

SymbolTable::SymbolTable(bool caseInsensitive, int32_t blockSize)
    : map_(std::make_unique<SymbolMap>(caseInsensitive, blockSize)) {}

SymbolTable::~SymbolTable() = default;

bool SymbolTable::Lookup(std::u16string_view name, std::u16string* value) const {
  CountedString found;
  if (!map_->Lookup(name, &found)) return false;
  value->assign(found.View());
  return true;
}

void SymbolTable::Set(std::u16string_view name, std::u16string_view value) {
  map_->Set(name, value);
}

bool SymbolTable::Remove(std::u16string_view name) { return map_->Remove(name); }

void SymbolTable::RemoveAll() { map_->RemoveAll(); }

int32_t SymbolTable::Count() const { return map_->Count(); }

bool SymbolTable::CaseInsensitive() const { return map_->CaseInsensitive(); }

void SymbolTable::ForEach(
    const std::function<void(std::u16string_view name, std::u16string_view value)>& visit) const {
  map_->ForEach([&](const CountedString& name, const CountedString& value) {
    visit(name.View(), value.View());
  });
}

}  // namespace qds
