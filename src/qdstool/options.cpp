// The command line of a qdstool command: options and operands.

#include <string>

#include "qdstool/tool.h"

namespace qds::tool {

const std::u16string* ParsedArguments::Value(std::u16string_view name) const {
  const std::u16string* found = nullptr;
  for (const std::vector<std::u16string>& option : options_) {
    if (option[0] == name) found = option.size() > 1 ? &option[1] : &option[0];
  }
  return found;
}

std::vector<std::u16string_view> ParsedArguments::Values(std::u16string_view name) const {
  std::vector<std::u16string_view> values;
  for (const std::vector<std::u16string>& option : options_) {
    if (option[0] == name && option.size() > 1) values.push_back(option[1]);
  }
  return values;
}

namespace {

// -o is also --output, so that it can be given as --output=FILE.
std::u16string_view CanonicalName(std::u16string_view name) {
  return name == u"--output" ? u"-o" : name;
}

}  // namespace

bool ParseArguments(const ToolCommand& command, CommandArguments arguments, ParsedArguments* parsed,
                    std::string* error) {
  parsed->command_ = &command;
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
    if (argument == u"-h" || argument == u"--help") {
      parsed->help_ = true;
      continue;
    }
    size_t equals = argument.starts_with(u"--") ? argument.find(u'=') : std::u16string::npos;
    std::u16string_view name = CanonicalName(std::u16string_view(argument).substr(0, equals));
    const OptionRule* rule = nullptr;
    for (const OptionRule& candidate : command.options) {
      if (candidate.name == name) rule = &candidate;
    }
    std::string shown = ToUtf8(argument.substr(0, equals));
    if (rule == nullptr) {
      *error = "unknown option " + shown;
      return false;
    }
    std::vector<std::u16string> option{std::u16string(name)};
    if (equals != std::u16string::npos) {
      if (rule->values != 1) {
        *error =
            "option " + shown +
            (rule->values == 0 ? " takes no value" : " takes its values as the arguments after it");
        return false;
      }
      option.push_back(argument.substr(equals + 1));
    } else {
      if (arguments.size() - i - 1 < static_cast<size_t>(rule->values)) {
        *error =
            "option " + shown + " needs " +
            (rule->values == 1 ? std::string("a value") : std::to_string(rule->values) + " values");
        return false;
      }
      option.insert(option.end(), arguments.begin() + i + 1,
                    arguments.begin() + i + 1 + rule->values);
      i += rule->values;
    }
    parsed->options_.push_back(std::move(option));
  }
  return true;
}

bool ParseNumber(std::u16string_view text, uint32_t* value) {
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

bool ApplySymbolAssignments(const std::vector<std::u16string_view>& assignments,
                            SymbolTable* table) {
  for (std::u16string_view assignment : assignments) {
    size_t equals = assignment.find(u'=');
    if (equals == std::u16string_view::npos) return false;
    table->Set(assignment.substr(0, equals), assignment.substr(equals + 1));
  }
  return true;
}

}  // namespace qds::tool
