#include <qds/merge.h>

#include "document/document_state.h"
#include "model/document_merge.h"

namespace qds {

void Merge(QdsDocument& target, QdsDocument& compat) {
  detail::DocumentState& from = detail::Internals::State(compat);
  detail::DocumentState& into = detail::Internals::State(target);
  ++from.generation;
  into.modified = true;
  // The merge takes the compat document's parts away: its file's layout
  // has nothing left to tell.
  from.model.layout.reset();
  MergeDocuments(&from.model, &into.model);
}

}  // namespace qds
