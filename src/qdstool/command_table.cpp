#include "qdstool/command_table.h"

namespace qds::tool {
namespace {

// The order is the order of the help listing.
const ToolCommand* const kCommands[] = {
    &kCheckCommand, &kVerifyCommand, &kSignCommand, &kRewriteCommand, &kDumpCommand,
    &kGetCommand,   &kExpandCommand, &kEvalCommand,
};

}  // namespace

std::span<const ToolCommand* const> ToolCommands() { return kCommands; }

const ToolCommand* FindToolCommand(std::u16string_view name) {
  for (const ToolCommand* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

}  // namespace qds::tool
