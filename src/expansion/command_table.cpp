#include "expansion/command_table.h"

#include <algorithm>

#include "common/text.h"
#include "expansion/symbol_map.h"

namespace qds {

CommandHandler FindBuiltinCommand(const CommandTable* commands, std::u16string_view name) {
  if (commands == nullptr) return nullptr;
  for (const NamedCommand& row : commands->builtins) {
    if (EqualsIgnoreAsciiCase(name, row.name)) return row.handler;
  }
  return nullptr;
}

CommandHandler FindUserCommand(const CommandTable* commands, const SymbolMap& table,
                               std::u16string_view name, std::u16string_view* definition) {
  if (commands == nullptr || commands->definedCommand == nullptr) return nullptr;
  if (name.size() > kMaxCommandName) return nullptr;
  char16_t symbol[kMaxCommandName + 1];
  symbol[0] = u'!';
  std::copy(name.begin(), name.end(), symbol + 1);
  const std::u16string* found = table.Find(std::u16string_view(symbol, name.size() + 1));
  if (found == nullptr || found->empty()) return nullptr;
  *definition = *found;
  return commands->definedCommand;
}

}  // namespace qds
