// Command-line parsing shared by the qdstool commands.
//
// Options ("--name", "-o") may stand anywhere among the operands; each is
// either a switch or takes the next argument as its value, and may repeat.
// "--" ends the options: every argument after it is an operand. Any other
// argument that begins with "-" (other than "-" alone) is an unknown option.

#ifndef KNITFOLD_QDSTOOL_ARGUMENTS_H_
#define KNITFOLD_QDSTOOL_ARGUMENTS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qdstool/tool_command.h"

namespace qds::tool {

struct OptionRule {
  std::u16string_view name;
  bool takesValue;
};

class ParsedArguments {
 public:
  bool Has(std::u16string_view name) const;
  // The value of the last occurrence of `name`; null when it was not given.
  const std::u16string* Value(std::u16string_view name) const;
  // The values of every occurrence, in command-line order.
  std::vector<std::u16string_view> Values(std::u16string_view name) const;
  const std::vector<std::u16string>& operands() const { return operands_; }

 private:
  friend bool ParseArguments(CommandArguments, std::span<const OptionRule>, ParsedArguments*,
                             std::string*);
  std::vector<std::pair<std::u16string, std::u16string>> options_;
  std::vector<std::u16string> operands_;
};

// Sorts `arguments` into options and operands. False, with a message in
// *error, for an unknown option or an option whose value is missing.
bool ParseArguments(CommandArguments arguments, std::span<const OptionRule> rules,
                    ParsedArguments* parsed, std::string* error);

// Reads a flag set: decimal, or hexadecimal after "0x". False unless the
// whole text is such a number below 2^32.
bool ParseFlags(std::u16string_view text, uint32_t* value);

// Reports a command line that `command` cannot run with: "qdstool NAME:
// MESSAGE" and the command's usage line on standard error. Returns
// kUsageError.
int UsageError(const ToolCommand& command, std::string_view message);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_ARGUMENTS_H_
