// The qdstool commands that read a document: dump prints it whole as
// JSON, get the entries of one section as GetEntry reads them.

#include <qds/document.h>
#include <qds/symbol_table.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "document/document_state.h"
#include "document/expanding_read.h"
#include "expansion/replace_status.h"
#include "qdstool/tool.h"

namespace qds::tool {
namespace {

// ---- dump ------------------------------------------------------------------------

// Output is handed on in pieces of about this size, so a large document is
// never held twice.
constexpr size_t kOutputPiece = 1 << 16;

void AppendField(std::string* out, const char* name, std::u16string_view text) {
  out->append(name);
  AppendJsonString(out, text);
}

void AppendKey(std::string* out, const QdsKey& key) {
  AppendField(out, "{\"name\":", key.name.View());
  out->append(",\"values\":[");
  for (const QdsValue* value = key.values.head(); value != nullptr;
       value = NodeList<QdsValue>::Next(value)) {
    if (value != key.values.head()) out->push_back(',');
    AppendField(out, "{\"text\":", value->name.View());
    AppendField(out, ",\"comment\":", value->comment.View());
    out->push_back('}');
    if (out->size() >= kOutputPiece) {
      WriteOutput(*out);
      out->clear();
    }
  }
  out->append("]}");
}

void AppendSection(std::string* out, const QdsSection& section) {
  AppendField(out, "{\"name\":", section.name.View());
  AppendField(out, ",\"comment\":", section.comment.View());
  out->append(",\"keys\":[");
  for (const QdsKey* key = section.keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    if (key != section.keys.head()) out->push_back(',');
    AppendKey(out, *key);
  }
  out->append("]}");
}

void Dump(const DocumentModel& document, int status) {
  std::string out = "{\"status\":" + std::to_string(status) +
                    ",\"errorLine\":" + std::to_string(document.errorLine) +
                    ",\"version\":" + std::to_string(document.version) +
                    ",\"utf16\":" + std::to_string(document.utf16);
  AppendField(&out, ",\"leadingText\":", document.leadingText.View());
  AppendField(&out, ",\"trailingText\":", document.trailingText.View());
  out.append(",\"sections\":[");
  for (const QdsSection* section = document.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    if (section != document.sections.head()) out.push_back(',');
    AppendSection(&out, *section);
  }
  out.append("]}\n");
  WriteOutput(out);
}

int RunDump(CommandArguments arguments) {
  static const OptionRule kOptions[] = {{u"--load-flags", true}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) return UsageError(kDumpCommand, error);
  uint32_t flags = KeepComments;
  const std::u16string* flagText = parsed.Value(u"--load-flags");
  if (flagText != nullptr && !ParseFlags(*flagText, &flags)) {
    return UsageError(kDumpCommand, "flags must be a decimal or 0x-hexadecimal number");
  }
  if (parsed.operands().size() != 1) return UsageError(kDumpCommand, "expected one FILE");
  QdsDocument document;
  LoadStatus status = document.Load(parsed.operands()[0].c_str(), flags);
  Dump(document.state().model, static_cast<int>(status));
  return 0;
}

// ---- get ---------------------------------------------------------------------------

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
  if (!ApplySymbolAssignments(parsed.Values(u"--set"), &table)) {
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

const ToolCommand kDumpCommand = {
    u"dump",
    "print a loaded QDS document as JSON",
    "usage: qdstool dump [--load-flags N] FILE\n"
    "Loads FILE (flags as for rewrite, 1 by default) and prints the document as\n"
    "it stands afterwards, also after a failed load, as one JSON object:\n"
    "{\"status\":N,\"errorLine\":N,\"version\":N,\"utf16\":0|1,\"leadingText\":\"...\",\n"
    " \"trailingText\":\"...\",\"sections\":[{\"name\":\"...\",\"comment\":\"...\",\n"
    " \"keys\":[{\"name\":\"...\",\"values\":[{\"text\":\"...\",\"comment\":\"...\"}]}]}]}\n"
    "Strings are ASCII: '\"', '\\' and every UTF-16 unit outside U+0020..U+007E\n"
    "appear as \\uXXXX. Exits 0 whatever the load status.\n",
    RunDump,
};

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
