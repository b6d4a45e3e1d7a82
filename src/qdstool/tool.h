// qdstool: the QDS document library on the command line. What its commands
// share: the command record and the list of commands, the parsing of their
// arguments, their input and output, and their messages.
//
// A command runs with the arguments that follow its name, already in UTF-16
// and sorted into options and operands. It writes its results to standard
// output and its messages to standard error and returns the process exit
// status: 0 on success, otherwise the status of the operation that failed,
// or kUsageError when its arguments cannot be understood. To add a command:
// define its ToolCommand in the file of its group, declare it below and
// list it in tool.cpp; the help, the manual page and the README list it
// too (a test compares them).

#ifndef KNITFOLD_QDSTOOL_TOOL_H_
#define KNITFOLD_QDSTOOL_TOOL_H_

#include <qds/qds.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qds::tool {

// `arguments` are the command-line arguments after the program name.
// Returns the process exit status.
int RunTool(std::span<const std::u16string> arguments);

// Exit status of a command line that cannot be understood (as sysexits'
// EX_USAGE), and of a file that a command will not take as it stands
// (EX_DATAERR): "check --strict" of one that warned, a change of one whose
// lines end in LF alone; apart from every status of the library.
inline constexpr int kUsageError = 64;
inline constexpr int kDataError = 65;
// Exit status of --exit-code when the command changed, or would change, a
// file (as "git diff --exit-code").
inline constexpr int kChanged = 1;

// ---- Arguments ---------------------------------------------------------------------
//
// Options ("--name", "-o") may stand anywhere among the operands, and may
// repeat; "-h" and "--help" ask for the command's help. An option takes
// `values` arguments after it; one that takes one value may also be given
// as "--name=value". "--" ends the options: every argument after it is an
// operand. "-" alone is an operand (standard input or output); any other
// argument that begins with "-" is an unknown option.

struct OptionRule {
  std::u16string_view name;
  int values;
};

using CommandArguments = std::span<const std::u16string>;
class ParsedArguments;

struct ToolCommand {
  const char16_t* name;
  const char* summary;  // one line for the command list
  const char* usage;    // the synopsis, after "qdstool "
  const char* help;     // a few lines of explanation, each ending in a line feed
  std::span<const OptionRule> options;
  int (*run)(const ParsedArguments& arguments);
};

class ParsedArguments {
 public:
  const ToolCommand& command() const { return *command_; }
  bool Has(std::u16string_view name) const { return Value(name) != nullptr; }
  // The (first) value of the last occurrence of `name`; null when absent.
  const std::u16string* Value(std::u16string_view name) const;
  // The first values of every occurrence, in command-line order.
  std::vector<std::u16string_view> Values(std::u16string_view name) const;
  // Every option with all its values, in command-line order.
  const std::vector<std::vector<std::u16string>>& options() const { return options_; }
  const std::vector<std::u16string>& operands() const { return operands_; }
  bool help() const { return help_; }

 private:
  friend bool ParseArguments(const ToolCommand&, CommandArguments, ParsedArguments*, std::string*);
  const ToolCommand* command_ = nullptr;
  std::vector<std::vector<std::u16string>> options_;  // the name, then its values
  std::vector<std::u16string> operands_;
  bool help_ = false;
};

// Sorts `arguments` by the options of `command`. False, with a message in
// *error, for an unknown option, a missing value, or a value given to a
// switch.
bool ParseArguments(const ToolCommand& command, CommandArguments arguments, ParsedArguments* parsed,
                    std::string* error);

// Reads a number: decimal, or hexadecimal after "0x". False unless the
// whole text is such a number below 2^32.
bool ParseNumber(std::u16string_view text, uint32_t* value);

// Sets every NAME=VALUE of `assignments` (the --set options of the commands
// that expand symbols), in order, splitting at the first "=". False when one
// has no "=".
bool ApplySymbolAssignments(const std::vector<std::u16string_view>& assignments,
                            SymbolTable* table);

// Reports a command line that its command cannot run with: "qdstool NAME:
// MESSAGE" and the command's usage line on standard error. Returns
// kUsageError.
int UsageError(const ParsedArguments& arguments, std::string_view message);

// ---- Files -------------------------------------------------------------------------
//
// "-" names standard input where a file is read and standard output where
// one is written; messages call them so.

inline constexpr std::u16string_view kStandardStream = u"-";

// What messages call the file of `argument`.
std::string Subject(std::u16string_view argument);

// The bytes of the file that `argument` names, or of standard input. False,
// with the failure reported, when it cannot be read (*status: its number).
bool ReadInput(const std::u16string& argument, std::string* bytes, int* status);

// Whether the command saves the file it loads over it, and so loads it
// under the file's lock (QdsDocument::LoadForChange), which the document
// holds until the command ends.
enum class Loading { ToRead, ToChange };
// Loads the file that `argument` names (or standard input) into `document`,
// after applying the command's --codepage (CodePageLoadFlags are added to
// `flags`); a failure is reported. Returns
// the load status's number, or kUsageError or UnknownCodePage for a bad
// --codepage.
int LoadInput(const ParsedArguments& arguments, const std::u16string& argument, LoadFlags flags,
              QdsDocument* document, Loading loading = Loading::ToRead);
