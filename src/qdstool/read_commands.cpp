// The qdstool commands that read a document: dump prints it whole as JSON,
// cat prints its text, sections and keys list names, get prints values.

#include <qds/qds.h>

#include <optional>
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

int RunDump(const ParsedArguments& arguments) {
  uint32_t flagBits = static_cast<uint32_t>(LoadFlags::KeepComments);
  const std::u16string* flagText = arguments.Value(u"--load-flags");
  if (flagText != nullptr && !ParseNumber(*flagText, &flagBits)) {
    return UsageError(arguments, "flags must be a decimal or 0x-hexadecimal number");
  }
  if (arguments.operands().size() != 1) return UsageError(arguments, "expected one FILE");
  QdsDocument document;
  if (int status = ApplyCodePage(arguments, &document); status != 0) return status;
  const std::u16string& file = arguments.operands()[0];
  Status status =
      LoadFile(file, static_cast<LoadFlags>(flagBits) | CodePageLoadFlags(arguments), &document);
  CheckLineEnds(document, Subject(file), Use::Read);
  Dump(document, status);
  return status.Number();
}

// ---- cat ------------------------------------------------------------------------

int RunCat(const ParsedArguments& arguments) {
  if (arguments.operands().size() != 1) return UsageError(arguments, "expected one FILE");
  QdsDocument document;
  if (int status = ApplyCodePage(arguments, &document); status != 0) return status;
  std::string bytes;
  int status = 0;
  if (!ReadInput(arguments.operands()[0], &bytes, &status)) return status;
  // Loaded for the code page that its version line declares, and its line ends.
  static_cast<void>(document.LoadBytes(bytes, CodePageLoadFlags(arguments) | LoadFlags::Lenient));
  CheckLineEnds(document, Subject(arguments.operands()[0]), Use::Read);
  std::string text;
  static_cast<void>(DecodeFileText(bytes, document.CodePage(), &text));
  WriteOutput(text);
  return 0;
}

// ---- sections, keys, get -----------------------------------------------------------

// Reports that `document` lacks `section`, or `key` of it, as the library's
// read of the key words it; returns the status.
int ReportMissing(const QdsDocument& document, const std::u16string& file,
                  const std::u16string& section, const std::u16string& key) {
  std::vector<std::string> values;
  return Report(Subject(file), document.GetAll(section, key, &values));
}

// Loads FILE, the first operand, and finds SECTION, the second; reports why
// it cannot. Returns 0 or the exit status.
int LoadSection(const ParsedArguments& arguments, QdsDocument* document,
                std::optional<Section>* section) {
  const std::u16string& file = arguments.operands()[0];
  if (int status = LoadInput(arguments, file, LoadFlags::None, document); status != 0) {
    return status;
  }
  CheckLineEnds(*document, Subject(file), Use::Read);
  *section = document->FindSection(arguments.operands()[1]);
  if (!*section) return ReportMissing(*document, file, arguments.operands()[1], u"");
  return 0;
}

int RunSections(const ParsedArguments& arguments) {
  if (arguments.operands().size() != 1) return UsageError(arguments, "expected one FILE");
  QdsDocument document;
  const std::u16string& file = arguments.operands()[0];
  if (int status = LoadInput(arguments, file, LoadFlags::None, &document); status != 0) {
    return status;
  }
  CheckLineEnds(document, Subject(file), Use::Read);
  std::string out;
  for (Section section : document.Sections()) out += section.Name() + "\n";
  WriteOutput(out);
  return 0;
}

int RunKeys(const ParsedArguments& arguments) {
  if (arguments.operands().size() != 2) return UsageError(arguments, "expected FILE and SECTION");
  QdsDocument document;
  std::optional<Section> section;
  if (int status = LoadSection(arguments, &document, &section); status != 0) return status;
  std::string out;
  for (Key key : section->Keys()) out += key.Name() + "\n";
  WriteOutput(out);
  return 0;
}

