#include "qdstool/tool.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <type_traits>

#include "qdstool/version.h"

namespace qds::tool {
namespace {

// The order is the order of the help listing.
const ToolCommand* const kCommands[] = {
    &kCheckCommand, &kVerifyCommand, &kSignCommand,   &kRewriteCommand,
    &kDumpCommand,  &kGetCommand,    &kExpandCommand, &kEvalCommand,
};

// The command called `name` (exact spelling); null when there is none.
const ToolCommand* FindToolCommand(std::u16string_view name) {
  for (const ToolCommand* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

std::string Overview() {
  std::string text =
      "usage: qdstool COMMAND [ARGUMENTS]\n"
      "       qdstool --help | --version\n"
      "Works with QDS package scripts. Commands:\n";
  for (const ToolCommand* command : kCommands) {
    std::string name = ToUtf8(command->name);
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
    PrintErrorLine("qdstool: unknown command " + ToUtf8(arguments[0]) +
                   " (see qdstool --help)");
    return kUsageError;
  }
  if (arguments.size() > 1 && arguments[1] == u"--help") {
    WriteOutput(command->help);
    return 0;
  }
  return command->run(arguments.subspan(1));
}

// ---- Arguments ---------------------------------------------------------------------

bool ParsedArguments::Has(std::u16string_view name) const { return Value(name) != nullptr; }

const std::u16string* ParsedArguments::Value(std::u16string_view name) const {
  const std::u16string* found = nullptr;
  for (const auto& [option, value] : options_) {
    if (option == name) found = &value;
  }
  return found;
}

std::vector<std::u16string_view> ParsedArguments::Values(std::u16string_view name) const {
  std::vector<std::u16string_view> values;
  for (const auto& [option, value] : options_) {
    if (option == name) values.push_back(value);
  }
  return values;
}

bool ParseArguments(CommandArguments arguments, std::span<const OptionRule> rules,
                    ParsedArguments* parsed, std::string* error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != u'-') {
      parsed->operands_.push_back(argument);
      continue;
    }
    if (argument == u"--") {
      optionsEnded = true;
      continue;
    }
    const OptionRule* rule = nullptr;
    for (const OptionRule& candidate : rules) {
      if (candidate.name == argument) rule = &candidate;
    }
    if (rule == nullptr) {
      *error = "unknown option " + ToUtf8(argument);
      return false;
    }
    std::u16string value;
    if (rule->takesValue) {
      if (++i == arguments.size()) {
        *error = "option " + ToUtf8(argument) + " needs a value";
        return false;
      }
      value = arguments[i];
    }
    parsed->options_.emplace_back(argument, std::move(value));
  }
  return true;
}

bool ParseFlags(std::u16string_view text, uint32_t* value) {
  uint32_t base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  uint64_t result = 0;
  for (char16_t c : text) {
    uint32_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (base == 16 && (c | 0x20) >= u'a' && (c | 0x20) <= u'f') {
      digit = (c | 0x20) - u'a' + 10;
    } else {
      return false;
    }
    if (digit >= base) return false;
    result = result * base + digit;
    if (result > UINT32_MAX) return false;
  }
  *value = static_cast<uint32_t>(result);
  return true;
}

namespace {

// A wide file system (Windows) takes the UTF-16 units as they are, a narrow
// one UTF-8; the test depends on Native, so only the branch taken compiles.
template <typename Native>
Native NativeName(const std::u16string& argument) {
  if constexpr (std::is_same_v<typename Native::value_type, char>) {
    return Native(ToUtf8(argument));
  } else {
    return Native(argument.begin(), argument.end());
  }
}

}  // namespace

std::filesystem::path FilePath(const std::u16string& argument) {
  return NativeName<std::filesystem::path::string_type>(argument);
}

int UsageError(const ToolCommand& command, std::string_view message) {
  PrintErrorLine("qdstool " + ToUtf8(command.name) + ": " + std::string(message));
  std::string_view help = command.help;
  PrintErrorLine(help.substr(0, help.find('\n')));
  return kUsageError;
}

bool ApplySymbolAssignments(const std::vector<std::u16string_view>& assignments,
                            SymbolTable* table) {
  for (std::u16string_view assignment : assignments) {
    size_t equals = assignment.find(u'=');
    if (equals == std::u16string_view::npos) return false;
    table->Set(assignment.substr(0, equals), assignment.substr(equals + 1));
  }
  return true;
}

// ---- Output ----------------------------------------------------------------------------

void WriteOutput(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

void PrintLine(std::u16string_view text) {
  std::string line = ToUtf8(text);
  line.push_back('\n');
  WriteOutput(line);
}

void PrintErrorLine(std::u16string_view text) { PrintErrorLine(ToUtf8(text)); }

void PrintErrorLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

void AppendJsonString(std::string* out, std::u16string_view text) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  out->push_back('"');
  for (char16_t unit : text) {
    if (unit >= 0x20 && unit <= 0x7E && unit != u'"' && unit != u'\\') {
      out->push_back(static_cast<char>(unit));
      continue;
    }
    char escape[] = {'\\',
                     'u',
                     kHexDigits[unit >> 12],
                     kHexDigits[(unit >> 8) & 0xF],
                     kHexDigits[(unit >> 4) & 0xF],
                     kHexDigits[unit & 0xF]};
    out->append(escape, sizeof escape);
  }
  out->push_back('"');
}

}  // namespace qds::tool
