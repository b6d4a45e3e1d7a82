// The qdstool commands that change a QDS file: set, add, del and rename,
// and edit, which makes several such changes at once. A file is changed all
// or nothing, and keeps what it was: signed (with a fresh digest) or not,
// and, unless --canonical, its own text but for the lines changed.

#include <qds/qds.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qdstool/tool.h"

namespace qds::tool {
namespace {

enum class EditKind { Set, Add, DeleteValue, DeleteKey, DeleteSection, RenameKey, RenameSection };

struct Edit {
  EditKind kind;
  std::u16string_view section;
  std::u16string_view key = {};    // RenameSection: the new name
  std::u16string_view value = {};  // RenameKey: the new name
  size_t index = 0;                // DeleteValue
};

// What refusing `edit` is called in its message.
std::string Refused(const Edit& edit) {
  const std::string section = "[" + ToUtf8(edit.section) + "]";
  const std::string key = " \"" + ToUtf8(edit.key) + "\"";
  switch (edit.kind) {
    case EditKind::Set:
      return "cannot set " + section + key;
    case EditKind::Add:
      return "cannot add to " + section + key;
    case EditKind::RenameSection:
      return "cannot rename " + section;
    case EditKind::RenameKey:
      return "cannot rename " + section + key;
    default:
      return "cannot change " + section;
  }
}

// Reports the refusal of a text that `edit` would write. Blanks at either
// end of a key or value are refused because a load drops them; the
// message says how to keep them.
int ReportRefused(const std::string& file, const Edit& edit, const Status& status) {
  if (status.Why() != Reason::WhiteSpaceAtEdge) return Report(file, Refused(edit), status);
  PrintErrorLine("qdstool: " + file + ": " + Refused(edit) + ": " + status.Text() +
                 "; enclosing it in double quotes keeps the blanks (status " +
                 std::to_string(status.Number()) + ")");
  return status.Number();
}

// Makes `edit` in `document`. What is written goes in as the UTF-8 it came
// as (ToUtf8 gives back the bytes of the command line), so that the library
// refuses bytes that are not UTF-8, as it would from any other program.
Status Make(QdsDocument* document, const Edit& edit) {
  const std::string section = ToUtf8(edit.section), key = ToUtf8(edit.key),
                    value = ToUtf8(edit.value);
  switch (edit.kind) {
    case EditKind::Set:
      return document->Set(section, key, value);
    case EditKind::Add:
      return document->Add(section, key, value);
    case EditKind::DeleteValue:
      return document->RemoveValue(section, key, edit.index);
    case EditKind::DeleteKey:
      return document->RemoveKey(section, key);
    case EditKind::DeleteSection:
      return document->RemoveSection(section);
    case EditKind::RenameKey:
      return document->RenameKey(section, key, value);
    case EditKind::RenameSection:
      return document->RenameSection(section, key);
  }
  return {};
}

// Makes `edit` in `document`; reports a failure on behalf of `file`.
// Under --missing-ok a missing section or key is no failure. Returns 0 or
// the status.
int Apply(QdsDocument* document, const Edit& edit, const std::string& file, bool missingOk) {
  Status status = Make(document, edit);
  if (status.Ok()) return 0;
  if (status != ReadStatus::NoSection && status != ReadStatus::NoEntry) {
    return ReportRefused(file, edit, status);
  }
  return missingOk ? 0 : Report(file, status);  // the status names what is missing
}

// Loads FILE, makes every edit in order, and saves the result over FILE,
// to -o OUT or to standard output (FinishChange); nothing is written when a
// load or an edit fails. A FILE that does not exist is made when
// `mayCreate`.
int EditFile(const ParsedArguments& arguments, const std::vector<Edit>& edits, bool mayCreate) {
  const std::u16string& file = arguments.operands()[0];
  const std::string subject = Subject(file);
  const bool canonical = arguments.Has(u"--canonical");
  QdsDocument document;
  if (int status = ApplyCodePage(arguments, &document); status != 0) return status;
  LoadFlags loadFlags = LoadFlags::KeepComments | LoadFlags::Digest;
  if (!canonical) loadFlags |= LoadFlags::KeepLayout | CodePageLoadFlags(arguments);
  Status loaded = LoadFile(file, loadFlags, &document, LoadingFor(arguments));
  SaveFlags flags = SaveFlags::KeepComments | SaveFlags::Digest;
  const bool created = mayCreate && loaded == LoadStatus::NotFound && file != kStandardStream;
  if (loaded.Why() == Reason::NoEndMarker || created) {
    // The whole text was read, or there is none: the file is not signed.
    flags = SaveFlags::KeepComments;
  } else if (loaded == LoadStatus::DigestMismatch) {
    return Report(subject, "refusing to edit", loaded);
  } else if (!loaded.Ok()) {
    return Report(subject, loaded);
  }
  if (int status = CheckLineEnds(document, subject, Use::Write); status != 0) return status;
  if (!canonical) flags |= SaveFlags::KeepLayout;
  // Signed again, the text must not gain the line end that signing adds;
  // a document that keeps its file's text keeps that line end where it is.
  if (!document.KeepsLayout()) document.Unsign();
  const bool missingOk = arguments.Has(u"--missing-ok");
  for (const Edit& edit : edits) {
    if (int status = Apply(&document, edit, subject, missingOk); status != 0) return status;
  }
  return FinishChange(arguments, &document, file, OutputOption(arguments), flags);
}

// set, add: FILE SECTION KEY VALUE.
int RunSetOrAdd(const ParsedArguments& arguments, EditKind kind) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (operands.size() != 4) return UsageError(arguments, "expected FILE SECTION KEY VALUE");
  return EditFile(arguments, {{kind, operands[1], operands[2], operands[3]}}, true);
}

int RunSet(const ParsedArguments& arguments) { return RunSetOrAdd(arguments, EditKind::Set); }

int RunAdd(const ParsedArguments& arguments) { return RunSetOrAdd(arguments, EditKind::Add); }

int RunDel(const ParsedArguments& arguments) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (const std::u16string* index = arguments.Value(u"--index")) {
    uint32_t number = 0;
    if (operands.size() != 3 || !ParseNumber(*index, &number)) {
      return UsageError(arguments, "--index takes a number and a KEY");
    }
    Edit edit{EditKind::DeleteValue, operands[1], operands[2]};
    edit.index = number;
    return EditFile(arguments, {edit}, false);
  }
  if (operands.size() == 2) {
    return EditFile(arguments, {{EditKind::DeleteSection, operands[1]}}, false);
  }
  if (operands.size() == 3) {
    return EditFile(arguments, {{EditKind::DeleteKey, operands[1], operands[2]}}, false);
  }
  return UsageError(arguments, "expected FILE SECTION [KEY]");
}

