// The qdstool commands that check, sign and rewrite QDS files.

#include <qds/qds.h>

#include <string>

#include "qdstool/text_warnings.h"
#include "qdstool/tool.h"

namespace qds::tool {
namespace {

// The number of entries of all sections.
uint64_t CountAllEntries(const QdsDocument& document) {
  uint64_t entries = 0;
  for (Section section : document.Sections()) entries += section.EntryCount();
  return entries;
}

// Whether a signed file's digest fails: `document` was loaded from
// `bytes` without checking it.
bool DigestFails(const QdsDocument& document, std::string_view bytes, LoadFlags flags) {
  if (!document.HasDigest() || Has(flags, LoadFlags::Digest)) return false;
  QdsDocument checked;
  static_cast<void>(checked.SetCodePage(document.CodePage()));
  return checked.LoadBytes(bytes, flags | LoadFlags::Digest) == LoadStatus::DigestMismatch;
}

// Loads each file and prints "FILE: ok (...)" for it, and the code page of
// an ANSI file, or reports why it failed, after warnings about its text.
// Returns the status of the first file that failed; else, under --strict,
// kDataError if one warned.
int CheckFiles(const ParsedArguments& arguments, LoadFlags flags) {
  const std::vector<std::u16string>& files = arguments.operands();
  if (files.empty()) return UsageError(arguments, "expected FILE...");
  QdsDocument settings;
  if (int status = ApplyCodePage(arguments, &settings); status != 0) return status;
  flags |= CodePageLoadFlags(arguments);
  int firstFailure = 0;
  bool warned = false;
  for (const std::u16string& file : files) {
    std::string bytes;
    int status = 0;
    if (ReadInput(file, &bytes, &status)) {
      const std::string subject = Subject(file);
      QdsDocument document;
      static_cast<void>(document.SetCodePage(settings.CodePage()));
      Status loaded = document.LoadBytes(bytes, flags);
      std::vector<TextWarning> warnings = FindTextWarnings(bytes, document.CodePage());
      for (const TextWarning& warning : warnings) {
        PrintErrorLine("qdstool: " + subject + ":" + std::to_string(warning.line) +
                       ": warning: " + warning.words);
      }
      warned |= !warnings.empty();
      if (loaded.Ok() && DigestFails(document, bytes, flags)) {
        PrintErrorLine("qdstool: " + subject + ": warning: signed, but the digest does not match");
        warned = true;
      }
      status = loaded.Ok() ? 0 : Report(subject, loaded);
      if (status == 0) {
        WriteOutput(subject + ": ok (version " + std::to_string(document.Version()) + ", " +
                    std::to_string(document.SectionCount()) + " sections, " +
                    std::to_string(CountAllEntries(document)) + " entries)\n");
        if (!document.LoadedUtf16()) {
          WriteOutput(subject + ": code page: " + std::to_string(document.CodePage()) + "\n");
        }
      }
    }
    if (firstFailure == 0) firstFailure = status;
  }
  if (firstFailure == 0 && warned && arguments.Has(u"--strict")) return kDataError;
  return firstFailure;
}

int RunCheck(const ParsedArguments& arguments) {
  LoadFlags flags = (arguments.Has(u"--lenient") ? LoadFlags::Lenient : LoadFlags::None) |
                    (arguments.Has(u"--digest") ? LoadFlags::Digest : LoadFlags::None);
  return CheckFiles(arguments, flags);
}

int RunVerify(const ParsedArguments& arguments) { return CheckFiles(arguments, LoadFlags::Digest); }

int RunSign(const ParsedArguments& arguments) {
  if (arguments.operands().size() != 1) return UsageError(arguments, "expected one FILE");
  QdsDocument document;
  const std::u16string& file = arguments.operands()[0];
  int status =
      LoadInput(arguments, file, LoadFlags::KeepComments, &document, LoadingFor(arguments));
  if (status != 0) return status;
  if (int refused = CheckLineEnds(document, Subject(file), Use::Write); refused != 0) {
    return refused;
  }
  return FinishChange(arguments, &document, file, OutputOption(arguments),
                      SaveFlags::KeepComments | SaveFlags::Digest);
}

// Reads the numeric flags of `option`, or `fallback` when it is not given.
bool OptionFlags(const ParsedArguments& arguments, std::u16string_view option, uint32_t fallback,
                 uint32_t* flags) {
  const std::u16string* text = arguments.Value(option);
  if (text == nullptr) {
    *flags = fallback;
    return true;
  }
  return ParseNumber(*text, flags);
}

int RunRewrite(const ParsedArguments& arguments) {
  uint32_t loadFlags = 0;
  uint32_t saveFlags = 0;
  constexpr uint32_t kKeepComments = static_cast<uint32_t>(LoadFlags::KeepComments);
  if (!OptionFlags(arguments, u"--load-flags", kKeepComments, &loadFlags) ||
      !OptionFlags(arguments, u"--save-flags", kKeepComments, &saveFlags)) {
    return UsageError(arguments, "flags must be a decimal or 0x-hexadecimal number");
  }
  if (arguments.operands().size() != 2) return UsageError(arguments, "expected IN and OUT");
  QdsDocument document;
  const std::u16string& in = arguments.operands()[0];
  int loaded = LoadInput(arguments, in, static_cast<LoadFlags>(loadFlags), &document);
  if (loaded == kUsageError || loaded == static_cast<int>(LibraryStatus::UnknownCodePage)) {
    return loaded;
  }
  if (int refused = CheckLineEnds(document, Subject(in), Use::Write); refused != 0) return refused;
  int saved = FinishChange(arguments, &document, in, arguments.operands()[1],
                           static_cast<SaveFlags>(saveFlags));
  return loaded != 0 ? loaded : saved;
}

const OptionRule kCheckOptions[] = {
    {u"--lenient", 0}, {u"--digest", 0}, {u"--strict", 0}, {u"--codepage", 1}};
const OptionRule kCodePageOption[] = {{u"--codepage", 1}};
const OptionRule kSignOptions[] = {{u"--codepage", 1}, {u"-o", 1}, KNITFOLD_CHANGE_OPTIONS};
const OptionRule kRewriteOptions[] = {
    {u"--load-flags", 1}, {u"--save-flags", 1}, {u"--codepage", 1}, KNITFOLD_CHANGE_OPTIONS};

}  // namespace

const ToolCommand kCheckCommand = {
    u"check",
    "load QDS files and count their sections and entries",
    "check [--lenient] [--digest] [--strict] [--codepage N] FILE...",
    "Loads each FILE and prints 'FILE: ok (version V, S sections, E entries)',\n"
    "and for a file that is not UTF-16 'FILE: code page: N', the code page it\n"
    "was read in; or why it cannot be loaded, with the status, on standard error.\n"
    "  --lenient     accept entries before the first section and keys without '='\n"
    "  --digest      require the end marker and check the file's digest\n"
    "  --strict      exit 65 when a file loads but warned\n"
    "  --codepage N  the code page of files that are not UTF-16 (default: the one\n"
    "                the version line declares, else the system's ANSI code\n"
    "                page, 1252 on POSIX)\n"
    "Warnings, on standard error, tell of text that loads but probably does not\n"
    "say what its author meant, and of a signed file whose digest does not\n"
    "match. Exits with the status of the first file that\n"
    "failed: 1-4 cannot open or read, 7 syntax error, 15 digest, 16 no digest\n"
    "library.\n",
    kCheckOptions,
    RunCheck,
};

const ToolCommand kVerifyCommand = {
    u"verify",
    "check the digests of signed QDS files",
    "verify [--codepage N] FILE...",
    "The same as 'qdstool check --digest FILE...': a file that was never signed,\n"
    "or whose text changed after it was signed, exits 15, and the message says\n"
    "which.\n",
    kCodePageOption,
    RunVerify,
};

const ToolCommand kSignCommand = {
    u"sign",
    "write a QDS file with its end marker and digest",
    "sign [--codepage N] [-o OUT] [--dry-run] [--exit-code] FILE",
    "Loads FILE keeping its comments and saves it with the end marker and the\n"
    "digest line, in place or to OUT (-o, --output). A load failure exits with\n"
    "the load status, a save failure with the save status. --dry-run and\n"
    "--exit-code as for set.\n",
    kSignOptions,
    RunSign,
};

const ToolCommand kRewriteCommand = {
    u"rewrite",
    "load a QDS file and save it with the given flags",
    "rewrite [--load-flags N] [--save-flags N] [--codepage N] [--dry-run] [--exit-code] IN OUT",
    "Loads IN and saves the document to OUT, even after a failed load (the\n"
    "document then holds what was read before the failure). Flags are numbers\n"
    "(decimal or 0x-hex), 1 by default: 0x01 keep comments, 0x02 digest,\n"
    "0x04 omit header (saving), 0x10 lenient (loading), 0x80 keep the layout;\n"
    "without --codepage, 0x08 (the declared code page) is added to loading.\n"
    "Exits with the load status when it is not 0, else with the save status.\n"
    "--dry-run and --exit-code as for set, of OUT.\n",
    kRewriteOptions,
    RunRewrite,
};

}  // namespace qds::tool
