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

#include "common/result.h"

namespace qds {

// The engine's statuses are the ExpandStatus of the interface; the engine,
// the evaluator and the handlers return them as a ReplaceResult, which never
// carries a system code.
using ReplaceStatus = ExpandStatus;
using ReplaceResult = Result<ExpandStatus>;

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_REPLACE_STATUS_H_
