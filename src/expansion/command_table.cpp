#include "expansion/command_table.h"

#include <algorithm>

#include "expansion/builtin_commands.h"
#include "expansion/builtin_handlers.h"
#include "common/text.h"
#include "expansion/symbol_table.h"

namespace qds {

CommandHandler FindBuiltinCommand(std::u16string_view name) {
  for (const BuiltinCommand* row = BuiltinCommands; row->name != nullptr; ++row) {
    if (EqualsIgnoreAsciiCase(name, row->name)) return row->handler;
  }
  return nullptr;
}

CommandHandler FindUserCommand(const SymbolTable& table, std::u16string_view name,
                               CountedString* definition) {
  if (name.size() > kMaxCommandName) return nullptr;
  char16_t symbol[kMaxCommandName + 1];
  symbol[0] = u'!';
  std::copy(name.begin(), name.end(), symbol + 1);
  CountedString found;
  if (!table.Lookup(std::u16string_view(symbol, name.size() + 1), &found) || found.Empty()) {
    return nullptr;
  }
  *definition = found;
  return RunUserCommand;
}

}  // namespace qds
