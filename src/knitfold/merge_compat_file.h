// The merge itself: every entry of every section of a compat QDS file is
// added to a target QDS file, which is then saved in place with its comments.

#ifndef KNITFOLD_KNITFOLD_MERGE_COMPAT_FILE_H_
#define KNITFOLD_KNITFOLD_MERGE_COMPAT_FILE_H_

#include <functional>

namespace qds {

// Returns 1 on success and 0 on failure (reported in the log). The entries
// are added as MergeDocuments adds them (model/document_merge.h); what it
// skips is skipped without a message.
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

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_MERGE_COMPAT_FILE_H_
