// Plain text, escapes, literal spans and symbol references expand without a
// single heap allocation, and a symbol table holds memory in step with its
// symbols. This program replaces the global allocation functions to count
// the allocations and the bytes they hold, so it holds nothing else.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

#include "common/counted_string.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace {

long allocations = 0;
long heldBytes = 0;

// Each allocation keeps its size ahead of the bytes it hands out. The
// functions stay out of line: inlined into a caller, the pointer arithmetic
// reads to the compiler like a mismatched free.
constexpr std::size_t kSizeRoom = alignof(std::max_align_t);

}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
  ++allocations;
  auto* block = static_cast<char*>(std::malloc(kSizeRoom + size));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = size;
  heldBytes += static_cast<long>(size);
  return block + kSizeRoom;
}
void* operator new[](std::size_t size) { return operator new(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* block = static_cast<char*>(p) - kSizeRoom;
  heldBytes -= static_cast<long>(*reinterpret_cast<std::size_t*>(block));
  std::free(block);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

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

// Names of one length, so that every name's text takes as many bytes.
std::u16string Name(int number) {
  std::u16string name = u"s00000";
  for (size_t at = name.size(); number != 0; number /= 10) name[--at] = static_cast<char16_t>(u'0' + number % 10);
  return name;
}

// A table holds the same memory while its number of symbols holds, however
// many come and go (a removed symbol's node serves the next new one), gives
// all of it back with its last symbol, and starts again as small as new.
TEST(SymbolMemoryTest, FollowsTheNumberOfSymbols) {
  { CountedString first(u"x"); }  // the thread's text pool takes its memory
  SymbolMap table(true, 8);
  const long empty = heldBytes;
  table.Set(Name(0), u"value");
  const long oneSymbol = heldBytes - empty;
  for (int i = 1; i < 100; ++i) table.Set(Name(i), u"value");
  const long full = heldBytes;
  int removed = 0;
  for (int i = 100; i < 20000; ++i) {
    removed += table.Remove(Name(i - 100));
    table.Set(Name(i), u"value");
  }
  EXPECT_EQ(removed, 19900);
  EXPECT_EQ(heldBytes, full);
  for (int i = 19900; i < 20000; ++i) table.Remove(Name(i));
  EXPECT_EQ(heldBytes, empty);
  table.Set(Name(0), u"value");
  EXPECT_EQ(heldBytes - empty, oneSymbol);
}

}  // namespace
}  // namespace qds
