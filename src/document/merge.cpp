#include <qds/merge.h>

#include "document/document_state.h"
#include "model/document_merge.h"

namespace qds {

Status Merge(QdsDocument& target, QdsDocument& compat) {
  // The merge would read the entries that it appends, without end.
  if (&target == &compat) return LibraryStatus::MergedIntoItself;
  detail::DocumentState& from = detail::Internals::State(compat);
  detail::DocumentState& into = detail::Internals::State(target);
  from.InvalidateViews();
  into.modified = true;
  // The merge takes the compat document's parts away: its file's layout
  // has nothing left to tell.
  from.model.layout.reset();
  MergeDocuments(&from.model, &into.model);
  return Status();
}

}  // namespace qds
