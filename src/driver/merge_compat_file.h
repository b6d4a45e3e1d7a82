// The merge itself: every entry of every section of a compat QDS file is
// added to a target QDS file, which is then saved in place with its comments.

#ifndef KNITFOLD_DRIVER_MERGE_COMPAT_FILE_H_
#define KNITFOLD_DRIVER_MERGE_COMPAT_FILE_H_

#include <functional>

namespace qds {

class QdsDocument;

// Returns 1 on success and 0 on failure (reported in the log). New sections
// and keys go after the existing ones, further values after a key's existing
// values; nothing in the target is replaced or removed. Compat sections are
// read by position, so two compat sections of one name each contribute their
// own entries. Names, keys or values of 260 characters or more do not fit the
// read buffers and are skipped without a message.
//
// `prepare` runs while the two files load, which only read them; the merge
// goes on once it returns true. When it returns false, 0 is returned and
// nothing reported: the loads count as not made.
//
// `targetTouched` is set when the run failed in the save's copy back, which
// may have changed the target; after any other failure it is left alone.
int MergeCompatFile(const char16_t* target, const char16_t* compat,
                    const std::function<bool()>& prepare, bool* targetTouched);

// The merge of two loaded documents: adds every entry of `compat` to
// `target` as MergeCompatFile does. Each compat entry is let go as soon as
// it has been added, so that its memory serves the entries the target gains:
// `compat` is left without sections.
void MergeDocuments(QdsDocument* compat, QdsDocument* target);

}  // namespace qds

#endif  // KNITFOLD_DRIVER_MERGE_COMPAT_FILE_H_
