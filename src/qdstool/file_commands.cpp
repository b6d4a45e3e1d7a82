// The qdstool commands that check, sign and rewrite QDS files.

#include <qds/document.h>

#include <string>

#include "common/utf8.h"
#include "document/document_state.h"
#include "qdsfile/md5_digest.h"
#include "qdstool/tool.h"

namespace qds::tool {
namespace {

// "error S loading FILE" or "error S saving FILE"; a digest that cannot be
// computed names the library it lacks.
void PrintFailure(int status, bool digestUnavailable, const char* doing, std::u16string_view file) {
  std::string line = "error " + std::to_string(status) + " " + doing + " " + EncodeUtf8(file);
  if (digestUnavailable) {
    line += std::string(": cannot compute the digest: ") + kDigestLibrary + " could not be loaded";
  }
  PrintErrorLine(line);
}

// Loads `path` into `document`. A failure is reported on standard error, a
// syntax error as "FILE:LINE: syntax error", any other as "error S loading
// FILE", followed, when the digest cannot be computed, by ": cannot compute
// the digest: LIBRARY could not be loaded". Returns the load status, which
// is the exit status of a command that stops there.
int LoadOrReport(QdsDocument* document, const std::u16string& path, uint32_t flags) {
  LoadStatus status = document->Load(path.c_str(), flags);
  if (status == LoadStatus::SyntaxError) {
    PrintErrorLine(EncodeUtf8(path) + ":" + std::to_string(document->state().model.errorLine) +
                   ": syntax error");
  } else if (status != LoadStatus::Ok) {
    PrintFailure(static_cast<int>(status), status == LoadStatus::DigestUnavailable, "loading",
                 path);
  }
  return static_cast<int>(status);
}

// Saves `document` to `path` (empty: over the file it was loaded from),
// never writing a file in place: the text goes to its name with ".tmp"
// appended, which then takes its place, so that a failed save leaves it as
// it was (QdsDocument::SaveReplacing). A failure is reported as "error S
// saving FILE" (and the digest's library as on loading), FILE being `path`
// or the document's file. Returns the save status.
int SaveOrReport(QdsDocument* document, const std::u16string& path, uint32_t flags) {
  SaveStatus status = document->SaveReplacing(path.empty() ? nullptr : path.c_str(), flags);
  if (status != SaveStatus::Ok) {
    std::u16string_view target = path.empty() ? document->state().model.fileName.View() : path;
    PrintFailure(static_cast<int>(status), status == SaveStatus::DigestUnavailable, "saving",
                 target);
  }
  return static_cast<int>(status);
}

// The number of entries of all sections.
uint64_t CountAllEntries(const QdsDocument& document) {
  uint64_t entries = 0;
  for (const QdsSection* section = document.state().model.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    entries += section->EntryCount();
  }
  return entries;
}

int Check(const std::u16string& path, uint32_t flags) {
  QdsDocument document;
  int status = LoadOrReport(&document, path, flags);
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
  int status = LoadOrReport(&document, parsed.operands()[0], KeepComments);
  if (status != 0) return status;
  const std::u16string* out = parsed.Value(u"-o");
  return SaveOrReport(&document, out != nullptr ? *out : std::u16string(), KeepComments | Digest);
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
  int loaded = LoadOrReport(&document, parsed.operands()[0], loadFlags);
  int saved = SaveOrReport(&document, parsed.operands()[1], saveFlags);
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
