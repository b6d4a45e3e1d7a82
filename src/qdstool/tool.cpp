#include "qdstool/tool.h"

#include <algorithm>
#include <new>
#include <string>

#include "qdstool/version.h"

namespace qds::tool {
namespace {

// The order is the order of the help listing.
const ToolCommand* const kCommands[] = {
    &kCheckCommand, &kVerifyCommand, &kSignCommand,     &kRewriteCommand, &kDumpCommand,
    &kCatCommand,   &kImportCommand, &kSectionsCommand, &kKeysCommand,    &kGetCommand,
    &kSetCommand,   &kAddCommand,    &kDelCommand,      &kRenameCommand,  &kEditCommand,
    &kMergeCommand, &kExpandCommand, &kEvalCommand,
};

// The command called `name` (exact spelling); null when there is none.
const ToolCommand* FindToolCommand(std::u16string_view name) {
  for (const ToolCommand* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

std::string UsageLine(const ToolCommand& command) {
  return std::string("usage: qdstool ") + command.usage + "\n";
}

std::string Overview() {
  std::string text = "usage: qdstool COMMAND [ARGUMENTS]\n";
  for (const ToolCommand* command : kCommands) {
    text += std::string("       qdstool ") + command->usage + "\n";
  }
  text +=
      "       qdstool help [COMMAND]\n"
      "       qdstool --help | -h | --version\n"
      "Works with QDS package scripts. Commands:\n";
  for (const ToolCommand* command : kCommands) {
    std::string name = ToUtf8(command->name);
    name.resize(std::max<size_t>(name.size(), 10), ' ');
    text += "  " + name + command->summary + "\n";
  }
  text +=
      "A FILE, IN, OUT, TARGET or COMPAT of \"-\" is standard input or output.\n"
      "Run 'qdstool help COMMAND' for the arguments of a command.\n";
  return text;
}

int Help(std::span<const std::u16string> topic) {
  if (topic.empty()) {
    WriteOutput(Overview());
    WriteOutput(kLanguageHelp);
    return 0;
  }
  const ToolCommand* command = FindToolCommand(topic[0]);
  if (command == nullptr || topic.size() > 1) {
    PrintErrorLine("qdstool help: no command " + ToUtf8(topic[0]) + " (see qdstool --help)");
    return kUsageError;
  }
  WriteOutput(UsageLine(*command) + command->help);
  return 0;
}

int RunCommandLine(std::span<const std::u16string> arguments) {
  if (arguments.empty()) {
    std::string overview = Overview();
    overview.pop_back();
    PrintErrorLine(overview);
    return kUsageError;
  }
  const std::u16string& first = arguments[0];
  if (first == u"--help" || first == u"-h") return Help({});
  if (first == u"help") return Help(arguments.subspan(1));
  if (first == u"--version") {
    WriteOutput(std::string("qdstool ") + kVersion + "\n");
    return 0;
  }
  const ToolCommand* command = FindToolCommand(first);
  if (command == nullptr) {
    PrintErrorLine("qdstool: unknown command " + ToUtf8(first) + " (see qdstool --help)");
    return kUsageError;
  }
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(*command, arguments.subspan(1), &parsed, &error)) {
    return UsageError(parsed, error);
  }
  if (parsed.help()) return Help(arguments.first(1));
  return command->run(parsed);
}

}  // namespace

int RunTool(std::span<const std::u16string> arguments) {
  int status;
  // The loads and saves tell their lack of memory with their file's name
  // (LoadFile, SaveOutput); this is any other.
  try {
    status = RunCommandLine(arguments);
  } catch (const std::bad_alloc&) {
    PrintErrorLine("qdstool: out of memory (status 37)");
    status = static_cast<int>(LoadStatus::OutOfMemory);
  }
  return FinishOutput(status);
}

int UsageError(const ParsedArguments& arguments, std::string_view message) {
  PrintErrorLine("qdstool " + ToUtf8(arguments.command().name) + ": " + std::string(message));
  std::string usage = UsageLine(arguments.command());
  usage.pop_back();
  PrintErrorLine(usage);
  return kUsageError;
}

}  // namespace qds::tool
