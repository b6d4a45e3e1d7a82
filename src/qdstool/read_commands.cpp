// qdstool dump: the document as loaded, as one JSON object.

#include <string>

#include "document/document_state.h"
#include "qdstool/arguments.h"
#include "qdstool/command_table.h"
#include "qdstool/console.h"
#include "qdstool/json_text.h"

namespace qds::tool {
namespace {

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

}  // namespace qds::tool
