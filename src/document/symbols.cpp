// The public face of the expansion engine: SymbolTable over a SymbolMap
// that knows the built-in commands, and the expansion and evaluation of a
// text.

#include <qds/symbols.h>

#include <optional>

#include "document/document_state.h"
#include "document/expanding_read.h"
#include "document/text_conversions.h"
#include "expansion/builtin_commands.h"
#include "expansion/expression.h"

namespace qds {

using detail::Internals;

static_assert(static_cast<int>(ExpandStatus::OutputTooLong) ==
              static_cast<int>(ReplaceStatus::OutputTooLong));

namespace {

// Symbols are allocated this many at a time.
constexpr int32_t kSymbolBlock = 16;

// The status of an expansion that stopped at `position`, or with none (an
// evaluation).
Status ExpandStatusOf(ReplaceStatus status, std::optional<uint32_t> position) {
  detail::StatusDetails details;
  details.where = position.value_or(0);
  details.located = position.has_value();
  return Internals::MakeStatus(status, details);
}

}  // namespace

detail::SymbolStore::SymbolStore(bool caseInsensitive)
    : map(caseInsensitive, kSymbolBlock, &kBuiltinCommands) {}

SymbolTable::SymbolTable(bool caseInsensitive)
    : store_(std::make_unique<detail::SymbolStore>(caseInsensitive)) {}

SymbolTable::~SymbolTable() = default;

void SymbolTable::Set(TextRef name, TextRef value) { store_->map.Set(Wide(name), Wide(value)); }

bool SymbolTable::Get(TextRef name, std::string* value) const {
  std::u16string wide;
  if (!Get(name, &wide)) return false;
  *value = ToUtf8(wide);
  return true;
}

bool SymbolTable::Get(TextRef name, std::u16string* value) const {
  const std::u16string* found = store_->map.Find(Wide(name));
  if (found == nullptr) return false;
  value->assign(*found);
  return true;
}

bool SymbolTable::Remove(TextRef name) { return store_->map.Remove(Wide(name)); }

void SymbolTable::Clear() { store_->map.RemoveAll(); }

size_t SymbolTable::Count() const { return static_cast<size_t>(store_->map.Count()); }

bool SymbolTable::CaseInsensitive() const { return store_->map.CaseInsensitive(); }

void SymbolTable::ForEach(
    const std::function<void(std::u16string_view name, std::u16string_view value)>& visit) const {
  store_->map.ForEach(visit);
}

Status Expand(SymbolTable& table, TextRef text, std::string* out, ExpandFlags flags) {
  std::u16string wide;
  Status status = Expand(table, text, &wide, flags);
  *out = ToUtf8(wide);
  return status;
}

Status Expand(SymbolTable& table, TextRef text, std::u16string* out, ExpandFlags flags) {
  uint32_t position = 0;
  ReplaceStatus status = ExpandWithRetry(Internals::Map(table), Wide(text), flags, out, &position);
  return ExpandStatusOf(status, position);
}

Status Evaluate(TextRef expression, std::string* result) {
  std::u16string wide;
  Status status = Evaluate(expression, &wide);
  if (status.Ok()) *result = ToUtf8(wide);
  return status;
}

Status Evaluate(TextRef expression, std::u16string* result) {
  // The evaluator works in place on a terminated copy.
  std::u16string scratch = Wide(expression);
  char16_t value[kExpressionResultSpace];
  ReplaceStatus status = EvaluateExpression(scratch.data(), value);
  if (status == ReplaceStatus::Ok) result->assign(value);
  return ExpandStatusOf(status, std::nullopt);
}

bool EvaluateLegacyCondition(TextRef condition) {
  return qds::EvaluateLegacyCondition(std::u16string_view(Wide(condition))) != 0;
}

}  // namespace qds
