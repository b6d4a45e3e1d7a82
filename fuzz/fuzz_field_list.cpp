// Scans arbitrary field lists with the scanner of "split" and checks that a
// failed scan holds no fields, a successful one at least one, never longer
// together than the value; and that the fields, each quoted (quotes doubled
// inside) and joined with the separator, scan back to themselves.
// Input: a byte that says whether a separator is given, then UTF-8 text
// whose first character is the separator when one is.

#include <optional>
#include <string>
#include <vector>

#include "expansion/field_list_scanner.h"
#include "fuzz_support.h"

namespace qds::fuzz {
namespace {

std::vector<std::u16string> Fields(const FieldListScanner& scanner) {
  std::vector<std::u16string> fields;
  for (size_t i = 0; i < scanner.Count(); ++i) fields.emplace_back(scanner.Field(i));
  return fields;
}

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  using fuzz::Check;
  fuzz::Input input(data, size);
  const bool separated = (input.Byte() & 1) != 0;
  std::u16string value = input.RestAsText();
  std::optional<char16_t> separator;
  if (separated && !value.empty()) {
    separator = value.front();
    value.erase(0, 1);
  }
  FieldListScanner scanner;
  if (!scanner.Scan(value, separator)) {
    Check(scanner.Count() == 0, "a failed scan holds no fields");
    return 0;
  }
  const std::vector<std::u16string> fields = fuzz::Fields(scanner);
  size_t total = 0;
  for (const std::u16string& field : fields) total += field.size();
  Check(!fields.empty() && total <= value.size(), "one field or more, no longer than the value");
  // A quote or white space as the separator cannot part quoted fields.
  if (separator && (*separator == u'"' || *separator == u'\'' || IsFieldSpace(*separator))) {
    return 0;
  }
  std::u16string joined;
  for (const std::u16string& field : fields) {
    if (!joined.empty()) joined += *separator;
    joined += u'"';
    for (char16_t c : field) joined.append(c == u'"' ? 2 : 1, c);
    joined += u'"';
  }
  FieldListScanner again;
  Check(again.Scan(joined, separator) && fuzz::Fields(again) == fields,
        "quoted fields scan back to themselves");
  return 0;
}
