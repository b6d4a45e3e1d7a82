#include "driver/merge_with_backup.h"

namespace qds {

int MergeWithBackup(const char16_t*, const char16_t*) { return 0; }

}  // namespace qds