int RunRename(const ParsedArguments& arguments) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (operands.size() == 3) {
    return EditFile(arguments, {{EditKind::RenameSection, operands[1], operands[2]}}, false);
  }
  if (operands.size() == 4) {
    return EditFile(arguments, {{EditKind::RenameKey, operands[1], operands[2], operands[3]}},
                    false);
  }
  return UsageError(arguments, "expected FILE SECTION [KEY] NEWNAME");
}

int RunEdit(const ParsedArguments& arguments) {
  if (arguments.operands().size() != 1) return UsageError(arguments, "expected one FILE");
  static const struct {
    std::u16string_view option;
    EditKind kind;
  } kKinds[] = {{u"--set", EditKind::Set},
                {u"--add", EditKind::Add},
                {u"--del", EditKind::DeleteKey},
                {u"--del-section", EditKind::DeleteSection},
                {u"--rename-key", EditKind::RenameKey},
                {u"--rename-section", EditKind::RenameSection}};
  std::vector<Edit> edits;
  for (const std::vector<std::u16string>& option : arguments.options()) {
    for (const auto& [name, kind] : kKinds) {
      if (option[0] != name) continue;
      Edit edit{kind, option[1]};
      if (option.size() > 2) edit.key = option[2];
      if (option.size() > 3) edit.value = option[3];
      edits.push_back(edit);
    }
  }
  if (edits.empty()) return UsageError(arguments, "expected at least one edit");
  // Only a change that adds makes a missing file, as set and add do.
  const bool adds = std::any_of(edits.begin(), edits.end(), [](const Edit& edit) {
    return edit.kind == EditKind::Set || edit.kind == EditKind::Add;
  });
  return EditFile(arguments, edits, adds);
}

#define KNITFOLD_EDIT_OPTIONS \
  {u"--codepage", 1}, {u"-o", 1}, {u"--canonical", 0}, KNITFOLD_CHANGE_OPTIONS

