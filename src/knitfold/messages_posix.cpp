// The messages on platforms without resources: a table in code, made from
// messages.inc.

#include <algorithm>
#include <string_view>

#include "knitfold/messages.h"

namespace qds {

namespace {

struct Message {
  uint32_t id;
  std::u16string_view text;
};

constexpr Message kMessages[] = {
#define MESSAGE(id, name, text) {id, u"" text},
#include "knitfold/messages.inc"
#undef MESSAGE
};

}  // namespace

int LoadMessage(uint32_t id, char16_t* buffer, int capacity) {
  if (capacity <= 0) return 0;
  for (const Message& message : kMessages) {
    if (message.id != id) continue;
    size_t copied = std::min(message.text.size(), static_cast<size_t>(capacity - 1));
    std::copy_n(message.text.data(), copied, buffer);
    buffer[copied] = 0;
    return static_cast<int>(copied);
  }
  return 0;
}

}  // namespace qds
