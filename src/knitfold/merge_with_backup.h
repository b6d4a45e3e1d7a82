// The file handling around the merge: name checks, the working copies of the
// compat package's command and key files, and the backup of the target.

#ifndef KNITFOLD_KNITFOLD_MERGE_WITH_BACKUP_H_
#define KNITFOLD_KNITFOLD_MERGE_WITH_BACKUP_H_

namespace qds {

// Merges `compat` into `target` between a backup and its removal or
// restoration. Returns 1 on success and 0 on failure (reported in the log).
int MergeWithBackup(const char16_t* target, const char16_t* compat);

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_MERGE_WITH_BACKUP_H_
