// What the fuzz targets share: a scratch folder, the fuzzer's bytes read as
// choices and text, and the check that turns a broken property into a crash
// that the fuzzer records.

#ifndef KNITFOLD_FUZZ_FUZZ_SUPPORT_H_
#define KNITFOLD_FUZZ_FUZZ_SUPPORT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/utf8.h"

namespace qds::fuzz {

// A private folder (in memory where the system offers one), made once per
// process and made the current folder, so that relative paths in the inputs
// stay inside it; ends in "/". Removed at exit or when a check fails.
const std::string& ScratchFolder();

// Aborts with `what` when `holds` is false; the fuzzer saves the input.
void Check(bool holds, const char* what);

// The fuzzer's bytes, taken from the front as small choices.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : bytes_(reinterpret_cast<const char*>(data), size) {}

  // The next byte, or 0 when none is left.
  uint8_t Byte() {
    if (bytes_.empty()) return 0;
    bytes_.remove_prefix(1);
    return static_cast<uint8_t>(bytes_.data()[-1]);
  }
  // The rest as text: UTF-8, invalid bytes kept as U+DC80..U+DCFF.
  std::u16string RestAsText() const { return DecodeUtf8(bytes_); }

 private:
  std::string_view bytes_;
};

}  // namespace qds::fuzz

#endif  // KNITFOLD_FUZZ_FUZZ_SUPPORT_H_
