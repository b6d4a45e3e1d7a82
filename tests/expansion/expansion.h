// Test helpers: one expansion of a text through ReplaceSymbols, with
// everything it reports, and the fixture the expansion tests share.

#ifndef KNITFOLD_TESTS_EXPANSION_EXPANSION_H_
#define KNITFOLD_TESTS_EXPANSION_EXPANSION_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf8.h"
#include "expansion/builtin_commands.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace qds::test {

struct Expansion {
  ReplaceStatus status;
  std::u16string output;  // what was written (the zero cut off on success)
  uint32_t outLen;
  uint32_t errorPos;
};

// Expands `text` into a buffer of `capacity` characters.
inline Expansion Expand(SymbolMap& table, std::u16string_view text, uint32_t capacity = 65536,
                        ExpandFlags flags = ExpandFlags::None) {
  std::vector<char16_t> buffer(capacity + 1, u'#');
  Expansion result{};
  result.outLen = capacity;
  result.status =
      ReplaceSymbols(table, text, buffer.data(), &result.outLen, flags, &result.errorPos);
  size_t written = std::min<size_t>(result.outLen, capacity);
  if (result.status == ReplaceStatus::Ok && written > 0) --written;
  result.output.assign(buffer.data(), written);
  return result;
}

// The value of `name`, or "<absent>".
inline std::u16string Symbol(const SymbolMap& table, std::u16string_view name) {
  const std::u16string* value = table.Find(name);
  return value != nullptr ? *value : u"<absent>";
}

// A text for a failure message.
inline std::string Printable(std::u16string_view text) {
  return EncodeUtf8(text.size() > 80 ? text.substr(0, 80) : text);
}

// A table that folds names and knows the built-in commands.
class ExpansionTest : public ::testing::Test {
 protected:
  Expansion Run(std::u16string_view text, uint32_t capacity = 65536,
                ExpandFlags flags = ExpandFlags::None) {
    return Expand(table_, text, capacity, flags);
  }

  SymbolMap table_{true, 16, &kBuiltinCommands};
};

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_EXPANSION_EXPANSION_H_
