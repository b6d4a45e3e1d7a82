// The merge of one document into another: every entry of every section of
// a compat document is added to a target document, as knitfold merges a
// compat QDS file into its target.

#ifndef KNITFOLD_MODEL_DOCUMENT_MERGE_H_
#define KNITFOLD_MODEL_DOCUMENT_MERGE_H_

#include "model/document_model.h"

namespace qds {

// Adds every entry of `compat` to `target`. New sections and keys go after
// the existing ones, further values after a key's existing values; nothing
// in the target is replaced or removed. Compat sections are read by
// position, so two compat sections of one name each contribute their own
// entries. The reads go through buffers of 260 characters: a section name,
// key or value of 260 characters or more is skipped, except that a key with
// an empty value arrives cut to 259 characters. A value is read without its
// enclosing double quotes, and measured so.
//
// Each compat entry is let go as soon as it has been added, so that its
// memory serves the entries the target gains: `compat` is left without
// sections.
void MergeDocuments(DocumentModel* compat, DocumentModel* target);

}  // namespace qds

#endif  // KNITFOLD_MODEL_DOCUMENT_MERGE_H_
