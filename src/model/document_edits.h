// The changes of a DocumentModel beyond SetEntry's appending: a value
// replaced in place, values, keys and sections removed, sections and keys
// renamed. What is not changed keeps its place and its comment text.
//
// A removed entry line's comment text (the comment and blank lines before
// it) stays in the document: it joins the front of the comment of what a
// save writes next (the next value, else the next section, else the
// trailing text), without the removed line's own indentation (what follows
// the comment's last line end). A removed section's comment goes the same
// way, before the comments of its entries.
//
// A model that keeps its file's layout (model/source_layout.h) hears of
// every node removed, replaced and renamed.
//
// Nodes given must belong to the model (a key to the section given, a value
// to the key given); every node removed is deleted, or kept in `kept` when
// one is given (model/removed_nodes.h).

#ifndef KNITFOLD_MODEL_DOCUMENT_EDITS_H_
#define KNITFOLD_MODEL_DOCUMENT_EDITS_H_

#include <string_view>

#include "model/document_model.h"
#include "model/removed_nodes.h"

namespace qds {

// The first section named `section` and its key named `key`: NoSection or
// NoEntry when one is missing, with what was found set.
ReadStatus FindSectionKey(const DocumentModel& model, std::u16string_view section,
                          std::u16string_view key, QdsSection** foundSection, QdsKey** foundKey);

// Gives `value` of `key` of `section` the text `text`, in its place and with
// its comment. The node is replaced: `value` is deleted and the new node
// returned.
QdsValue* ReplaceValue(DocumentModel* model, QdsSection* section, QdsKey* key, QdsValue* value,
                       std::u16string_view text);
// The same, the node kept: it takes the text.
void SetValueText(DocumentModel* model, QdsValue* value, std::u16string_view text);
// Removes `value` from `key`, and `key` from `section` with its last value.
void RemoveValue(DocumentModel* model, QdsSection* section, QdsKey* key, QdsValue* value,
                 RemovedNodes* kept = nullptr);
// Removes every value of `key` after its first.
void RemoveLaterValues(DocumentModel* model, QdsSection* section, QdsKey* key);
void RemoveKey(DocumentModel* model, QdsSection* section, QdsKey* key,
               RemovedNodes* kept = nullptr);
void RemoveSection(DocumentModel* model, QdsSection* section, RemovedNodes* kept = nullptr);
// Gives the node its new name in its place.
void RenameSection(DocumentModel* model, QdsSection* section, std::u16string_view name);
void RenameKey(DocumentModel* model, QdsSection* section, QdsKey* key, std::u16string_view name);

}  // namespace qds

#endif  // KNITFOLD_MODEL_DOCUMENT_EDITS_H_
