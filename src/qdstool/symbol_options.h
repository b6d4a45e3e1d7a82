// The --set NAME=VALUE options of the qdstool commands that expand symbols.

#ifndef KNITFOLD_QDSTOOL_SYMBOL_OPTIONS_H_
#define KNITFOLD_QDSTOOL_SYMBOL_OPTIONS_H_

#include <string_view>
#include <vector>

#include "expansion/symbol_map.h"

namespace qds::tool {

// Sets every NAME=VALUE of `assignments`, in order, splitting at the first
// "=". False when one has no "=".
bool ApplySymbolAssignments(const std::vector<std::u16string_view>& assignments, SymbolMap* table);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_SYMBOL_OPTIONS_H_
