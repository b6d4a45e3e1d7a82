// A unified diff of two texts, line by line, as --dry-run shows what a
// command would change in a file.

#ifndef KNITFOLD_QDSTOOL_LINE_DIFF_H_
#define KNITFOLD_QDSTOOL_LINE_DIFF_H_

#include <string>
#include <string_view>

namespace qds::tool {

// Appends to *out the unified diff that turns `before` into `after`: the
// lines "--- OLDNAME" and "+++ NEWNAME", then hunks with three lines of
// context, joined where their contexts touch; nothing when the texts are
// equal. Lines end at LF and are compared with their CR, shown without it;
// a last line without LF is followed by "\ No newline at end of file".
//
// A merge only inserts lines, which a single pass finds; any other change is
// aligned by the shortest edit script, within a budget of steps that grows
// with the texts. Where the budget does not suffice, the differing middle is
// shown as removed and then added: correct, not minimal. Returns whether
// the diff is minimal.
bool AppendUnifiedDiff(std::string_view before, std::string_view after, std::string_view oldName,
                       std::string_view newName, std::string* out);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_LINE_DIFF_H_
