// The statuses and flags of symbol expansion.
//
// The engine, the expression evaluator and every command handler share one
// numbering, so a handler's status passes through the engine unchanged and a
// caller can tell every failure apart by its number alone.

#ifndef KNITFOLD_EXPANSION_REPLACE_STATUS_H_
#define KNITFOLD_EXPANSION_REPLACE_STATUS_H_

#include <qds/status.h>

#include <cstdint>

namespace qds {

// The engine's statuses are the ExpandStatus of the interface.
using ReplaceStatus = ExpandStatus;

// Flags of ReplaceSymbols, handed unchanged to every handler. Other bits
// carry no meaning and are passed on as well.
inline constexpr uint32_t ReplaceNoCommands = 2;  // a command call fails with CommandsDisabled
inline constexpr uint32_t ReplaceLegacy = 8;      // "if" tests with EvaluateLegacyCondition

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_REPLACE_STATUS_H_
