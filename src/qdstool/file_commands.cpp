// The qdstool commands that check, sign and rewrite QDS files.

#include <qds/qds.h>

#include <string>

#include "qdstool/tool.h"

namespace qds::tool {
namespace {

// "error S loading FILE" or "error S saving FILE"; a digest that cannot be
// computed names the library it lacks.
void PrintFailure(const Status& status, const char* doing, std::u16string_view file) {
  std::string line = "error " + std::to_string(status.Number()) + " " + doing + " " + ToUtf8(file);
  if (status == LoadStatus::DigestUnavailable || status == SaveStatus::DigestUnavailable) {
    line += ": " + StatusText(status);
  }
  PrintErrorLine(line);
}

// Loads `path` into `document`. A failure is reported on standard error, a
// syntax error as "FILE:LINE: syntax error", any other as "error S loading
// FILE", followed, when the digest cannot be computed, by ": cannot compute
// the digest: LIBRARY could not be loaded". Returns the load status, which
// is the exit status of a command that stops there.
int LoadOrReport(QdsDocument* document, const std::u16string& path, LoadFlags flags) {
  Status status = document->Load(FilePath(path), flags);
  if (status == LoadStatus::SyntaxError) {
    PrintErrorLine(ToUtf8(path) + ":" + std::to_string(status.Line()) + ": syntax error");
  } else if (!status.Ok()) {
    PrintFailure(status, "loading", path);
  }
  return status.Number();
}

// Saves `document`, loaded from `loaded`, to `path` (empty: over `loaded`),
// never writing a file in place: the text goes to its name with ".tmp"
// appended, which then takes its place, so that a failed save leaves it as
// it was. A failure is reported as "error S saving FILE" (and the digest's
// library as on loading). Returns the save status.
int SaveOrReport(QdsDocument* document, const std::u16string& loaded, const std::u16string& path,
                 SaveFlags flags) {
  Status status = path.empty() ? document->Save(flags) : document->SaveTo(FilePath(path), flags);
  if (!status.Ok()) PrintFailure(status, "saving", path.empty() ? loaded : path);
  return status.Number();
}

// The number of entries of all sections.
uint64_t CountAllEntries(const QdsDocument& document) {
  uint64_t entries = 0;
  for (Section section : document.Sections()) entries += section.EntryCount();
  return entries;
}

int Check(const std::u16string& path, LoadFlags flags) {
  QdsDocument document;
  int status = LoadOrReport(&document, path, flags);
  if (status != 0) return status;
  WriteOutput(ToUtf8(path) + ": ok (version " + std::to_string(document.Version()) + ", " +
              std::to_string(document.SectionCount()) + " sections, " +
              std::to_string(CountAllEntries(document)) + " entries)\n");
  return 0;
}

int RunCheck(CommandArguments arguments) {
  static const OptionRule kOptions[] = {{u"--lenient", false}, {u"--digest", false}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error))
    return UsageError(kCheckCommand, error);
  if (parsed.operands().size() != 1) return UsageError(kCheckCommand, "expected one FILE");
  LoadFlags flags = (parsed.Has(u"--lenient") ? LoadFlags::Lenient : LoadFlags::None) |
                    (parsed.Has(u"--digest") ? LoadFlags::Digest : LoadFlags::None);
  return Check(parsed.operands()[0], flags);
}

int RunVerify(CommandArguments arguments) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, {}, &parsed, &error)) return UsageError(kVerifyCommand, error);
  if (parsed.operands().size() != 1) return UsageError(kVerifyCommand, "expected one FILE");
  return Check(parsed.operands()[0], LoadFlags::Digest);
}

