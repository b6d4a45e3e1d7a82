// The commands of qdstool, in the order `qdstool --help` lists them.

#ifndef KNITFOLD_QDSTOOL_COMMAND_TABLE_H_
#define KNITFOLD_QDSTOOL_COMMAND_TABLE_H_

#include <span>
#include <string_view>

#include "qdstool/tool_command.h"

namespace qds::tool {

// Defined by the command files.
extern const ToolCommand kCheckCommand;
extern const ToolCommand kVerifyCommand;
extern const ToolCommand kSignCommand;
extern const ToolCommand kRewriteCommand;
extern const ToolCommand kDumpCommand;
extern const ToolCommand kExpandCommand;
extern const ToolCommand kEvalCommand;
extern const ToolCommand kGetCommand;

std::span<const ToolCommand* const> ToolCommands();
// The command called `name` (exact spelling); null when there is none.
const ToolCommand* FindToolCommand(std::u16string_view name);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_COMMAND_TABLE_H_
