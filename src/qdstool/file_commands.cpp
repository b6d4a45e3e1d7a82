// The qdstool commands that check, sign and rewrite QDS files.

#include <string>

#include "common/utf8.h"
#include "document/document_state.h"
#include "qdstool/arguments.h"
#include "qdstool/command_table.h"
#include "qdstool/console.h"
#include "qdstool/document_files.h"

namespace qds::tool {
namespace {

int Check(const std::u16string& path, uint32_t flags) {
  QdsDocument document;
  int status = LoadDocument(&document, path, flags);
  if (status != 0) return status;
  WriteOutput(EncodeUtf8(path) + ": ok (version " + std::to_string(document.state().model.version) +
              ", " + std::to_string(document.GetSectionCount()) + " sections, " +
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
  uint32_t flags =
      (parsed.Has(u"--lenient") ? Lenient : 0) | (parsed.Has(u"--digest") ? Digest : 0);
  return Check(parsed.operands()[0], flags);
}

int RunVerify(CommandArguments arguments) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, {}, &parsed, &error)) return UsageError(kVerifyCommand, error);
  if (parsed.operands().size() != 1) return UsageError(kVerifyCommand, "expected one FILE");
  return Check(parsed.operands()[0], Digest);
}

int RunSign(CommandArguments arguments) {
  static const OptionRule kOptions[] = {{u"-o", true}};
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(arguments, kOptions, &parsed, &error)) return UsageError(kSignCommand, error);
  if (parsed.operands().size() != 1) return UsageError(kSignCommand, "expected one FILE");
  QdsDocument document;
  int status = LoadDocument(&document, parsed.operands()[0], KeepComments);
  if (status != 0) return status;
  const std::u16string* out = parsed.Value(u"-o");
  return SaveDocument(&document, out != nullptr ? *out : std::u16string(), KeepComments | Digest);
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
  if (!OptionFlags(parsed, u"--load-flags", KeepComments, &loadFlags) ||
      !OptionFlags(parsed, u"--save-flags", KeepComments, &saveFlags)) {
    return UsageError(kRewriteCommand, "flags must be a decimal or 0x-hexadecimal number");
  }
  if (parsed.operands().size() != 2) return UsageError(kRewriteCommand, "expected IN and OUT");
  QdsDocument document;
  int loaded = LoadDocument(&document, parsed.operands()[0], loadFlags);
  int saved = SaveDocument(&document, parsed.operands()[1], saveFlags);
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