int RunSign(CommandArguments arguments) {
  static const OptionRule kOptions[] = {{u"-o", true}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) return UsageError(kSignCommand, error);
  if (parsed.operands().size() != 1) return UsageError(kSignCommand, "expected one FILE");
  QdsDocument document;
  const std::u16string& file = parsed.operands()[0];
  int status = LoadOrReport(&document, file, LoadFlags::KeepComments);
  if (status != 0) return status;
  const std::u16string* out = parsed.Value(u"-o");
  return SaveOrReport(&document, file, out != nullptr ? *out : std::u16string(),
                      SaveFlags::KeepComments | SaveFlags::Digest);
}

// Reads the numeric flags of `option`, or `fallback` when it is not given.
bool OptionFlags(const ParsedArguments& parsed, std::u16string_view option, uint32_t fallback,
                 uint32_t* flags) {
  const std::u16string* text = parsed.Value(option);
  if (text == nullptr) {
    *flags = fallback;
    return true;
  }
  return ParseFlags(*text, flags);
}

int RunRewrite(CommandArguments arguments) {
  static const OptionRule kOptions[] = {{u"--load-flags", true}, {u"--save-flags", true}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) {
    return UsageError(kRewriteCommand, error);
  }
  uint32_t loadFlags = 0;
  uint32_t saveFlags = 0;
  constexpr uint32_t kKeepComments = static_cast<uint32_t>(LoadFlags::KeepComments);
  if (!OptionFlags(parsed, u"--load-flags", kKeepComments, &loadFlags) ||
      !OptionFlags(parsed, u"--save-flags", kKeepComments, &saveFlags)) {
    return UsageError(kRewriteCommand, "flags must be a decimal or 0x-hexadecimal number");
  }
  if (parsed.operands().size() != 2) return UsageError(kRewriteCommand, "expected IN and OUT");
  QdsDocument document;
  const std::u16string& in = parsed.operands()[0];
  int loaded = LoadOrReport(&document, in, static_cast<LoadFlags>(loadFlags));
  int saved =
      SaveOrReport(&document, in, parsed.operands()[1], static_cast<SaveFlags>(saveFlags));
  return loaded != 0 ? loaded : saved;
}

}  // namespace

const ToolCommand kCheckCommand = {
    u"check",
    "load a QDS file and count its sections and entries",
    "usage: qdstool check [--lenient] [--digest] FILE\n"
    "Loads FILE and prints 'FILE: ok (version V, S sections, E entries)'.\n"
    "  --lenient  accept entries before the first section and keys without '='\n"
    "  --digest   require the end marker and check the file's digest\n"
    "A syntax error prints 'FILE:LINE: syntax error' and exits 7; any other\n"
    "load failure prints 'error S loading FILE' and exits S.\n",
    RunCheck,
};

const ToolCommand kVerifyCommand = {
    u"verify",
    "check a signed QDS file's digest",
    "usage: qdstool verify FILE\n"
    "The same as 'qdstool check --digest FILE': a file whose text was changed\n"
    "after it was signed, or that carries no end marker, exits 15.\n",
    RunVerify,
};

const ToolCommand kSignCommand = {
    u"sign",
    "write a QDS file with its end marker and digest",
    "usage: qdstool sign FILE [-o OUT]\n"
    "Loads FILE keeping its comments and saves it with the end marker and the\n"
    "digest line, in place or to OUT. A load failure exits with the load\n"
    "status, a save failure with the save status ('error S saving FILE').\n",
    RunSign,
};

const ToolCommand kRewriteCommand = {
    u"rewrite",
    "load a QDS file and save it with the given flags",
    "usage: qdstool rewrite [--load-flags N] [--save-flags N] IN OUT\n"
    "Loads IN and saves the document to OUT, even after a failed load (the\n"
    "document then holds what was read before the failure). Flags are numbers\n"
    "(decimal or 0x-hex), 1 by default: 0x01 keep comments, 0x02 digest,\n"
    "0x04 omit header (saving), 0x10 lenient (loading). Exits with the load\n"
    "status when it is not 0, else with the save status.\n",
    RunRewrite,
};

}  // namespace qds::tool
