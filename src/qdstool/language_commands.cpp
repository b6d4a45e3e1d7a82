// The qdstool commands that try the expansion language: expand runs a text
// through the symbol engine, eval an expression through the evaluator; and
// the language in brief for "qdstool --help".

#include <qds/qds.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "qdstool/tool.h"

namespace qds::tool {
namespace {

// ---- expand ----------------------------------------------------------------------

void PrintJson(const Status& status, std::u16string_view output, const SymbolTable& table) {
  std::vector<std::pair<std::u16string, std::u16string>> symbols;
  table.ForEach([&](std::u16string_view name, std::u16string_view value) {
    symbols.emplace_back(name, value);
  });
  std::sort(symbols.begin(), symbols.end());
  std::string out = "{\"status\":" + std::to_string(status.Number()) +
                    ",\"errorPos\":" + std::to_string(status.Position()) + ",\"output\":";
  AppendJsonString(&out, output);
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

int RunExpand(const ParsedArguments& parsed) {
  if (parsed.operands().size() != 1) return UsageError(parsed, "expected one TEXT");
  SymbolTable table;
  if (!ApplySymbolAssignments(parsed.Values(u"--set"), &table)) {
    return UsageError(parsed, "--set takes NAME=VALUE");
  }
  ExpandFlags flags = (parsed.Has(u"--legacy") ? ExpandFlags::Legacy : ExpandFlags::None) |
                      (parsed.Has(u"--no-commands") ? ExpandFlags::NoCommands : ExpandFlags::None);
  std::u16string output;
  Status status = Expand(table, parsed.operands()[0], &output, flags);
  if (parsed.Has(u"--json")) {
    PrintJson(status, output, table);
    return 0;
  }
  if (!status.Ok()) return Report("expand", status);
  PrintLine(output);
  return 0;
}

// ---- eval ------------------------------------------------------------------------

int RunEval(const ParsedArguments& parsed) {
  if (parsed.operands().size() != 1) return UsageError(parsed, "expected one EXPR");
  const std::u16string& expression = parsed.operands()[0];
  if (parsed.Has(u"--legacy")) {
    PrintLine(EvaluateLegacyCondition(expression) ? u"1" : u"0");
    return 0;
  }
  std::u16string result;
  Status status = Evaluate(expression, &result);
  if (!status.Ok()) return Report("eval", status);
  PrintLine(result);
  return 0;
}

const OptionRule kExpandOptions[] = {
    {u"--legacy", 0}, {u"--no-commands", 0}, {u"--set", 1}, {u"--json", 0}};
const OptionRule kEvalOptions[] = {{u"--legacy", 0}};

}  // namespace

const ToolCommand kExpandCommand = {
    u"expand",
    "expand symbols and commands in a text",
    "expand [--legacy] [--no-commands] [--set NAME=VALUE]... [--json] [--] TEXT",
    "Expands TEXT with a symbol table (names compared without regard to A-Z\n"
    "case) that holds the --set symbols, applied in order. --legacy tests \"if\"\n"
    "conditions as documents of version 1 do; --no-commands rejects command calls.\n"
    "Prints the expansion; a failure says why and where on standard error and\n"
    "exits with its status. With --json, prints one object and exits 0:\n"
    "{\"status\":N,\"errorPos\":N,\"output\":\"...\",\"symbols\":{\"NAME\":\"VALUE\",...}}\n"
    "with the table after the expansion, names in UTF-16 order, strings escaped\n"
    "as by dump.\n",
    kExpandOptions,
    RunExpand,
};

const ToolCommand kEvalCommand = {
    u"eval",
    "evaluate an expression of the \"if\" and \"eval\" commands",
    "eval [--legacy] [--] EXPR",
    "Prints the value of EXPR. With --legacy, prints 1 or 0 for EXPR as a\n"
    "condition of a version-1 document. A failure says why on standard error\n"
    "and exits with its status.\n",
    kEvalOptions,
    RunEval,
};

const std::string_view kLanguageHelp = R"(
The expansion language (try any example with: qdstool expand [--set NAME=VALUE]... TEXT)
  %name%              the value of symbol name (nothing when there is none)
  %%                  one %
  %`text`%            text exactly as written, nothing in it expanded
  %!name(a, b, ...)%  a command call; arguments in quotes keep commas and blanks

Commands, one example each:
  if(cond[, then, else])  %!if(%N% > 1, files, file)%        -> files (N=3)
  for(sym, min, max, text) %!for(i, 1, 3, [%i%])%            -> [1][2][3]
  split(sym, prefix[, sep]) %!split(L, P)%%PCount%%P2%       -> 2b (L=a,b)
  set(name, value)        %!set(Dir, /opt)%%Dir%             -> /opt
  eval(expr)              %!eval((1 + 2) * 3)%               -> 9
  chr(code)               %!chr(0x41)%                       -> A
  length(text)            %!length(hello)%                   -> 5
  index(text, find[, n])  %!index(banana, an, 2)%            -> 4
  substr(text, from[, to]) %!substr(abcdef, 2, 4)%           -> bcd
  sub(text, find, repl)   %!sub(a.b.c, ., /)%                -> a/b/c
  exists(path)            %!exists(/etc)%                    -> 1
  value(name)             %!value(Msg)%                      -> %x% (Msg=%x%)
  define(name, def)       %!define(hi, %`Hi %1%`%)%%!hi(Al)% -> Hi Al
  splitpath(path[, p])    %!splitpath(/d/f.x)%%File%.%Extension% -> f.x
  rindex(text, find[, n]) %!rindex(banana, an)%              -> 4
  toshortpath(path)       %!toshortpath(/etc)%               -> /etc

Expressions of if and eval, lowest precedence last:
  +x -x !x    sign, not          * /   multiply, divide
  + -         add, subtract      = != < <= > >=  compare (~= ~< ... ignore A-Z case)
  & |         and, or            numbers: 42, 0x2A, 052; texts: words or 'quoted'

Statuses of a failed expansion:
  1 unclosed form          2 output too long for the buffer   3 wrong argument count
  4 text after a quote     5 unknown command                  6 argument too long
  7 bad command name       8 unusable argument                9 commands not allowed
  10 symbol name too long  11 malformed expression            12 division by zero
  13 missing operand       14 unbalanced parentheses          15 bad quoted string
  16 arithmetic on text    17 unknown operator                18 out of memory
  19 no short path         20 nested more than 64 deep        21 output over 4 G characters
See docs/expansion.md for the whole language.
)";

}  // namespace qds::tool
