// The expansions of a document's values: the expanding end of an entry read
// (GetEntry with ReadFlags::Expand and a table attached, where the value
// goes through the symbol engine instead of being copied) and Expand of a
// value. A failure leaves an excerpt of the value around it in the
// document.

#ifndef KNITFOLD_DOCUMENT_EXPANDING_READ_H_
#define KNITFOLD_DOCUMENT_EXPANDING_READ_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "document/document_state.h"
#include "expansion/replace_status.h"
#include "model/document_model.h"

namespace qds {

class ExpandingRead final : public ValueExpander {
 public:
  // Expands through `table` as the values of `state` expand.
  ExpandingRead(detail::DocumentState& state, SymbolTable& table) : state_(state), table_(table) {}

  ReadStatus Expand(std::u16string_view value, bool keyCut, char16_t* valueBuffer,
                    uint32_t* valueLength) override;

 private:
  detail::DocumentState& state_;
  SymbolTable& table_;
};

// The flags with which the values of `state` expand: documents before
// version 2 test "if" conditions the old way.
ExpandFlags ExpansionMode(const detail::DocumentState& state);

// Keeps the failure of an expansion of `value` at state.expansionErrorPos
// in the document: its status and the excerpt around it.
void RecordExpansionFailure(detail::DocumentState& state, std::u16string_view value,
                            ReplaceStatus status);

// Expands `text` as the library's own callers do: with room for 65536
// units, and when that is too little, with the symbols put back as they
// were, once more with the room asked for; so each command takes effect once.
// *out receives what the last run produced (as far as it fit), *errorPos
// what ReplaceSymbols reports.
ReplaceStatus ExpandWithRetry(SymbolMap& table, std::u16string_view text, ExpandFlags flags,
                              std::u16string* out, uint32_t* errorPos);

// The characters of `value` around `position` that a failed expansion of it
// at that position leaves as the excerpt of GetExpansionError: up to 25
// before the position and 25 from it on.
std::u16string_view ExpansionExcerpt(std::u16string_view value, uint32_t position);

}  // namespace qds

#endif  // KNITFOLD_DOCUMENT_EXPANDING_READ_H_
