#include "qdstool/arguments.h"

#include "common/utf8.h"
#include "qdstool/console.h"

namespace qds::tool {

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
      *error = "unknown option " + EncodeUtf8(argument);
      return false;
    }
    std::u16string value;
    if (rule->takesValue) {
      if (++i == arguments.size()) {
        *error = "option " + EncodeUtf8(argument) + " needs a value";
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

int UsageError(const ToolCommand& command, std::string_view message) {
  PrintErrorLine("qdstool " + EncodeUtf8(command.name) + ": " + std::string(message));
  std::string_view help = command.help;
  PrintErrorLine(help.substr(0, help.find('\n')));
  return kUsageError;
}

}  // namespace qds::tool