int RunGet(const ParsedArguments& arguments) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (operands.size() != 2 && operands.size() != 3) {
    return UsageError(arguments, "expected FILE SECTION [KEY]");
  }
  SymbolTable table;
  if (!ApplySymbolAssignments(arguments.Values(u"--set"), &table)) {
    return UsageError(arguments, "--set takes NAME=VALUE");
  }
  QdsDocument document;
  std::optional<Section> section;
  if (int status = LoadSection(arguments, &document, &section); status != 0) return status;
  std::optional<Key> only;
  if (operands.size() == 3) {
    only = section->FindKey(operands[2]);
    if (!only) return ReportMissing(document, operands[0], operands[1], operands[2]);
  }
  bool expand = arguments.Has(u"--expand");
  ReadFlags flags = arguments.Has(u"--keep-quotes") ? ReadFlags::KeepQuotes : ReadFlags::None;
  std::string out;
  auto print = [&](const Key& key) {
    for (Value value : key.Values()) {
      std::string text;
      if (expand) {
        Status status = document.Expand(value, table, &text, flags);
        if (!status.Ok()) {
          // The excerpt is of this failure unless only the output did not fit.
          const char16_t* excerpt = nullptr;
          static_cast<void>(document.GetExpansionError(&excerpt));
          std::string near = *excerpt != 0 ? " near \"" + ToUtf8(excerpt) + "\"" : "";
          PrintErrorLine("qdstool: " + Subject(operands[0]) + ": [" + section->Name() + "] " +
                         key.Name() + ": " + status.Text() + near + " (status " +
                         std::to_string(status.Number()) + ")");
          return status.Number();
        }
      } else {
        text = flags == ReadFlags::KeepQuotes ? value.Text() : value.Unquoted();
      }
      out += only ? text + "\n" : key.Name() + "=" + text + "\n";
    }
    return 0;
  };
  // What was read before a failure is printed all the same.
  int status = 0;
  if (only) {
    status = print(*only);
  } else {
    for (Key key : section->Keys()) {
      if ((status = print(key)) != 0) break;
    }
  }
  WriteOutput(out);
  return status;
}

const OptionRule kDumpOptions[] = {{u"--load-flags", 1}, {u"--codepage", 1}};
const OptionRule kCodePageOption[] = {{u"--codepage", 1}};
const OptionRule kGetOptions[] = {
    {u"--expand", 0}, {u"--keep-quotes", 0}, {u"--set", 1}, {u"--codepage", 1}};

}  // namespace

const ToolCommand kDumpCommand = {
    u"dump",
    "print a loaded QDS document as JSON",
    "dump [--load-flags N] [--codepage N] FILE",
    "Loads FILE (flags as for rewrite, 1 by default) and prints the document as\n"
    "it stands afterwards, also after a failed load, as one JSON object:\n"
    "{\"status\":N,\"errorLine\":N,\"version\":N,\"utf16\":0|1,\"leadingText\":\"...\",\n"
    " \"trailingText\":\"...\",\"sections\":[{\"name\":\"...\",\"comment\":\"...\",\n"
    " \"keys\":[{\"name\":\"...\",\"values\":[{\"text\":\"...\",\"comment\":\"...\"}]}]}]}\n"
    "Strings are ASCII: '\"', '\\' and every UTF-16 unit outside U+0020..U+007E\n"
    "appear as \\uXXXX. Exits with the load status.\n",
    kDumpOptions,
    RunDump,
};

const ToolCommand kCatCommand = {
    u"cat",
    "print the text of a QDS file in UTF-8",
    "cat [--codepage N] FILE",
    "Prints the text of FILE in UTF-8, as loading reads it (UTF-16 after the\n"
    "byte-order mark, any other file in --codepage N, else in the code page its\n"
    "version line declares, else in the system's), line ends as they are,\n"
    "end marker and digest line included. As a textconv filter it lets\n"
    "'git diff' show QDS files as text.\n",
    kCodePageOption,
    RunCat,
};

const ToolCommand kSectionsCommand = {
    u"sections",
    "list the sections of a QDS file",
    "sections [--codepage N] FILE",
    "Prints the name of every section, one a line, in the order of the file.\n",
    kCodePageOption,
    RunSections,
};

const ToolCommand kKeysCommand = {
    u"keys",
    "list the keys of a section",
    "keys [--codepage N] FILE SECTION",
    "Prints the name of every key of SECTION, one a line, in the order of the\n"
    "file. A missing section exits 10.\n",
    kCodePageOption,
    RunKeys,
};

const ToolCommand kGetCommand = {
    u"get",
    "print the values of a key, or the entries of a section",
    "get [--expand] [--keep-quotes] [--set NAME=VALUE]... [--codepage N] FILE SECTION [KEY]",
    "Prints the values of KEY of SECTION, one a line; without KEY, every entry\n"
    "of SECTION as KEY=VALUE. Values lose their enclosing double quotes unless\n"
    "--keep-quotes. --expand expands symbols and commands in the values with a\n"
    "table holding the --set symbols; a failed expansion exits 8 and names its\n"
    "cause. A missing section exits 10, a missing key 11.\n",
    kGetOptions,
    RunGet,
};

}  // namespace qds::tool
