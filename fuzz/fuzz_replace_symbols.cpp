// Expands arbitrary texts with ReplaceSymbols and checks its buffer contract.
// Every command call goes through the argument parser, "if" and "eval"
// through the expression evaluator and "split" through the field-list
// scanner, so this one target fuzzes them all.
//
// Input: a flags byte (handed to the engine as they are), a capacity byte, a
// table byte, then UTF-8 text: "name=value" lines up to the first empty line
// seed the symbol table (defined commands are "!name=definition"), the rest
// is the text to expand. Each call starts from an identical fresh table,
// since commands such as "set" change it:
//   - the size query never succeeds; it fails, or reports the size with
//     BufferTooSmall and no error position (with a position, it is the
//     failure of a command name too long);
//   - a call with exactly that size succeeds, its output ending in the
//     terminating zero, unless a nested command name too long made the size
//     query's BufferTooSmall, which every capacity meets again;
//   - a call with any other capacity reports the same length, succeeds
//     exactly when the capacity suffices, fails as the size query does, and
//     writes nothing past its capacity (the buffer has its exact size, so
//     AddressSanitizer sees a write beyond it).
// "toshortpath" asks for room for its path's terminating zero, which its
// output then does not take: where it may run, a length may fall short of
// the size query's, never exceed it. Loop rounds and calls of defined
// commands draw on a budget per call, beyond which they fail (BadArgument)
// alike in every call, so that the work of one input stays bounded.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "expansion/builtin_commands.h"
#include "expansion/builtin_handlers.h"
#include "expansion/handler_support.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"
#include "fuzz_support.h"

