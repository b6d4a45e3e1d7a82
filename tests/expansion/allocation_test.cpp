// Plain text, escapes, literal spans and symbol references expand without a
// single heap allocation. This program counts allocations with its own
// global operator new, so it holds nothing else.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace {
long allocations = 0;
}  // namespace

// Out of line: inlined into a caller, the pair reads to the compiler like a
// mismatched free.
[[gnu::noinline]] void* operator new(std::size_t size) {
  ++allocations;
  if (void* block = std::malloc(size)) return block;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace qds {
namespace {

TEST(NoAllocationTest, SymbolsEscapesAndSpansDoNotAllocate) {
  SymbolMap table(true, 16);
  table.Set(u"name", u"World");
  table.Set(u"long", std::u16string(5000, u'x'));
  const std::u16string text = u"Hello %NAME%, 100%% %`literal %name%`% %absent% %long%%`a`%%`b`% " +
                              std::u16string(200, u'.');
  char16_t out[8192];
  uint32_t errorPos = 0, outLen = 8192, queryLen = 0, shortLen = 10;

  const long before = allocations;
  ReplaceStatus fits = ReplaceSymbols(table, text, out, &outLen, ExpandFlags::None, &errorPos);
  ReplaceStatus query =
      ReplaceSymbols(table, text, nullptr, &queryLen, ExpandFlags::None, &errorPos);
  ReplaceStatus cut = ReplaceSymbols(table, text, out, &shortLen, ExpandFlags::None, &errorPos);
  const long during = allocations - before;

  EXPECT_EQ(during, 0);
  EXPECT_EQ(fits, ReplaceStatus::Ok);
  EXPECT_EQ(query, ReplaceStatus::BufferTooSmall);
  EXPECT_EQ(cut, ReplaceStatus::BufferTooSmall);
  EXPECT_EQ(queryLen, outLen);
}

}  // namespace
}  // namespace qds
