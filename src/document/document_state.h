// What a QdsDocument holds behind its interface: the document's model, and
// the state of its expanding reads.

#ifndef KNITFOLD_DOCUMENT_DOCUMENT_STATE_H_
#define KNITFOLD_DOCUMENT_DOCUMENT_STATE_H_

#include <qds/document.h>

#include <cstdint>

#include "model/document_model.h"

namespace qds {

struct QdsDocument::State {
  DocumentModel model;
  // Attached for reads with ReadExpand; not owned.
  SymbolTable* symbolTable = nullptr;
  // Where the last expansion stopped: the position of its failure in the
  // value, or 0.
  int32_t expansionErrorPos = 0;
  // The last failed expansion: its status (0 before any), and up to 50
  // characters of the value around the failure, terminated.
  uint32_t expansionErrorStatus = 0;
  char16_t errorContext[52] = {};
};

}  // namespace qds

#endif  // KNITFOLD_DOCUMENT_DOCUMENT_STATE_H_
