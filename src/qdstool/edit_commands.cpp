// The qdstool commands that change a QDS file: set, add and del, and edit,
// which makes several such changes at once. A file is changed all or
// nothing, and keeps what it was: signed (with a fresh digest) or not.

#include <qds/qds.h>

#include <string>
#include <vector>

#include "qdstool/tool.h"

namespace qds::tool {
namespace {

enum class EditKind { Set, Add, DeleteKey, DeleteSection };

struct Edit {
  EditKind kind;
  std::u16string_view section;
  std::u16string_view key = {};
  std::u16string_view value = {};
};

// Makes `edit` in `document`; reports a refusal on behalf of `file`.
// Returns 0 or the status.
int Apply(QdsDocument* document, const Edit& edit, const std::string& file) {
  Status status;
  switch (edit.kind) {
    case EditKind::Set:
    case EditKind::Add: {
      // What is written goes in as the UTF-8 it came as (ToUtf8 gives back
      // the bytes of the command line), so that the library refuses bytes
      // that are not UTF-8, as it would from any other program.
      const std::string section = ToUtf8(edit.section), key = ToUtf8(edit.key),
                        value = ToUtf8(edit.value);
      status = edit.kind == EditKind::Set ? document->Set(section, key, value)
                                          : document->Add(section, key, value);
      if (status.Ok()) return 0;
      return Report(file,
                    std::string(edit.kind == EditKind::Set ? "cannot set [" : "cannot add to [") +
                        section + "] \"" + key + "\"",
                    status);
    }
    case EditKind::DeleteKey:
      status = document->RemoveKey(edit.section, edit.key);
      break;
    case EditKind::DeleteSection:
      status = document->RemoveSection(edit.section);
      break;
  }
  if (status.Ok()) return 0;
  std::u16string key(edit.key);
  return ReportMissing(file, edit.section, status == ReadStatus::NoSection ? nullptr : &key);
}

// Loads FILE, makes every edit in order, and saves the result over FILE,
// to -o OUT or to standard output; nothing is written when a load or an
// edit fails.
int EditFile(const ParsedArguments& arguments, const std::vector<Edit>& edits) {
  const std::u16string& file = arguments.operands()[0];
  const std::string subject = Subject(file);
  QdsDocument document;
  if (int status = ApplyCodePage(arguments, &document); status != 0) return status;
  Status loaded = LoadFile(file, LoadFlags::KeepComments | LoadFlags::Digest, &document,
                           LoadingFor(arguments));
  SaveFlags flags = SaveFlags::KeepComments | SaveFlags::Digest;
  if (loaded.Why() == Reason::NoEndMarker) {
    // The whole text was read: the file is simply not signed.
    flags = SaveFlags::KeepComments;
  } else if (loaded == LoadStatus::DigestMismatch) {
    return Report(subject, "refusing to edit", loaded);
  } else if (!loaded.Ok()) {
    return Report(subject, loaded);
  }
  // Signed again, the text must not gain the line end that signing adds.
  document.Unsign();
  for (const Edit& edit : edits) {
    if (int status = Apply(&document, edit, subject); status != 0) return status;
  }
  return SaveOutput(&document, file, OutputOption(arguments), flags);
}

// set, add: FILE SECTION KEY VALUE.
int RunSetOrAdd(const ParsedArguments& arguments, EditKind kind) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (operands.size() != 4) return UsageError(arguments, "expected FILE SECTION KEY VALUE");
  return EditFile(arguments, {{kind, operands[1], operands[2], operands[3]}});
}

int RunSet(const ParsedArguments& arguments) { return RunSetOrAdd(arguments, EditKind::Set); }

int RunAdd(const ParsedArguments& arguments) { return RunSetOrAdd(arguments, EditKind::Add); }

int RunDel(const ParsedArguments& arguments) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (operands.size() == 2) return EditFile(arguments, {{EditKind::DeleteSection, operands[1]}});
  if (operands.size() == 3) {
    return EditFile(arguments, {{EditKind::DeleteKey, operands[1], operands[2]}});
  }
  return UsageError(arguments, "expected FILE SECTION [KEY]");
}

int RunEdit(const ParsedArguments& arguments) {
  if (arguments.operands().size() != 1) return UsageError(arguments, "expected one FILE");
  static const struct {
    std::u16string_view option;
    EditKind kind;
  } kKinds[] = {{u"--set", EditKind::Set},
                {u"--add", EditKind::Add},
                {u"--del", EditKind::DeleteKey},
                {u"--del-section", EditKind::DeleteSection}};
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
  return EditFile(arguments, edits);
}

const OptionRule kEditOneOptions[] = {{u"--codepage", 1}, {u"-o", 1}};
const OptionRule kEditOptions[] = {{u"--codepage", 1}, {u"-o", 1},    {u"--set", 3},
                                   {u"--add", 3},      {u"--del", 2}, {u"--del-section", 1}};

}  // namespace

#define KNITFOLD_EDIT_SAVING                                                          \
  "FILE is loaded keeping its comments and saved in place (through a new file that\n" \
  "takes its place), to OUT (-o, --output) or, for \"-\", to standard output. A\n"    \
  "signed file is signed again; one whose digest fails is refused (status 15).\n"     \
  "A name or value that is not UTF-8, or that the file format cannot hold, is\n"      \
  "refused: 30 section name, 31 key, 32 value; then nothing is written.\n"

const ToolCommand kSetCommand = {
    u"set",
    "give a key one value",
    "set [--codepage N] [-o OUT] FILE SECTION KEY VALUE",
    "Replaces every value of KEY of SECTION by VALUE, making the section and the\n"
    "key where they are missing.\n" KNITFOLD_EDIT_SAVING,
    kEditOneOptions,
    RunSet,
};

const ToolCommand kAddCommand = {
    u"add",
    "add a value to a key",
    "add [--codepage N] [-o OUT] FILE SECTION KEY VALUE",
    "Adds VALUE after the values of KEY of SECTION, making the section and the\n"
    "key where they are missing.\n" KNITFOLD_EDIT_SAVING,
    kEditOneOptions,
    RunAdd,
};

const ToolCommand kDelCommand = {
    u"del",
    "delete a key, or every section of a name",
    "del [--codepage N] [-o OUT] FILE SECTION [KEY]",
    "Deletes KEY of SECTION with all its values, or without KEY every section\n"
    "named SECTION; their comments stay. A missing section exits 10, a missing\n"
    "key 11.\n" KNITFOLD_EDIT_SAVING,
    kEditOneOptions,
    RunDel,
};

const ToolCommand kEditCommand = {
    u"edit",
    "make several changes at once, all or none",
    "edit [--codepage N] [-o OUT] FILE [--set SECTION KEY VALUE]... [--add SECTION KEY "
    "VALUE]... [--del SECTION KEY]... [--del-section SECTION]...",
    "Makes the changes in the order given, as set, add and del make them; when\n"
    "one fails, none is saved.\n" KNITFOLD_EDIT_SAVING,
    kEditOptions,
    RunEdit,
};

}  // namespace qds::tool
