// A document's entries as one comparable text, for the checks (tests and
// fuzzers) that two ways to the same edits give the same document.

#ifndef KNITFOLD_TESTS_SUPPORT_ENTRY_OUTLINE_H_
#define KNITFOLD_TESTS_SUPPORT_ENTRY_OUTLINE_H_

#include <qds/qds.h>

#include <string>

namespace qds::test {

// The sections in order, each with its keys and their values in order. The
// keys of a section count in any order, and their names with A-Z folded: a
// key's first line removed, its next line elsewhere in the file is where it
// first stands, and that line's spelling names it. A section without a name
// or entries (a lenient load's) writes no line, so it is left out.
std::string EntryOutline(const QdsDocument& document);

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_SUPPORT_ENTRY_OUTLINE_H_
