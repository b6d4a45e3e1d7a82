// The statuses and flags of symbol expansion.
//
// The engine, the expression evaluator and every command handler share one
// numbering, so a handler's status passes through the engine unchanged and a
// caller can tell every failure apart by its number alone.

#ifndef KNITFOLD_EXPANSION_REPLACE_STATUS_H_
#define KNITFOLD_EXPANSION_REPLACE_STATUS_H_

#include <cstdint>

namespace qds {

// The numbers are part of the interface: never renumber.
enum class ReplaceStatus : int {
  Ok = 0,
  NotClosed = 1,       // a reference, literal span or call is not closed
  BufferTooSmall = 2,  // the output does not fit; also a command name over 65
  WrongArgCount = 3,
  JunkAfterQuote = 4,  // something other than blanks, "," or ")" after a quoted argument
  UnknownCommand = 5,
  ArgumentTooLong = 6,  // an argument's expansion overflowed a handler's fixed space
  BadCommandName = 7,
  BadArgument = 8,
  CommandsDisabled = 9,  // a command call under ReplaceNoCommands
  NameTooLong = 10,      // a symbol name over 128 characters
  MalformedExpression = 11,
  DivisionByZero = 12,
  MissingOperand = 13,
  UnbalancedParen = 14,
  BadQuotedString = 15,
  NotAnInteger = 16,
  UnknownOperator = 17,
  OutOfMemory = 18,
  NoShortPath = 19,
  NestedTooDeep = 20,  // expansions nested more than kMaxExpansionDepth deep
  OutputTooLong = 21,  // a length would not fit 32 bits
};

// Flags of ReplaceSymbols, handed unchanged to every handler. Other bits
// carry no meaning and are passed on as well.
inline constexpr uint32_t ReplaceNoCommands = 2;  // a command call fails with CommandsDisabled
inline constexpr uint32_t ReplaceLegacy = 8;      // "if" tests with EvaluateLegacyCondition

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_REPLACE_STATUS_H_
