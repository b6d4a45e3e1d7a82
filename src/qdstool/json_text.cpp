#include "qdstool/json_text.h"

namespace qds::tool {

void AppendJsonString(std::string* out, std::u16string_view text) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  out->push_back('"');
  for (char16_t unit : text) {
    if (unit >= 0x20 && unit <= 0x7E && unit != u'"' && unit != u'\\') {
      out->push_back(static_cast<char>(unit));
      continue;
    }
    char escape[] = {'\\',
                     'u',
                     kHexDigits[unit >> 12],
                     kHexDigits[(unit >> 8) & 0xF],
                     kHexDigits[(unit >> 4) & 0xF],
                     kHexDigits[unit & 0xF]};
    out->append(escape, sizeof escape);
  }
  out->push_back('"');
}

}  // namespace qds::tool
