// qdstool expand: one text through the symbol engine.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/utf8.h"
#include "expansion/builtin_commands.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"
#include "qdstool/arguments.h"
#include "qdstool/command_table.h"
#include "qdstool/console.h"
#include "qdstool/json_text.h"
#include "qdstool/symbol_options.h"

namespace qds::tool {
namespace {

constexpr uint32_t kFirstBuffer = 65536;

struct Result {
  ReplaceStatus status;
  uint32_t errorPos = 0;
  std::u16string output;  // what the last call produced, as far as it fit
};

// The expansion as a caller of the library does it: one call with a generous
// buffer and, when that is too small, one more with the size it asked for.
Result Expand(SymbolMap& table, std::u16string_view text, uint32_t flags) {
  std::vector<char16_t> buffer(kFirstBuffer);
  Result result;
  uint32_t outLen = kFirstBuffer;
  result.status = ReplaceSymbols(table, text, buffer.data(), &outLen, flags, &result.errorPos);
  if (result.status == ReplaceStatus::BufferTooSmall) {
    buffer.assign(outLen, u'\0');
    result.status = ReplaceSymbols(table, text, buffer.data(), &outLen, flags, &result.errorPos);
  }
  size_t produced = std::min<size_t>(outLen, buffer.size());
  if (result.status == ReplaceStatus::Ok) --produced;  // the terminating zero
  result.output.assign(buffer.data(), produced);
  return result;
}

void PrintJson(const Result& result, const SymbolMap& table) {
  std::vector<std::pair<std::u16string, std::u16string>> symbols;
  table.ForEach([&](const CountedString& name, const CountedString& value) {
    symbols.emplace_back(name.View(), value.View());
  });
  std::sort(symbols.begin(), symbols.end());
  std::string out = "{\"status\":" + std::to_string(static_cast<int>(result.status)) +
                    ",\"errorPos\":" + std::to_string(result.errorPos) + ",\"output\":";
  AppendJsonString(&out, result.output);
  out.append(",\"symbols\":{");
  for (size_t i = 0; i < symbols.size(); ++i) {
    if (i != 0) out.push_back(',');
    AppendJsonString(&out, symbols[i].first);
    out.push_back(':');
    AppendJsonString(&out, symbols[i].second);
  }
  out.append("}}\n");
  WriteOutput(out);
}

int RunExpand(CommandArguments arguments) {
  static const OptionRule kOptions[] = {
      {u"--legacy", false}, {u"--no-commands", false}, {u"--set", true}, {u"--json", false}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) {
    return UsageError(kExpandCommand, error);
  }
  if (parsed.operands().size() != 1) return UsageError(kExpandCommand, "expected one TEXT");
  SymbolMap table(true, 16, &kBuiltinCommands);
  if (!ApplySymbolAssignments(parsed.Values(u"--set"), &table)) {
    return UsageError(kExpandCommand, "--set takes NAME=VALUE");
  }
  uint32_t flags = (parsed.Has(u"--legacy") ? ReplaceLegacy : 0) |
                   (parsed.Has(u"--no-commands") ? ReplaceNoCommands : 0);
  Result result = Expand(table, parsed.operands()[0], flags);
  if (parsed.Has(u"--json")) {
    PrintJson(result, table);
    return 0;
  }
  int status = static_cast<int>(result.status);
  if (status != 0) {
    PrintErrorLine("error " + std::to_string(status) + " at " + std::to_string(result.errorPos));
    return status;
  }
  PrintLine(result.output);
  return 0;
}

}  // namespace

const ToolCommand kExpandCommand = {
    u"expand",
    "expand symbols and commands in a text",
    "usage: qdstool expand [--legacy] [--no-commands] [--set NAME=VALUE]... [--json] [--] TEXT\n"
    "Expands TEXT with a symbol table (names compared without regard to A-Z\n"
    "case) that holds the --set symbols, applied in order. --legacy tests \"if\"\n"
    "conditions as documents of version 1 do; --no-commands rejects command calls.\n"
    "Prints the expansion; a failure prints \"error STATUS at POS\" on standard\n"
    "error and exits STATUS. With --json, prints one object and exits 0:\n"
    "{\"status\":N,\"errorPos\":N,\"output\":\"...\",\"symbols\":{\"NAME\":\"VALUE\",...}}\n"
    "with the table after the expansion, names in UTF-16 order, strings escaped\n"
    "as by dump.\n",
    RunExpand,
};

}  // namespace qds::tool
