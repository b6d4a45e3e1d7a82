// The merge itself: every entry of every section of a compat QDS file is
// added to a target QDS file, which is then saved in place with its comments.

#ifndef KNITFOLD_KNITFOLD_MERGE_COMPAT_FILE_H_
#define KNITFOLD_KNITFOLD_MERGE_COMPAT_FILE_H_

#include <functional>

namespace qds {

class QdsDocument;

// Returns 1 on success and 0 on failure (reported in the log). New sections
// and keys go after the existing ones, further values after a key's existing
// values; nothing in the target is replaced or removed. Compat sections are
// read by position, so two compat sections of one name each contribute their
// own entries. The reads go through buffers of 260 characters: a section
// name, key or value of 260 characters or more is skipped without a
// message, except that a key with an empty value arrives cut to 259
// characters. A value is read without its enclosing double quotes, and
// measured so.
//
// `prepare` runs while the target loads, which only reads it; the merge goes
// on once it returns true. When it returns false, 0 is returned and nothing
// reported: the loads count as not made. The compat file loads after the
// target, or beside it where that cannot be seen: a regular file, opened
// without waiting, whose load a run that ends before the compat file's turn
// drops unseen. Nothing else at the compat name is opened before its turn.
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

#endif  // KNITFOLD_KNITFOLD_MERGE_COMPAT_FILE_H_
