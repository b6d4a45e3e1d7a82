// The expanding end of an entry read: with ReadExpand and a symbol table
// attached, a value goes through the symbol engine instead of being copied,
// and a failure leaves an excerpt of the value around it in the document.

#ifndef KNITFOLD_DOCUMENT_EXPANDING_READ_H_
#define KNITFOLD_DOCUMENT_EXPANDING_READ_H_

#include <cstdint>
#include <string_view>

#include "document/document_state.h"
#include "model/document_model.h"

namespace qds {

class ExpandingRead final : public ValueExpander {
 public:
  // Expands through the table attached to `state`, which must have one.
  explicit ExpandingRead(QdsDocument::State& state) : state_(state) {}

  ReadStatus Expand(std::u16string_view value, bool keyCut, char16_t* valueBuffer,
                    uint32_t* valueLength) override;

 private:
  QdsDocument::State& state_;
};

// The characters of `value` around `position` that a failed expansion of it
// at that position leaves as the excerpt of GetExpansionError: up to 25
// before the position and 25 from it on.
std::u16string_view ExpansionExcerpt(std::u16string_view value, uint32_t position);

}  // namespace qds

#endif  // KNITFOLD_DOCUMENT_EXPANDING_READ_H_
