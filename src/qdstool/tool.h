// The qdstool entry point behind the platform's main: picks the command
// named by the first argument and runs it.

#ifndef KNITFOLD_QDSTOOL_TOOL_H_
#define KNITFOLD_QDSTOOL_TOOL_H_

#include <span>
#include <string>

namespace qds::tool {

// `arguments` are the command-line arguments after the program name.
// "--help" lists the commands; "COMMAND --help" explains one; "--version"
// prints "qdstool VERSION". Returns the process exit status.
int RunTool(std::span<const std::u16string> arguments);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_TOOL_H_
