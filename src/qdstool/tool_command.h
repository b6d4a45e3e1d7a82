// ToolCommand: one command of qdstool, as the command table lists it.
//
// A command runs with the arguments that follow its name, already in UTF-16.
// It writes its results to standard output and its error lines to standard
// error (tools/console.h) and returns the process exit status: 0 on success,
// otherwise the status of the operation that failed, or kUsageError when its
// arguments cannot be understood.
//
// To add a command: define its ToolCommand in a file of its own (or of its
// group), declare it in tools/command_table.h and list it in
// command_table.cpp.

#ifndef KNITFOLD_QDSTOOL_TOOL_COMMAND_H_
#define KNITFOLD_QDSTOOL_TOOL_COMMAND_H_

#include <span>
#include <string>

namespace qds::tool {

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

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_TOOL_COMMAND_H_
