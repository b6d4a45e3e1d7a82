// The qdstool commands that read a document: dump prints it whole as
// JSON, get the entries of one section as GetEntry reads them.

#include <qds/qds.h>

#include <algorithm>
#include <string>
#include <vector>

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

void AppendKey(std::string* out, const Key& key) {
  AppendField(out, "{\"name\":", key.Name16());
  out->append(",\"values\":[");
  bool first = true;
  for (Value value : key.Values()) {
    if (!first) out->push_back(',');
    first = false;
    // A bare key is shown as it is held: a value of one line feed.
    AppendField(out, "{\"text\":", value.IsBareKey() ? u"\n" : value.Text16());
    AppendField(out, ",\"comment\":", value.Comment16());
    out->push_back('}');
    if (out->size() >= kOutputPiece) {
      WriteOutput(*out);
      out->clear();
    }
  }
  out->append("]}");
}

void AppendSection(std::string* out, const Section& section) {
  AppendField(out, "{\"name\":", section.Name16());
  AppendField(out, ",\"comment\":", section.Comment16());
  out->append(",\"keys\":[");
  bool first = true;
  for (Key key : section.Keys()) {
    if (!first) out->push_back(',');
    first = false;
    AppendKey(out, key);
  }
  out->append("]}");
}

void Dump(const QdsDocument& document, const Status& status) {
  std::string out = "{\"status\":" + std::to_string(status.Number()) +
                    ",\"errorLine\":" + std::to_string(status.Line()) +
                    ",\"version\":" + std::to_string(document.Version()) +
                    ",\"utf16\":" + (document.LoadedUtf16() ? "1" : "0");
  AppendField(&out, ",\"leadingText\":", document.LeadingText16());
  AppendField(&out, ",\"trailingText\":", document.TrailingText16());
  out.append(",\"sections\":[");
  bool first = true;
  for (Section section : document.Sections()) {
    if (!first) out.push_back(',');
    first = false;
    AppendSection(&out, section);
  }
  out.append("]}\n");
  WriteOutput(out);
}

int RunDump(CommandArguments arguments) {
  static const OptionRule kOptions[] = {{u"--load-flags", true}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) return UsageError(kDumpCommand, error);
  uint32_t flags = static_cast<uint32_t>(LoadFlags::KeepComments);
  const std::u16string* flagText = parsed.Value(u"--load-flags");
  if (flagText != nullptr && !ParseFlags(*flagText, &flags)) {
    return UsageError(kDumpCommand, "flags must be a decimal or 0x-hexadecimal number");
  }
  if (parsed.operands().size() != 1) return UsageError(kDumpCommand, "expected one FILE");
  QdsDocument document;
  Status status = document.Load(FilePath(parsed.operands()[0]), static_cast<LoadFlags>(flags));
  Dump(document, status);
  return 0;
}

// ---- get ---------------------------------------------------------------------------

// Reads the entry at `position` as a caller of the library does: one read
// and, when the buffers are too small, one more with the sizes that the
// first asked for. A second BufferTooSmall is final: an expansion may ask for
// more on every run (its commands change the table that its size depends
// on, or a command name is too long to scan).
ReadStatus ReadEntry(QdsDocument& document, const std::u16string& section, uint32_t position,
                     ReadFlags flags, std::vector<char16_t>* key, std::vector<char16_t>* value) {
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
  PrintErrorLine("error " + std::to_string(status) + " near \"" + ToUtf8(excerpt) + "\"");
}

// The units of `value` around `position` that the library leaves as the
// excerpt of a failed expansion: up to 25 before the position and 25 from it.
std::u16string_view ExcerptAround(std::u16string_view value, uint32_t position) {
  size_t start = std::min<size_t>(position > 25 ? position - 25 : 0, value.size());
  return value.substr(start, std::min<size_t>(size_t{position} + 25, value.size()) - start);
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
  SymbolTable table;
  if (!ApplySymbolAssignments(parsed.Values(u"--set"), &table)) {
    return UsageError(kGetCommand, "--set takes NAME=VALUE");
  }

  QdsDocument document;
  int loaded = document.Load(FilePath(path)).Number();
  if (loaded != 0) {
    PrintErrorLine("error " + std::to_string(loaded) + " loading " + ToUtf8(path));
    return loaded;
  }
  ReadFlags unexpanded = parsed.Has(u"--keep-quotes") ? ReadFlags::KeepQuotes : ReadFlags::None;
  ReadFlags flags = unexpanded;
  if (parsed.Has(u"--expand")) {
    document.SetSymbolTable(&table);
    flags |= ReadFlags::Expand;
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
        uint32_t errorPosition = document.GetExpansionErrorPosition();
        static_cast<void>(ReadEntry(document, section, position, unexpanded, &key, &value));
        PrintExpansionFailure(static_cast<uint32_t>(ExpandStatus::BufferTooSmall),
                              ExcerptAround(value.data(), errorPosition));
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
