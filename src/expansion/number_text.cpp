#include "expansion/number_text.h"

#include <limits>

#include "common/text.h"

namespace qds {

namespace {

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

// True when `text` reads to its end under `base` 0; the scan in *scan.
bool ScanWhole(std::u16string_view text, NumberScan* scan) {
  if (text.empty()) return false;
  *scan = ScanNumber(text, 0);
  return scan->end == text.size() && !scan->overflow;
}

}  // namespace

NumberScan ScanNumber(std::u16string_view text, int base) {
  NumberScan scan;
  size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    scan.negative = text[i] == u'-';
    ++i;
  }
  bool hexPrefix = i + 2 < text.size() && text[i] == u'0' &&
                   (text[i + 1] == u'x' || text[i + 1] == u'X') && DigitValue(text[i + 2]) < 16;
  if (base == 0) {
    if (hexPrefix) {
      base = 16;
    } else {
      base = (i < text.size() && text[i] == u'0') ? 8 : 10;
    }
  }
  if (base == 16 && hexPrefix) i += 2;
  uint64_t value = 0;
  size_t first = i;
  for (; i < text.size() && DigitValue(text[i]) < base; ++i) {
    value = value * base + DigitValue(text[i]);
    // Saturate well above the 32-bit range so the product cannot wrap.
    if (value > std::numeric_limits<uint32_t>::max()) {
      scan.overflow = true;
      value = std::numeric_limits<uint32_t>::max() + uint64_t{1};
    }
  }
  if (i == first) return NumberScan{};
  scan.magnitude = static_cast<uint32_t>(value);
  scan.end = i;
  return scan;
}

bool ParseInteger(std::u16string_view text, int32_t* value) {
  NumberScan scan;
  if (!ScanWhole(text, &scan)) return false;
  uint32_t limit = scan.negative ? 0x80000000u : 0x7FFFFFFFu;
  if (scan.magnitude > limit) return false;
  *value = static_cast<int32_t>(scan.negative ? 0u - scan.magnitude : scan.magnitude);
  return true;
}

bool ParseUnsigned(std::u16string_view text, uint32_t* value) {
  NumberScan scan;
  if (!ScanWhole(text, &scan)) return false;
  *value = scan.negative ? 0u - scan.magnitude : scan.magnitude;
  return true;
}

}  // namespace qds
