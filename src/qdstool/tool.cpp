#include "qdstool/tool.h"

#include <algorithm>
#include <string>

#include "common/utf8.h"
#include "qdstool/command_table.h"
#include "qdstool/console.h"
#include "qdstool/language_help.h"
#include "qdstool/tool_command.h"
#include "qdstool/version.h"

namespace qds::tool {
namespace {

std::string Overview() {
  std::string text =
      "usage: qdstool COMMAND [ARGUMENTS]\n"
      "       qdstool --help | --version\n"
      "Works with QDS package scripts. Commands:\n";
  for (const ToolCommand* command : ToolCommands()) {
    std::string name = EncodeUtf8(command->name);
    name.resize(std::max<size_t>(name.size(), 10), ' ');
    text += "  " + name + command->summary + "\n";
  }
  text += "Run 'qdstool COMMAND --help' for the arguments of a command.\n";
  return text;
}

}  // namespace

int RunTool(std::span<const std::u16string> arguments) {
  if (arguments.empty()) {
    std::string overview = Overview();
    overview.pop_back();
    PrintErrorLine(overview);
    return kUsageError;
  }
  if (arguments[0] == u"--help") {
    WriteOutput(Overview());
    WriteOutput(kLanguageHelp);
    return 0;
  }
  if (arguments[0] == u"--version") {
    WriteOutput(std::string("qdstool ") + kVersion + "\n");
    return 0;
  }
  const ToolCommand* command = FindToolCommand(arguments[0]);
  if (command == nullptr) {
    PrintErrorLine("qdstool: unknown command " + EncodeUtf8(arguments[0]) +
                   " (see qdstool --help)");
    return kUsageError;
  }
  if (arguments.size() > 1 && arguments[1] == u"--help") {
    WriteOutput(command->help);
    return 0;
  }
  return command->run(arguments.subspan(1));
}

}  // namespace qds::tool
