// qdstool eval: one expression through the evaluator.

#include <string>

#include "expansion/expression.h"
#include "qdstool/arguments.h"
#include "qdstool/command_table.h"
#include "qdstool/console.h"

namespace qds::tool {
namespace {

int RunEval(CommandArguments arguments) {
  static const OptionRule kOptions[] = {{u"--legacy", false}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) return UsageError(kEvalCommand, error);
  if (parsed.operands().size() != 1) return UsageError(kEvalCommand, "expected one EXPR");
  std::u16string expression = parsed.operands()[0];
  if (parsed.Has(u"--legacy")) {
    PrintLine(EvaluateLegacyCondition(expression) != 0 ? u"1" : u"0");
    return 0;
  }
  char16_t result[kExpressionResultSpace];
  ReplaceStatus status = EvaluateExpression(expression.data(), result);
  if (status != ReplaceStatus::Ok) {
    PrintErrorLine("error " + std::to_string(static_cast<int>(status)));
    return static_cast<int>(status);
  }
  PrintLine(result);
  return 0;
}

}  // namespace

const ToolCommand kEvalCommand = {
    u"eval",
    "evaluate an expression of the \"if\" and \"eval\" commands",
    "usage: qdstool eval [--legacy] [--] EXPR\n"
    "Prints the value of EXPR. With --legacy, prints 1 or 0 for EXPR as a\n"
    "condition of a version-1 document. A failure prints \"error STATUS\" on\n"
    "standard error and exits STATUS.\n",
    RunEval,
};

}  // namespace qds::tool
