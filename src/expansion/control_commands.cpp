// The commands that steer an expansion and work on symbols: "if", "for",
// "set", "eval", "value", "define", and the handler of defined commands.

#include <cstdint>
#include <limits>

#include "common/wide_format.h"
#include "expansion/builtin_handlers.h"
#include "expansion/expression.h"
#include "expansion/handler_support.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace qds {

namespace {

// Expands an expression without flags (its own symbols decide, not the
// document's version) and evaluates it into `result`.
ReplaceStatus ExpandAndEvaluate(SymbolMap& table, const char16_t* expression,
                                char16_t (&result)[kExpressionResultSpace]) {
  char16_t space[kTextSpace];
  ReplaceStatus status = ExpandToSpace(table, expression, ExpandFlags::None, space, kTextSpace);
  if (status != ReplaceStatus::Ok) return status;
  return EvaluateExpression(space, result);
}

// Expands the name argument of "set" and "define"; an empty name is unusable.
// `name` holds kNameSpace characters.
ReplaceStatus ExpandName(SymbolMap& table, const char16_t* text, ExpandFlags flags, char16_t* name,
                         uint32_t* length) {
  ReplaceStatus status = ExpandToSpace(table, text, flags, name, kNameSpace, length);
  if (status != ReplaceStatus::Ok) return status;
  return *length == 0 ? ReplaceStatus::BadArgument : ReplaceStatus::Ok;
}

}  // namespace

ReplaceStatus IfCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                        char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 1 && argCount != 3) return ReplaceStatus::WrongArgCount;
  bool holds;
  if (Has(flags, ExpandFlags::Legacy)) {
    char16_t space[kTextSpace];
    uint32_t length = 0;
    ReplaceStatus status =
        ExpandToSpace(table, args[0], ExpandFlags::None, space, kTextSpace, &length);
    if (status != ReplaceStatus::Ok) return status;
    holds = EvaluateLegacyCondition(std::u16string_view(space, length)) != 0;
  } else {
    char16_t result[kExpressionResultSpace];
    ReplaceStatus status = ExpandAndEvaluate(table, args[0], result);
    if (status != ReplaceStatus::Ok) return status;
    holds = IsTrue(result);
  }
  // Only the chosen branch is expanded, so commands in the other never run.
  const char16_t* chosen = argCount == 1 ? (holds ? u"1" : u"0") : args[holds ? 1 : 2];
  return ExpandToOutput(table, chosen, flags, out, outLen);
}

ReplaceStatus ForCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 4) return ReplaceStatus::WrongArgCount;
  int32_t first = 0;
  int32_t last = 0;
  ReplaceStatus status = ExpandWholeNumber(table, args[1], ExpandFlags::None, &first);
  if (status == ReplaceStatus::Ok)
    status = ExpandWholeNumber(table, args[2], ExpandFlags::None, &last);
  if (status != ReplaceStatus::Ok) return status;

  const uint32_t capacity = *outLen;
  uint64_t total = 0;
  bool countOnly = false;
  // A 64-bit counter, so that a loop up to INT32_MAX ends instead of wrapping.
  for (int64_t i = first; i <= last; ++i) {
    table.SetNumber(args[0], static_cast<int32_t>(i));
    uint32_t length = countOnly ? 0 : capacity - static_cast<uint32_t>(total);
    status = ExpandToOutput(table, args[3], flags, countOnly ? nullptr : out + total, &length);
    if (status == ReplaceStatus::BufferTooSmall) {
      countOnly = true;  // this and every later iteration only count
    } else if (status != ReplaceStatus::Ok) {
      *outLen = static_cast<uint32_t>(total);
      return status;
    }
    total += length;
    if (total >= std::numeric_limits<uint32_t>::max()) return ReplaceStatus::OutputTooLong;
  }
  *outLen = static_cast<uint32_t>(total);
  return countOnly ? ReplaceStatus::BufferTooSmall : ReplaceStatus::Ok;
}

ReplaceStatus SetCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t*, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 2) return ReplaceStatus::WrongArgCount;
  char16_t name[kNameSpace];
  char16_t value[kTextSpace];
  uint32_t nameLength = 0;
  uint32_t valueLength = 0;
  ReplaceStatus status = ExpandName(table, args[0], flags, name, &nameLength);
  if (status == ReplaceStatus::Ok) {
    status = ExpandToSpace(table, args[1], flags, value, kTextSpace, &valueLength);
  }
  if (status != ReplaceStatus::Ok) return status;
  table.Set(std::u16string_view(name, nameLength), std::u16string_view(value, valueLength));
  *outLen = 0;
  return ReplaceStatus::Ok;
}

ReplaceStatus EvalCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                          char16_t* out, uint32_t* outLen, ExpandFlags) {
  if (argCount != 1) return ReplaceStatus::WrongArgCount;
  char16_t result[kExpressionResultSpace];
  ReplaceStatus status = ExpandAndEvaluate(table, args[0], result);
  if (status != ReplaceStatus::Ok) return status;
  return WriteOutput(result, out, outLen);
}

ReplaceStatus ValueCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 1) return ReplaceStatus::WrongArgCount;
  char16_t name[kTextSpace];
  uint32_t nameLength = 0;
  ReplaceStatus status = ExpandToSpace(table, args[0], flags, name, kTextSpace, &nameLength);
  if (status != ReplaceStatus::Ok) return status;
  const std::u16string* value = table.Find(std::u16string_view(name, nameLength));
  return WriteOutput(value != nullptr ? std::u16string_view(*value) : std::u16string_view(), out,
                     outLen);
}

ReplaceStatus DefineCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t*, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 2) return ReplaceStatus::WrongArgCount;
  // "!" then the name: defined commands share the symbols' name space.
  char16_t symbol[kNameSpace + 1];
  char16_t definition[kTextSpace];
  uint32_t nameLength = 0;
  uint32_t definitionLength = 0;
  symbol[0] = u'!';
  ReplaceStatus status = ExpandName(table, args[0], flags, symbol + 1, &nameLength);
  if (status == ReplaceStatus::Ok) {
    status = ExpandToSpace(table, args[1], flags, definition, kTextSpace, &definitionLength);
  }
  if (status != ReplaceStatus::Ok) return status;
  table.Set(std::u16string_view(symbol, nameLength + 1),
            std::u16string_view(definition, definitionLength));
  *outLen = 0;
  return ReplaceStatus::Ok;
}

ReplaceStatus RunUserCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                             char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  char16_t parameter[12];
  char16_t value[kTextSpace];
  for (uint32_t k = 1; k < argCount; ++k) {
    uint32_t length = 0;
    ReplaceStatus status = ExpandToSpace(table, args[k], flags, value, kTextSpace, &length);
    if (status != ReplaceStatus::Ok) return status;  // the parameters set so far stay
    FormatWide(parameter, 12, u"%u", {k});
    table.Set(parameter, std::u16string_view(value, length));
  }
  ReplaceStatus status = ExpandToOutput(table, args[0], flags, out, outLen);
  // Parameters are removed, not restored: an outer call's "1".."N" are gone.
  for (uint32_t k = 1; k < argCount; ++k) {
    FormatWide(parameter, 12, u"%u", {k});
    table.Remove(parameter);
  }
  return status;
}

}  // namespace qds
