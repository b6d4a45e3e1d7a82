#include <qds/merge.h>

#include "document/document_state.h"
#include "model/document_merge.h"

namespace qds {

void Merge(QdsDocument& target, QdsDocument& compat) {
  detail::DocumentState& from = detail::Internals::State(compat);
  from.views.Invalidate();
  MergeDocuments(&from.model, &detail::Internals::State(target).model);
}

}  // namespace qds