const OptionRule kEditOneOptions[] = {KNITFOLD_EDIT_OPTIONS};
const OptionRule kDelOptions[] = {KNITFOLD_EDIT_OPTIONS, {u"--index", 1}, {u"--missing-ok", 0}};
const OptionRule kEditOptions[] = {
    KNITFOLD_EDIT_OPTIONS, {u"--missing-ok", 0},  {u"--set", 3},        {u"--add", 3},
    {u"--del", 2},         {u"--del-section", 1}, {u"--rename-key", 3}, {u"--rename-section", 2},
};

}  // namespace

#define KNITFOLD_EDIT_SAVING                                                        \
  "FILE is saved in place (through a new file that takes its place), to OUT (-o,\n" \
  "--output) or, for \"-\", to standard output, in its own encoding and layout:\n"  \
  "only the lines that the change names change, and a change that changes\n"        \
  "nothing writes nothing. --canonical loads the file keeping its comments and\n"   \
  "writes it as the library lays a file out, in UTF-16. A signed file is signed\n"  \
  "again; one whose digest fails is refused (status 15). A name or value that\n"    \
  "is not UTF-8, or that the file format cannot hold, is refused: 30 section\n"     \
  "name, 31 key, 32 value; then nothing is written. A file whose lines end in\n"    \
  "LF alone is refused (status 65; see qdstool import). --dry-run prints the\n"     \
  "change as a unified diff and writes nothing; --exit-code exits 1 when the\n"     \
  "file changed, or would.\n"
#define KNITFOLD_EDIT_OPTIONS_SHOWN \
  "[--codepage N] [-o OUT] [--canonical] [--dry-run] [--exit-code] "
#define KNITFOLD_EDIT_CREATES "A missing FILE is made (UTF-16, version 3).\n"

const ToolCommand kSetCommand = {
    u"set",
    "give a key one value",
    "set " KNITFOLD_EDIT_OPTIONS_SHOWN "FILE SECTION KEY VALUE",
    "Replaces every value of KEY of SECTION by VALUE, making the section and the\n"
    "key where they are missing. " KNITFOLD_EDIT_CREATES KNITFOLD_EDIT_SAVING,
    kEditOneOptions,
    RunSet,
};

const ToolCommand kAddCommand = {
    u"add",
    "add a value to a key",
    "add " KNITFOLD_EDIT_OPTIONS_SHOWN "FILE SECTION KEY VALUE",
    "Adds VALUE after the values of KEY of SECTION, making the section and the\n"
    "key where they are missing. " KNITFOLD_EDIT_CREATES KNITFOLD_EDIT_SAVING,
    kEditOneOptions,
    RunAdd,
};

const ToolCommand kDelCommand = {
    u"del",
    "delete a value, a key, or every section of a name",
    "del " KNITFOLD_EDIT_OPTIONS_SHOWN "[--missing-ok] [--index N] FILE SECTION [KEY]",
    "Deletes KEY of SECTION with all its values, with --index N only its value\n"
    "N (0 for the first), or without KEY every section named SECTION; their\n"
    "comments stay. A missing section exits 10, a missing key or value 11;\n"
    "with --missing-ok neither is an error. A missing FILE exits 2.\n" KNITFOLD_EDIT_SAVING,
    kDelOptions,
    RunDel,
};

const ToolCommand kRenameCommand = {
    u"rename",
    "rename a section or a key",
    "rename " KNITFOLD_EDIT_OPTIONS_SHOWN "FILE SECTION [KEY] NEWNAME",
    "Gives the first section named SECTION, or KEY of it, the name NEWNAME. A\n"
    "missing section exits 10, a missing key 11, a name that another section or\n"
    "key of the section bears 33.\n" KNITFOLD_EDIT_SAVING,
    kEditOneOptions,
    RunRename,
};

const ToolCommand kEditCommand = {
    u"edit",
    "make several changes at once, all or none",
    "edit " KNITFOLD_EDIT_OPTIONS_SHOWN
    "[--missing-ok] FILE [--set SECTION KEY VALUE]... "
    "[--add SECTION KEY VALUE]... [--del SECTION KEY]... [--del-section SECTION]... "
    "[--rename-section SECTION NEWNAME]... [--rename-key SECTION KEY NEWNAME]...",
    "Makes the changes in the order given, as set, add, del and rename make them;\n"
    "when one fails, none is saved. With --missing-ok a change that names a\n"
    "missing section or key is skipped. With --set or --add, a FILE that does\n"
    "not exist is made (UTF-16, version 3).\n" KNITFOLD_EDIT_SAVING,
    kEditOptions,
    RunEdit,
};

}  // namespace qds::tool
