// WriteLayoutText: the writer of a document that keeps its file's layout
// (model/source_layout.h). It writes the file's own bytes, in its own
// encoding, and changes only the lines that the document's changes name:
// a changed value or a renamed key or section is replaced in its line; a
// removed entry or header goes with the comment lines right above it (a
// removed section with everything from its header to its last entry); new
// values and keys follow the last line of their key or section, with the
// indentation of the line before them; new sections follow the last line of
// the last section. docs/qds-format.md tells it in full.

#ifndef KNITFOLD_QDSFILE_LAYOUT_WRITER_H_
#define KNITFOLD_QDSFILE_LAYOUT_WRITER_H_

#include <qds/status.h>

#include <cstdint>

#include "model/document_model.h"

namespace qds {

class BufferedStream;

// Writes `document`, which must have a layout, to `stream`. `sign`: end
// with the end marker and a check line of the new text's digest, as a
// signed file does (a file that was signed is signed again whatever
// `sign` says). Returns Ok; WriteFailed when a write fails;
// Unrepresentable, with the character in *character, when a text that a
// change brings has no form in an ANSI file's code page.
[[nodiscard]] SaveStatus WriteLayoutText(const DocumentModel& document, BufferedStream* stream,
                                         bool sign, int32_t* character);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_LAYOUT_WRITER_H_
