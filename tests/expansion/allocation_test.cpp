// Plain text, escapes, literal spans and symbol references expand without a
// single heap allocation. This program replaces the global allocation
// functions to count them, so it holds nothing else.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace {

long allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace qds {
namespace {

TEST(NoAllocationTest, SymbolsEscapesAndSpansDoNotAllocate) {
  SymbolMap table(true, 16);
  table.Set(u"name", u"World");
  table.Set(u"long", std::u16string(5000, u'x'));
  const std::u16string text = u"Hello %NAME%, 100%% %`literal %name%`% %absent% %long%%`a`%%`b`% " +
                              std::u16string(200, u'.');
  char16_t out[8192];
  uint32_t errorPos = 0;

  long before = allocations;
  uint32_t outLen = sizeof(out) / sizeof(out[0]);
  ReplaceStatus fits = ReplaceSymbols(table, text, out, &outLen, 0, &errorPos);
  uint32_t queryLen = 0;
  ReplaceStatus query = ReplaceSymbols(table, text, nullptr, &queryLen, 0, &errorPos);
  uint32_t shortLen = 10;
  ReplaceStatus cut = ReplaceSymbols(table, text, out, &shortLen, 0, &errorPos);
  long during = allocations - before;

  EXPECT_EQ(fits, ReplaceStatus::Ok);
  EXPECT_EQ(query, ReplaceStatus::BufferTooSmall);
  EXPECT_EQ(cut, ReplaceStatus::BufferTooSmall);
  EXPECT_EQ(queryLen, outLen);
  EXPECT_EQ(during, 0);
}

}  // namespace
}  // namespace qds
