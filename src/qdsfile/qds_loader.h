// Loading a QDS file into a DocumentModel: the reader of the QDS file
// format (docs/qds-format.md). It takes the LoadFlags of <qds/flags.h> and
// the InputFlags of qdsfile/file_flags.h.
// KeepLayout gives a document without sections the layout of its file
// (model/source_layout.h), which a load that fails does not keep, unless
// it failed only for want of an end marker (the whole text was read).

#ifndef KNITFOLD_QDSFILE_QDS_LOADER_H_
#define KNITFOLD_QDSFILE_QDS_LOADER_H_

#include <qds/status.h>

#include <cstdint>

#include "model/document_model.h"
#include "qdsfile/file_flags.h"
#include "qdsfile/qds_format.h"

namespace qds {

class BufferedStream;

// What a load found besides its status, for its caller's messages and
// queries.
struct LoadOutcome {
  // Why a load failed with SyntaxError or DigestMismatch.
  Reason reason = Reason::None;
  // The C runtime's error number of a failed open or read; 0 if none.
  int runtimeError = 0;
  // The end marker was followed by a well-formed check line; and the
  // comment text kept right before the marker ended in a line end. A load
  // with an outcome looks for the check line also without Digest (a read
  // failure past the marker then goes unreported, as the text has ended).
  bool checkLine = false;
  bool lineEndBeforeMarker = false;
  // The text had line feeds and no CR LF: its lines end in LF alone.
  bool lineFeedsOnly = false;
};

// Reads the file at `path` into `document`, whose fileName it becomes. A
// failed load keeps what was read before the failure; a syntax error, and a
// line of more than `maxLine` UTF-16 units (LineTooLong), set the document's
// errorLine. `outcome`, when given, receives what else the load found.
// `maxLine` is lowered only by tests.
[[nodiscard]] LoadStatus LoadDocument(DocumentModel* document, const char16_t* path,
                                      LoadFlags flags, InputFlags input = InputFlags::None,
                                      LoadOutcome* outcome = nullptr,
                                      uint32_t maxLine = format::kMaxLineUnits);

// Reads the file that `stream` has open for reading into `document`, as
// LoadDocument does once the file is open. With Digest, the stream must have
// the buffer of format::kStreamBufferSize bytes that LoadDocument gives it:
// the loader relies on every block it reads being one whole fill of that
// buffer.
[[nodiscard]] LoadStatus ParseDocument(DocumentModel* document, BufferedStream* stream,
                                       LoadFlags flags, InputFlags input = InputFlags::None,
                                       LoadOutcome* outcome = nullptr,
                                       uint32_t maxLine = format::kMaxLineUnits);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_QDS_LOADER_H_