// Gives `document` the command's --codepage, if any. Returns 0, or
// kUsageError or UnknownCodePage for a bad one, which is reported.
int ApplyCodePage(const ParsedArguments& arguments, QdsDocument* document);
// Loads the file that `argument` names (or standard input) into
// `document`, reporting nothing. Returns the load status.
Status LoadFile(const std::u16string& argument, LoadFlags flags, QdsDocument* document,
                Loading loading = Loading::ToRead);
// ToChange when the command saves over its input: no -o, no --dry-run.
Loading LoadingFor(const ParsedArguments& arguments);
// LoadFlags::DeclaredCodePage unless the command was given --codepage: an
// ANSI file is read in --codepage N, else in the code page its version line
// declares, else in the system's.
LoadFlags CodePageLoadFlags(const ParsedArguments& arguments);
// What a command does with the file it loaded.
enum class Use { Read, Write };
// Tells of a loaded file whose lines end in LF alone, which the format
// reads as one line: a warning for a command that only reads it; a refusal
// for one that would write it. Returns 0, or kDataError for a refusal.
int CheckLineEnds(const QdsDocument& document, std::string_view subject, Use use);
// The --codepage of the command (the system's code page by default) into
// *codePage; a bad one is reported. Returns 0, kUsageError or 34.
int CodePageOption(const ParsedArguments& arguments, uint32_t* codePage);

// Saves `document`, loaded from `input`, to `output`: standard output for
// "-", and, when `output` is empty, over `input` or to standard output when
// `input` was standard input. A failure is reported. Returns the save
// status's number.
int SaveOutput(QdsDocument* document, const std::u16string& input, const std::u16string& output,
               SaveFlags flags);
// The -o (--output) of the command, or "".
std::u16string OutputOption(const ParsedArguments& arguments);
// Ends a command that writes `document` as SaveOutput saves it, with the
// options that every such command takes: --dry-run prints the unified diff
// ("--- a/FILE", "+++ b/FILE") of the text of the file that would be
// written, as it is and as it would be, in UTF-8, and writes nothing;
// --exit-code exits kChanged when the file changed or would change. A file
// saved in place is not written when it would not change. Returns the save
// status, or kChanged, or 0.
int FinishChange(const ParsedArguments& arguments, QdsDocument* document,
                 const std::u16string& input, const std::u16string& output, SaveFlags flags);
// The options of FinishChange.
#define KNITFOLD_CHANGE_OPTIONS \
  {u"--dry-run", 0}, { u"--exit-code", 0 }

// ---- Output ----------------------------------------------------------------------------
//
// Text is UTF-16 inside and UTF-8 on the console.

// Bytes to standard output as they stand (for text already in UTF-8 or ASCII).
// False when they cannot be written; the first failure is kept for
// FinishOutput, so that no command need check.
bool WriteOutput(std::string_view bytes);
// Flushes and closes standard output at the end of a run whose exit status
// is `status`. When a write failed, then or before, says "qdstool: standard
// output: cannot write: REASON (status 6)" and returns 6 in place of 0;
// otherwise returns `status`.
int FinishOutput(int status);
// `text` and a line feed, as UTF-8, to standard output or standard error.
void PrintLine(std::u16string_view text);
void PrintErrorLine(std::string_view text);

// "qdstool: SUBJECT: WORDS (status N)" on standard error; returns N.
int Report(std::string_view subject, const Status& status);
// "qdstool: SUBJECT: WHAT: WORDS (status N)", for a failure while doing
// WHAT to the file; returns N.
int Report(std::string_view subject, std::string_view what, const Status& status);

// Appends `text` as a JSON string, quotation marks included, for the
// machine-readable output. The output is pure ASCII: the quotation mark, the
// backslash and every UTF-16 code unit outside U+0020..U+007E are written as
// \uXXXX (four uppercase hexadecimal digits) of the unit itself, so that any
// text, a lone surrogate included, comes back exactly from a JSON reader.
void AppendJsonString(std::string* out, std::u16string_view text);

// ---- Commands ------------------------------------------------------------------

// file_commands.cpp
extern const ToolCommand kCheckCommand;
extern const ToolCommand kVerifyCommand;
extern const ToolCommand kSignCommand;
extern const ToolCommand kRewriteCommand;
// read_commands.cpp
extern const ToolCommand kDumpCommand;
extern const ToolCommand kCatCommand;
extern const ToolCommand kSectionsCommand;
extern const ToolCommand kKeysCommand;
extern const ToolCommand kGetCommand;
// edit_commands.cpp
extern const ToolCommand kSetCommand;
extern const ToolCommand kAddCommand;
extern const ToolCommand kDelCommand;
extern const ToolCommand kRenameCommand;
extern const ToolCommand kEditCommand;
// import_command.cpp
extern const ToolCommand kImportCommand;
// merge_command.cpp
extern const ToolCommand kMergeCommand;
// language_commands.cpp
extern const ToolCommand kExpandCommand;
extern const ToolCommand kEvalCommand;
// The expansion language in brief, printed by "qdstool --help" after the
// list of commands, so that a package author can learn it from the tool.
// docs/expansion.md holds the same language at length.
extern const std::string_view kLanguageHelp;

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_TOOL_H_
