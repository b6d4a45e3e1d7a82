// qdstool merge: knitfold's merge of a compat file into a target, without
// knitfold's log, working copies and backup, or shown as a diff.

#include <qds/qds.h>

#include <string>

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
  QdsDocument target;
  QdsDocument compat;
  if (int status = ApplyCodePage(arguments, &target); status != 0) return status;
  static_cast<void>(compat.SetCodePage(target.CodePage()));
  const LoadFlags codePage = CodePageLoadFlags(arguments);
  const std::string targetName = Subject(targetFile), compatName = Subject(operands[1]);
  Status loaded =
      LoadFile(targetFile, LoadFlags::KeepComments | codePage, &target, LoadingFor(arguments));
  if (!loaded.Ok()) return Report(targetName, loaded);
  if (int refused = CheckLineEnds(target, targetName, Use::Write); refused != 0) return refused;
  if (Status status = LoadFile(operands[1], codePage, &compat); !status.Ok()) {
    return Report(compatName, status);
  }
  CheckLineEnds(compat, compatName, Use::Read);
  SaveFlags flags = SaveFlags::KeepComments;
  if (arguments.Has(u"--sign")) {
    // Signed again, the text must not gain the line end that signing adds.
    target.Unsign();
    flags = flags | SaveFlags::Digest;
  } else if (target.HasDigest()) {
    PrintErrorLine("qdstool: " + targetName +
                   ": the merged file is unsigned, as knitfold writes it; --sign signs it");
  }
  static_cast<void>(Merge(target, compat));  // two documents: never 40
  return FinishChange(arguments, &target, targetFile, OutputOption(arguments), flags);
}

const OptionRule kMergeOptions[] = {
    {u"--codepage", 1}, {u"-o", 1}, {u"--sign", 0}, KNITFOLD_CHANGE_OPTIONS};

}  // namespace

const ToolCommand kMergeCommand = {
    u"merge",
    "merge a compat file into a target as knitfold does",
    "merge [--codepage N] [-o OUT] [--sign] [--dry-run] [--exit-code] TARGET COMPAT",
    "Adds every entry of COMPAT to TARGET by knitfold's rules and saves TARGET\n"
    "with its comments, in place or to OUT (-o, --output): the bytes that\n"
    "knitfold writes, without its log, working copies or backup. A signed\n"
    "TARGET comes out unsigned, as knitfold writes it, and qdstool says so;\n"
    "--sign signs the result. --dry-run prints, as a unified diff of the text\n"
    "in UTF-8, what the merge would change, and writes nothing; --exit-code\n"
    "exits 1 when the merge changed TARGET, or would.\n",
    kMergeOptions,
    RunMerge,
};

}  // namespace qds::tool
