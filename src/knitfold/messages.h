// The messages of knitfold: their ids, and their texts as the program's
// string table holds them (messages.inc lists both).

#ifndef KNITFOLD_KNITFOLD_MESSAGES_H_
#define KNITFOLD_KNITFOLD_MESSAGES_H_

#include <cstdint>

namespace qds {

#define MESSAGE(id, name, text) inline constexpr uint32_t name = id;
#include "knitfold/messages.inc"
#undef MESSAGE

// Copies the text of message `id` into `buffer`: at most capacity - 1 units
// and a terminating zero. Returns the units copied; 0 when there is no such
// message or the capacity is 0.
int LoadMessage(uint32_t id, char16_t* buffer, int capacity);

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_MESSAGES_H_
