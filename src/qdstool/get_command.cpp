// qdstool get: the entries of one section, as GetEntry reads them.

#include <qds/symbol_table.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "document/document_state.h"
#include "document/expanding_read.h"
#include "expansion/replace_status.h"
#include "expansion/symbol_map.h"
#include "qdstool/arguments.h"
#include "qdstool/command_table.h"
#include "qdstool/console.h"
#include "qdstool/symbol_options.h"

namespace qds::tool {
namespace {

// Reads the entry at `position` as a caller of the library does: one read
// and, when the buffers are too small, one more with the sizes that the
// first asked for. A second BufferTooSmall is final: an expansion may ask for
// more on every run (its commands change the table that its size depends
// on, or a command name is too long to scan).
ReadStatus ReadEntry(QdsDocument& document, const std::u16string& section, uint32_t position,
                     uint32_t flags, std::vector<char16_t>* key, std::vector<char16_t>* value) {
  uint32_t keyLength = static_cast<uint32_t>(key->size());
  uint32_t valueLength = static_cast<uint32_t>(value->size());
  auto read = [&] {
    return document.GetEntry(section.c_str(), position, key->data(), &keyLength, value->data(),
                             &valueLength, flags);
  };
  ReadStatus status = read();
  if (status != ReadStatus::BufferTooSmall) return status;
  key->resize(std::max<size_t>(key->size(), keyLength));
  value->resize(std::max<size_t>(value->size(), valueLength));
  keyLength = static_cast<uint32_t>(key->size());
  valueLength = static_cast<uint32_t>(value->size());
  return read();
}

void PrintExpansionFailure(uint32_t status, std::u16string_view excerpt) {
  PrintErrorLine("error " + std::to_string(status) + " near \"" + EncodeUtf8(excerpt) + "\"");
}

int RunGet(CommandArguments arguments) {
  static const OptionRule kOptions[] = {
      {u"--expand", false}, {u"--keep-quotes", false}, {u"--set", true}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) return UsageError(kGetCommand, error);
  if (parsed.operands().size() != 2) return UsageError(kGetCommand, "expected FILE and SECTION");
  const std::u16string& path = parsed.operands()[0];
  const std::u16string& section = parsed.operands()[1];
  SymbolTable table(true, 16);
  if (!ApplySymbolAssignments(parsed.Values(u"--set"), &table.map())) {
    return UsageError(kGetCommand, "--set takes NAME=VALUE");
  }

  QdsDocument document;
  int loaded = static_cast<int>(document.Load(path.c_str(), 0));
  if (loaded != 0) {
    PrintErrorLine("error " + std::to_string(loaded) + " loading " + EncodeUtf8(path));
    return loaded;
  }
  uint32_t flags = parsed.Has(u"--keep-quotes") ? ReadKeepQuotes : 0;
  if (parsed.Has(u"--expand")) {
    document.SetSymbolTable(&table);
    flags |= ReadExpand;
  }

  std::vector<char16_t> key(260);
  std::vector<char16_t> value(1024);
  for (uint32_t position = 0;; ++position) {
    ReadStatus status = ReadEntry(document, section, position, flags, &key, &value);
    switch (status) {
      case ReadStatus::Ok:
        PrintLine(std::u16string(key.data()) + u"=" + value.data());
        break;
      case ReadStatus::NoEntry:
        return 0;
      case ReadStatus::NoSection:
        PrintErrorLine(u"error 10: no section " + section);
        return 10;
      case ReadStatus::ExpansionFailed: {
        const char16_t* context = nullptr;
        uint32_t expansion = document.GetExpansionError(&context);
        PrintExpansionFailure(expansion, context);
        return static_cast<int>(ReadStatus::ExpansionFailed);
      }
      case ReadStatus::BufferTooSmall: {
        // Only an expansion that asked for more again ends here: it failed,
        // and is told with the excerpt of the unexpanded value that a failure
        // leaves. The unexpanded value always fits the second read.
        uint32_t errorPosition = static_cast<uint32_t>(document.state().expansionErrorPos);
        static_cast<void>(
            ReadEntry(document, section, position, flags & ~ReadExpand, &key, &value));
        PrintExpansionFailure(static_cast<uint32_t>(ReplaceStatus::BufferTooSmall),
                              ExpansionExcerpt(value.data(), errorPosition));
        return static_cast<int>(ReadStatus::ExpansionFailed);
      }
    }
  }
}

}  // namespace

const ToolCommand kGetCommand = {
    u"get",
    "print the entries of a section",
    "usage: qdstool get [--expand] [--keep-quotes] [--set NAME=VALUE]... FILE SECTION\n"
    "Loads FILE and prints every entry of SECTION as KEY=VALUE, in order.\n"
    "--keep-quotes keeps the double quotes around a value; --expand expands\n"
    "symbols and commands in the values with a table holding the --set symbols.\n"
    "A failed expansion prints \"error STATUS near \\\"EXCERPT\\\"\" and exits 8; a\n"
    "load failure prints \"error S loading FILE\" and exits S; a missing section\n"
    "prints \"error 10: no section NAME\" and exits 10.\n",
    RunGet,
};

}  // namespace qds::tool
