#include "qdstool/symbol_options.h"

namespace qds::tool {

bool ApplySymbolAssignments(const std::vector<std::u16string_view>& assignments, SymbolMap* table) {
  for (std::u16string_view assignment : assignments) {
    size_t equals = assignment.find(u'=');
    if (equals == std::u16string_view::npos) return false;
    table->Set(assignment.substr(0, equals), assignment.substr(equals + 1));
  }
  return true;
}

}  // namespace qds::tool