namespace qds {
namespace fuzz {
namespace {

constexpr int64_t kWorkPerCall = 20000;
int64_t workLeft = kWorkPerCall;

bool Spend(int64_t work) {
  if (work > workLeft) return false;
  workLeft -= work;
  return true;
}

// "for" as built in, once its rounds are paid for.
ReplaceStatus BudgetedFor(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                          char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  int32_t first = 0;
  int32_t last = 0;
  if (argCount == 4 &&
      ExpandWholeNumber(table, args[1], ExpandFlags::None, &first) == ReplaceStatus::Ok &&
      ExpandWholeNumber(table, args[2], ExpandFlags::None, &last) == ReplaceStatus::Ok &&
      !Spend(last >= first ? int64_t{last} - first + 1 : 0)) {
    return ReplaceStatus::BadArgument;
  }
  return ForCommand(table, args, argCount, out, outLen, flags);
}

// A defined command, once its call is paid for.
ReplaceStatus BudgetedUserCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                                  char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (!Spend(1)) return ReplaceStatus::BadArgument;
  return RunUserCommand(table, args, argCount, out, outLen, flags);
}

// The built-in commands, with the two that can repeat work without end
// drawing on the budget.
struct BudgetedCommands {
  BudgetedCommands() {
    std::copy(kBuiltinCommands.builtins.begin(), kBuiltinCommands.builtins.end(), rows.begin());
    for (NamedCommand& row : rows) {
      if (row.handler == ForCommand) row.handler = BudgetedFor;
    }
    table = {rows, BudgetedUserCommand};
  }
  std::array<NamedCommand, kBuiltinCommandCount> rows;
  CommandTable table;
};

const CommandTable& Commands() {
  static const BudgetedCommands commands;
  return commands.table;
}

struct Case {
  ExpandFlags flags = ExpandFlags::None;
  uint8_t capacityChoice = 0;
  bool caseInsensitive = false;
  int32_t blockSize = 1;
  std::vector<std::pair<std::u16string, std::u16string>> symbols;
  std::u16string text;
};

Case ReadCase(Input& input) {
  Case c;
  c.flags = static_cast<ExpandFlags>(input.Byte());
  c.capacityChoice = input.Byte();
  uint8_t table = input.Byte();
  c.caseInsensitive = (table & 1) != 0;
  c.blockSize = 1 + (table >> 1) % 8;
  std::u16string rest = input.RestAsText();
  constexpr size_t npos = std::u16string::npos;
  size_t textStart = rest.find(u"\n\n");
  c.text = textStart == npos ? rest : rest.substr(textStart + 2);
  std::u16string_view lines(rest.data(), textStart == npos ? 0 : textStart + 1);
  for (size_t end; (end = lines.find(u'\n')) != npos; lines.remove_prefix(end + 1)) {
    std::u16string_view line = lines.substr(0, end);
    size_t equals = line.find(u'=');
    if (equals != npos) c.symbols.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return c;
}

struct Result {
  ReplaceStatus status;
  uint32_t length;
  uint32_t errorPos;
  std::u16string output;  // what the capacity held
};

// One call from a fresh table; `capacity` < 0 is the size query.
Result Expand(const Case& c, int64_t capacity) {
  SymbolMap table(c.caseInsensitive, c.blockSize, &Commands());
  for (const auto& [name, value] : c.symbols) table.Set(name, value);
  std::unique_ptr<char16_t[]> buffer;
  if (capacity >= 0) buffer.reset(new char16_t[static_cast<size_t>(capacity)]());
  uint32_t length = capacity >= 0 ? static_cast<uint32_t>(capacity) : 0;
  uint32_t errorPos = 0xDEAD;
  workLeft = kWorkPerCall;
  ReplaceStatus status = ReplaceSymbols(table, c.text, buffer.get(), &length, c.flags, &errorPos);
  Result result{status, length, errorPos, {}};
  if (buffer != nullptr) result.output.assign(buffer.get(), static_cast<size_t>(capacity));
  return result;
}

// True when `text` names the "toshortpath" command, in any case.
bool MentionsShortPath(std::u16string text) {
  for (char16_t& c : text) c |= 0x20;
  return text.find(u"toshortpath") != std::u16string::npos;
}

// 0, 1, small, exact or large.
int64_t ChooseCapacity(uint8_t choice, uint32_t needed) {
  const int64_t capacities[] = {0, 1, 2 + (choice >> 3) % 16, needed,
                                int64_t{needed} + 1 + (choice >> 3)};
  return capacities[choice % 5];
}

}  // namespace
}  // namespace fuzz
}  // namespace qds

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  using fuzz::Check;
  fuzz::ScratchFolder();
  fuzz::Input input(data, size);
  const fuzz::Case c = fuzz::ReadCase(input);

  const fuzz::Result query = fuzz::Expand(c, -1);
  Check(query.status != ReplaceStatus::Ok, "the size query never fits");
  // BufferTooSmall with an error position is a failure of the scan (a
  // command name too long); without one it reports the size.
  const bool reportsSize = query.status == ReplaceStatus::BufferTooSmall && query.errorPos == 0;
  if (reportsSize) Check(query.length >= 1, "the size counts the terminating zero");
  const uint32_t needed = reportsSize ? query.length : query.length + 1;
  bool exactLengths = !fuzz::MentionsShortPath(c.text);
  for (const auto& symbol : c.symbols) exactLengths &= !fuzz::MentionsShortPath(symbol.second);
  auto sameLength = [&](uint32_t length) {
    return exactLengths ? length == query.length : length <= query.length;
  };

  const fuzz::Result exact = fuzz::Expand(c, needed);
  // A nested command name too long passes on BufferTooSmall without a
  // position; the size it reports is then no size at which the call fits.
  const bool fits = reportsSize && exact.status != ReplaceStatus::BufferTooSmall;
  Check(exact.status == (fits ? ReplaceStatus::Ok : query.status),
        "a large enough buffer succeeds or fails as the size query");
  Check(sameLength(exact.length), "a large enough buffer reports the size query's length");
  Check(exact.errorPos == query.errorPos, "a failure is found where the size query found it");
  if (fits)
    Check(exact.output[exact.length - 1] == u'\0', "the output ends in the terminating zero");

  const int64_t capacity = fuzz::ChooseCapacity(c.capacityChoice, needed);
  const fuzz::Result chosen = fuzz::Expand(c, capacity);
  Check(sameLength(chosen.length), "every capacity reports the same length");
  if (!fits) {
    Check(chosen.status == query.status, "every capacity fails the same way");
    Check(chosen.errorPos == query.errorPos, "every capacity fails at the same place");
  } else if (capacity >= needed) {
    Check(chosen.status == ReplaceStatus::Ok, "a capacity that suffices succeeds");
    Check(chosen.length == exact.length, "every fitting call reports the same length");
    Check(chosen.output.compare(0, needed, exact.output) == 0, "every fitting call writes alike");
  } else {
    Check(chosen.status == ReplaceStatus::BufferTooSmall || !exactLengths,
          "a short capacity does not fit");
    Check(chosen.errorPos == 0, "a short capacity is no failure of the scan");
  }
  return 0;
}
