// How a qdstool command that writes a file ends: the file saved, or under
// --dry-run the change shown; and --exit-code, which tells whether there
// was one.

#include <qds/qds.h>

#include <string>

#include "qdstool/line_diff.h"
#include "qdstool/tool.h"

namespace qds::tool {
namespace {

// The bytes of `file` as they stand; empty for standard input and for a
// file that cannot be read, such as one not made yet.
std::string CurrentBytes(const std::u16string& file) {
  std::string bytes;
  if (file == kStandardStream || !ReadFile(PathFromUtf16(file), &bytes).Ok()) bytes.clear();
  return bytes;
}

// Prints the unified diff of the texts of `before` and `after`, bytes of
// a file read in `codePage` unless UTF-16.
void PrintDiff(const std::string& before, const std::string& after, uint32_t codePage,
               const std::string& name) {
  std::string oldText, newText, diff;
  static_cast<void>(DecodeFileText(before, codePage, &oldText));
  static_cast<void>(DecodeFileText(after, codePage, &newText));
  bool minimal = AppendUnifiedDiff(oldText, newText, "a/" + name, "b/" + name, &diff);
  WriteOutput(diff);
  if (!minimal) {
    PrintErrorLine("qdstool: " + name + ": the diff is not minimal: too many changes to align");
  }
}

}  // namespace

int FinishChange(const ParsedArguments& arguments, QdsDocument* document,
                 const std::u16string& input, const std::u16string& output, SaveFlags flags) {
  const bool dryRun = arguments.Has(u"--dry-run");
  const bool exitCode = arguments.Has(u"--exit-code");
  const bool inPlace = output.empty() && input != kStandardStream;
  bool changed = true;
  int status = 0;
  if (!dryRun && (inPlace ? document->KeepsLayout() : !exitCode)) {
    // A document that keeps its file's text knows whether it changed it;
    // elsewhere, the result is written whatever it holds.
    if (inPlace) changed = document->Modified();
    if (changed) status = SaveOutput(document, input, output, flags);
  } else {
    // The file compared is the one written, or the input when the result
    // goes to standard output.
    const std::u16string& file = output.empty() || output == kStandardStream ? input : output;
    std::string before = CurrentBytes(file), after;
    if (Status written = document->Write(&after, flags); !written.Ok()) {
      return Report(Subject(file), written);
    }
    changed = before != after;
    if (dryRun) {
      PrintDiff(before, after, document->CodePage(), Subject(file));
    } else if (changed || !inPlace) {
      status = SaveOutput(document, input, output, flags);
    }
  }
  if (status != 0) return status;
  return exitCode && changed ? kChanged : 0;
}

}  // namespace qds::tool
