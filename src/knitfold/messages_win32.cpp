// The messages on Windows: the STRINGTABLE resource that messages.rc
// compiles into the program.

#include "knitfold/messages.h"
#include "platform/string_resources.h"

namespace qds {

int LoadMessage(uint32_t id, char16_t* buffer, int capacity) {
  return platform::LoadResourceString(id, buffer, capacity);
}

}  // namespace qds
