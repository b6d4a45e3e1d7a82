#include <qds/merge.h>

#include "document/document_state.h"
#include "model/document_merge.h"

namespace qds {

Status Merge(QdsDocument& target, QdsDocument& compat) {
  // The merge would read the entries that it appends, without end.
  if (&target == &compat) return LibraryStatus::MergedIntoItself;
  detail::DocumentState& from = detail::Internals::State(compat);
  from.views.Invalidate();
  MergeDocuments(&from.model, &detail::Internals::State(target).model);
  return Status();
}

}  // namespace qds
