// qdstool merge: knitfold's merge of a compat file into a target, without
// knitfold's log, working copies and backup, or shown as a diff.

#include <qds/qds.h>

#include <string>

#include "qdstool/line_diff.h"
#include "qdstool/tool.h"

namespace qds::tool {
namespace {

int RunMerge(const ParsedArguments& arguments) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (operands.size() != 2) return UsageError(arguments, "expected TARGET and COMPAT");
  const std::u16string& targetFile = operands[0];
  if (targetFile == kStandardStream && operands[1] == kStandardStream) {
    return UsageError(arguments, "standard input can be only one of TARGET and COMPAT");
  }
  bool dryRun = arguments.Has(u"--dry-run");
  QdsDocument target;
  QdsDocument compat;
  if (int status = ApplyCodePage(arguments, &target); status != 0) return status;
  const uint32_t codePage = target.CodePage();
  static_cast<void>(compat.SetCodePage(codePage));

  // The dry run shows the target's text as it is: its bytes are read once,
  // for the text and the document alike.
  std::string targetBytes;
  Status loaded;
  if (dryRun) {
    int status = 0;
    if (!ReadInput(targetFile, &targetBytes, &status)) return status;
    loaded = target.LoadBytes(targetBytes, LoadFlags::KeepComments);
  } else {
    loaded = LoadFile(targetFile, LoadFlags::KeepComments, &target, LoadingFor(arguments));
  }
  if (!loaded.Ok()) return Report(Subject(targetFile), loaded);
  if (Status status = LoadFile(operands[1], LoadFlags::None, &compat); !status.Ok()) {
    return Report(Subject(operands[1]), status);
  }
  static_cast<void>(Merge(target, compat));  // two documents: never 40
  if (!dryRun) {
    return SaveOutput(&target, targetFile, OutputOption(arguments), SaveFlags::KeepComments);
  }
  std::string before, after, merged;
  static_cast<void>(DecodeFileText(targetBytes, codePage, &before));
  static_cast<void>(target.Write(&merged, SaveFlags::KeepComments));
  static_cast<void>(DecodeFileText(merged, codePage, &after));
  std::string diff;
  bool minimal = AppendUnifiedDiff(before, after, Subject(targetFile), &diff);
  WriteOutput(diff);
  if (!minimal) {
    PrintErrorLine("qdstool: " + Subject(targetFile) +
                   ": the diff is not minimal: too many changes to align");
  }
  return 0;
}

const OptionRule kMergeOptions[] = {{u"--codepage", 1}, {u"-o", 1}, {u"--dry-run", 0}};

}  // namespace

const ToolCommand kMergeCommand = {
    u"merge",
    "merge a compat file into a target as knitfold does",
    "merge [--codepage N] [-o OUT] [--dry-run] TARGET COMPAT",
    "Adds every entry of COMPAT to TARGET by knitfold's rules and saves TARGET\n"
    "with its comments, in place or to OUT (-o, --output): the bytes that\n"
    "knitfold writes, without its log, working copies or backup. A signed\n"
    "TARGET comes out unsigned. --dry-run prints, as a unified diff of the\n"
    "text in UTF-8, what the merge would change, and writes nothing.\n",
    kMergeOptions,
    RunMerge,
};

}  // namespace qds::tool
