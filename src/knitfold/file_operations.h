// The file-system steps of the working copies and the backup, each with the
// contract of the system services it was designed on.

#ifndef KNITFOLD_KNITFOLD_FILE_OPERATIONS_H_
#define KNITFOLD_KNITFOLD_FILE_OPERATIONS_H_

#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace qds {

// Deletes the file at `path`; with `force`, a read-only, hidden or system
// file has those attributes cleared first. True when a file was deleted;
// false when there was none, it is a directory, or the deletion failed.
bool DeleteExistingFile(const char16_t* path, bool force);

// Creates every folder of `path` up to its last separator; the part after it
// (the file name) is never created, and neither is a root (a drive root, a
// \\server\share prefix, or "/"). Folders that exist already are fine.
// A failure carries the system code of its cause.
platform::SystemResult CreateDirectoryChain(const char16_t* path);

// The system's text for `code` (possibly ending in a line break); empty when
// the system cannot describe the code.
void GetSystemErrorText(uint32_t code, std::u16string* text);

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_FILE_OPERATIONS_H_
