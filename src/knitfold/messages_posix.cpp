// The program's string table (language 1033) for platforms without
// resources. The texts are the messages of the tool; each ends in a single
// line feed, except string 113, the word of the trace switch.

#include <algorithm>
#include <string_view>

#include "platform/platform.h"

namespace qds::platform {

namespace {

struct StringResource {
  uint32_t id;
  std::u16string_view text;
};

constexpr StringResource kStringTable[] = {
    {102, u"Usage: knitfold qdsfile compatqdsfile [Trace]\n"},
    {105, u"Error %d saving file %s\n"},
    {108, u"Error %d loading file %s\n"},
    {109, u"Error copying %s to %s : %s\n"},
    {110, u"Invalid QDS file name: %s\n"},
    {111, u"Error %d creating log file %s\n"},
    {113, u"Trace"},
};

}  // namespace

int LoadResourceString(uint32_t id, char16_t* buffer, int capacity) {
  if (capacity <= 0) return 0;
  for (const StringResource& resource : kStringTable) {
    if (resource.id != id) continue;
    size_t copied = std::min(resource.text.size(), static_cast<size_t>(capacity - 1));
    std::copy_n(resource.text.data(), copied, buffer);
    buffer[copied] = 0;
    return static_cast<int>(copied);
  }
  return 0;
}

}  // namespace qds::platform
