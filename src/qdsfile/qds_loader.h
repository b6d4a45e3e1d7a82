// Loading a QDS file into a DocumentModel: the reader of the QDS file
// format (docs/qds-format.md). Flags: KeepComments, Digest, Lenient
// (<qds/document.h>).

#ifndef KNITFOLD_QDSFILE_QDS_LOADER_H_
#define KNITFOLD_QDSFILE_QDS_LOADER_H_

#include <cstdint>

#include "model/document_model.h"

namespace qds {

class FileStream;

// Reads the file at `path` into `document`, whose fileName it becomes. A
// failed load keeps what was read before the failure; a syntax error sets
// the document's errorLine.
[[nodiscard]] LoadStatus LoadDocument(DocumentModel* document, const char16_t* path,
                                      uint32_t flags);

// Reads the file that `stream` has open for reading into `document`, as
// LoadDocument does once the file is open. With Digest, the stream must have
// the buffer of format::kStreamBufferSize bytes that LoadDocument gives it:
// the loader relies on every block it reads being one whole fill of that
// buffer.
[[nodiscard]] LoadStatus ParseDocument(DocumentModel* document, FileStream* stream, uint32_t flags);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_QDS_LOADER_H_
