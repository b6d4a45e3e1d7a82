// Merge: knitfold's merge of a compat document into a target document, as a
// library operation without knitfold's files (its log, working copies and
// backup).

#ifndef KNITFOLD_QDS_MERGE_H_
#define KNITFOLD_QDS_MERGE_H_

#include <qds/document.h>
#include <qds/export.h>
#include <qds/status.h>

namespace qds {

// Adds every entry of `compat` to `target`, as knitfold does: new sections
// and keys after the existing ones, further values after a key's values;
// nothing in the target is replaced or removed. The compat entries are read
// by position through buffers of 260 units: a section name, key or value of
// 260 units or more is skipped, except that a key with an empty value
// arrives cut to 259; values lose their enclosing double quotes. `compat`
// is left without sections (its views go stale); the target's views stay
// valid. Saved with SaveFlags::KeepComments, the target then holds the
// bytes that knitfold writes for the same pair. Returns 0, or
// LibraryStatus::MergedIntoItself (40), changing nothing, when `target` and
// `compat` are one document.
QDS_API Status Merge(QdsDocument& target, QdsDocument& compat);

}  // namespace qds

#endif  // KNITFOLD_QDS_MERGE_H_
