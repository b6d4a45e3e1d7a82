// qdstool: the QDS document library on the command line. What its commands
// share: the command record and the list of commands, the parsing of their
// arguments, and their output.
//
// A command runs with the arguments that follow its name, already in UTF-16.
// It writes its results to standard output and its error lines to standard
// error and returns the process exit status: 0 on success, otherwise the
// status of the operation that failed, or kUsageError when its arguments
// cannot be understood. To add a command: define its ToolCommand in the file
// of its group, declare it below and list it in tool.cpp.

#ifndef KNITFOLD_QDSTOOL_TOOL_H_
#define KNITFOLD_QDSTOOL_TOOL_H_

#include <qds/qds.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qds::tool {

// `arguments` are the command-line arguments after the program name.
// "--help" lists the commands; "COMMAND --help" explains one; "--version"
// prints "qdstool VERSION". Returns the process exit status.
int RunTool(std::span<const std::u16string> arguments);

// ---- Commands ------------------------------------------------------------------

// Exit status of a command line that cannot be understood (as sysexits'
// EX_USAGE), apart from every status of the library.
inline constexpr int kUsageError = 64;

using CommandArguments = std::span<const std::u16string>;

struct ToolCommand {
  const char16_t* name;
  const char* summary;  // one line for the command list
  const char* help;     // usage line and a few lines of explanation, ending in a line feed
  int (*run)(CommandArguments arguments);
};

// file_commands.cpp
extern const ToolCommand kCheckCommand;
extern const ToolCommand kVerifyCommand;
extern const ToolCommand kSignCommand;
extern const ToolCommand kRewriteCommand;
// read_commands.cpp
extern const ToolCommand kDumpCommand;
extern const ToolCommand kGetCommand;
// language_commands.cpp
extern const ToolCommand kExpandCommand;
extern const ToolCommand kEvalCommand;
// The expansion language in brief, printed by "qdstool --help" after the
// list of commands, so that a package author can learn it from the tool.
// docs/expansion.md holds the same language at length.
extern const std::string_view kLanguageHelp;

// ---- Arguments ---------------------------------------------------------------------
//
// Options ("--name", "-o") may stand anywhere among the operands; each is
// either a switch or takes the next argument as its value, and may repeat.
// "--" ends the options: every argument after it is an operand. Any other
// argument that begins with "-" (other than "-" alone) is an unknown option.

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

// The file that an argument names: on POSIX the bytes that the argument
// came as, so that any file name works.
std::filesystem::path FilePath(const std::u16string& argument);

// Sets every NAME=VALUE of `assignments` (the --set options of the commands
// that expand symbols), in order, splitting at the first "=". False when one
// has no "=".
bool ApplySymbolAssignments(const std::vector<std::u16string_view>& assignments,
                            SymbolTable* table);

// Reports a command line that `command` cannot run with: "qdstool NAME:
// MESSAGE" and the command's usage line on standard error. Returns
// kUsageError.
int UsageError(const ToolCommand& command, std::string_view message);

// ---- Output ----------------------------------------------------------------------------
//
// Text is UTF-16 inside and UTF-8 on the console.

// Bytes to standard output as they stand (for text already in UTF-8 or ASCII).
void WriteOutput(std::string_view bytes);
// `text` and a line feed, as UTF-8, to standard output or standard error.
void PrintLine(std::u16string_view text);
void PrintErrorLine(std::u16string_view text);
// The same for text already in UTF-8 or ASCII.
void PrintErrorLine(std::string_view text);

// Appends `text` as a JSON string, quotation marks included, for the
// machine-readable output. The output is pure ASCII: the quotation mark, the
// backslash and every UTF-16 code unit outside U+0020..U+007E are written as
// \uXXXX (four uppercase hexadecimal digits) of the unit itself, so that any
// text, a lone surrogate included, comes back exactly from a JSON reader.
void AppendJsonString(std::string* out, std::u16string_view text);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_TOOL_H_
