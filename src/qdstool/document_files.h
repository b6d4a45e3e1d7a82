// Loading and saving documents for the qdstool commands, with the error
// lines that the commands share.

#ifndef KNITFOLD_QDSTOOL_DOCUMENT_FILES_H_
#define KNITFOLD_QDSTOOL_DOCUMENT_FILES_H_

#include <cstdint>
#include <string>

#include <qds/document.h>

namespace qds::tool {

// Loads `path` into `document`. A failure is reported on standard error, a
// syntax error as "FILE:LINE: syntax error", any other as "error S loading
// FILE", followed, when the digest cannot be computed, by ": cannot compute
// the digest: LIBRARY could not be loaded". Returns the load status, which is the exit status of a command that
// stops there.
int LoadDocument(QdsDocument* document, const std::u16string& path, uint32_t flags);

// Saves `document` to `path` (empty: over the file it was loaded from),
// never writing a file in place: the text goes to its name with ".tmp"
// appended, which then takes its place, so that a failed save leaves it as
// it was (QdsDocument::SaveReplacing). A failure is reported as "error S
// saving FILE" (and the digest's library as on loading), FILE being `path`
// or the document's file. Returns the save status.
int SaveDocument(QdsDocument* document, const std::u16string& path, uint32_t flags);

// The number of entries of all sections.
uint64_t CountAllEntries(const QdsDocument& document);

}  // namespace qds::tool

#endif  // KNITFOLD_QDSTOOL_DOCUMENT_FILES_H_
