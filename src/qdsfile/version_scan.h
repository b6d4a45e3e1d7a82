// ScanVersion: the look at the raw first block of a QDS file that tells its
// encoding and reads the version number, before any character is parsed.
//
// Only the first line that begins with "[" is examined (the first line, or
// the line after the first "\r\n[" of the block), and only when it reads
// "[$version " (any letter case) followed by a decimal number. Versions 1 to 3
// are taken as they stand, any other number (or none) as -1; a block without
// such a line leaves the version as it was. Nothing past the block is read,
// so a version line beyond the first 4096 bytes gives no number.

#ifndef KNITFOLD_QDSFILE_VERSION_SCAN_H_
#define KNITFOLD_QDSFILE_VERSION_SCAN_H_

#include <string_view>

#include "model/document_model.h"

namespace qds {

// Sets `document.utf16` from the byte-order mark of `block` (the first bytes
// of the file, at most format::kFirstBlockBytes of them are examined) and may
// set `document.version`. Returns SyntaxError, with `errorLine` 1, for an
// ANSI file whose version 3 is not followed at once by ", codepage "; else Ok.
// With `declaredCodePage`, the code page that follows there becomes the
// document's when this system converts it.
[[nodiscard]] LoadStatus ScanVersion(DocumentModel& document, std::string_view block,
                                     bool declaredCodePage = false);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_VERSION_SCAN_H_
