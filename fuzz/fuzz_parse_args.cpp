// Splits arbitrary command calls with ParseArgs and checks what the engine
// relies on: the result is a count of at least one (the name), the cursor
// then after the closing "%", or one of the four errors; every argument lies
// terminated inside the buffer, and nothing is written past the buffer or
// the slots (both have their exact sizes, for AddressSanitizer); a buffer as
// long as the call always suffices (the engine sizes its second pass so);
// and a buffer that does not fill reads as one of any size.
// Input: a byte choosing the slot count, a byte choosing the buffer size,
// then the UTF-8 text after "%!".

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "expansion/parse_args.h"
#include "fuzz_support.h"

namespace qds::fuzz {
namespace {

struct Parse {
  int64_t result = 0;
  size_t consumed = 0;  // characters the cursor moved on
  std::vector<std::u16string> args;
};

Parse Split(std::u16string_view text, size_t bufferChars, size_t maxArgs) {
  std::unique_ptr<char16_t[]> buffer(new char16_t[bufferChars]);
  std::unique_ptr<const char16_t*[]> slots(new const char16_t*[maxArgs]);
  const char16_t* cursor = text.data();
  Parse parse;
  parse.result = ParseArgs(&cursor, text.data() + text.size(), buffer.get(), bufferChars,
                           slots.get(), maxArgs);
  Check(cursor >= text.data() && cursor <= text.data() + text.size(),
        "the cursor stays in the text");
  parse.consumed = static_cast<size_t>(cursor - text.data());
  if (parse.result < 1) {
    Check(parse.result == kArgsNotClosed || parse.result == kArgsBufferFull ||
              parse.result == kArgsJunkAfterQuote || parse.result == kArgsBadName,
          "a failure is one of the four errors");
    if (parse.result == kArgsBufferFull) Check(parse.consumed == 0, "a full buffer moves nothing");
    return parse;
  }
  Check(parse.consumed >= 3 && text[parse.consumed - 1] == u'%', "a call ends after its \"%\"");
  const char16_t* bufferEnd = buffer.get() + bufferChars;
  const size_t stored = std::min(static_cast<size_t>(parse.result), maxArgs);
  for (size_t i = 0; i < stored; ++i) {
    Check(slots[i] >= buffer.get() && slots[i] < bufferEnd, "arguments lie in the buffer");
    std::u16string_view stored(slots[i], static_cast<size_t>(bufferEnd - slots[i]));
    size_t zero = stored.find(u'\0');
    Check(zero != std::u16string_view::npos, "arguments are terminated inside the buffer");
    parse.args.emplace_back(stored.substr(0, zero));
  }
  return parse;
}

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  using fuzz::Check;
  fuzz::Input input(data, size);
  const size_t maxArgs = 1 + input.Byte() % 8;
  const uint8_t bufferChoice = input.Byte();
  const std::u16string text = input.RestAsText();

  // As the engine does: the whole call checked, only the name kept.
  const fuzz::Parse first = fuzz::Split(text, 66, 1);
  const fuzz::Parse roomy = fuzz::Split(text, text.size() + 1, maxArgs);
  Check(roomy.result != kArgsBufferFull, "a buffer as long as the text never fills");
  if (first.result != kArgsBufferFull) {
    Check(first.result == roomy.result && first.consumed == roomy.consumed,
          "the buffer's size does not change the reading");
  }
  if (roomy.result >= 1) {
    const fuzz::Parse second = fuzz::Split(text, roomy.consumed, static_cast<size_t>(roomy.result));
    Check(second.result == roomy.result && second.consumed == roomy.consumed,
          "the call's own length holds all its arguments");
  }
  const size_t bufferChars = 1 + bufferChoice % 64;
  const fuzz::Parse tight = fuzz::Split(text, bufferChars, maxArgs);
  if (tight.result != kArgsBufferFull) {
    Check(tight.result == roomy.result && tight.consumed == roomy.consumed &&
              tight.args == roomy.args,
          "a buffer that does not fill reads as a roomy one");
  }
  return 0;
}
