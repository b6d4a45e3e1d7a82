// The statuses of symbol expansion.
//
// The engine, the expression evaluator and every command handler share one
// numbering, so a handler's status passes through the engine unchanged and a
// caller can tell every failure apart by its number alone.

#ifndef KNITFOLD_EXPANSION_REPLACE_STATUS_H_
#define KNITFOLD_EXPANSION_REPLACE_STATUS_H_

#include <qds/flags.h>
#include <qds/status.h>

#include <cstdint>

namespace qds {

// The engine's statuses are the ExpandStatus of the interface. No failure of
// the expansion comes from the system, so the engine, the evaluator and the
// handlers return the bare status rather than a Result (common/result.h):
// in the engine's loops a Result costs a few percent of an expansion.
using ReplaceStatus = ExpandStatus;

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_REPLACE_STATUS_H_
