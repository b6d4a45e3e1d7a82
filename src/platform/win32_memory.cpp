// Memory pages on Windows: reservations of the virtual-memory manager, those
// of a large page or more aligned to the large-page size. Large pages
// themselves need a privilege that a packaging tool should not ask for, so
// the pages are ordinary ones.

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdint>

#include "platform/memory.h"

namespace qds::platform {
namespace {

constexpr uintptr_t kLargePage = kLargePageBytes;

}  // namespace

// The system aligns reservations to 64 KiB only: a reservation one large
// page longer holds an aligned block, and only that block is committed. The
// rest stays reserved, costing address space alone, until the whole
// reservation is given back.
void* ReservePages(size_t bytes) {
  if (bytes == 0 || bytes > SIZE_MAX - kLargePage) return nullptr;
  void* reservation = VirtualAlloc(nullptr, bytes + kLargePage, MEM_RESERVE, PAGE_NOACCESS);
  if (reservation == nullptr) return nullptr;
  uintptr_t aligned =
      (reinterpret_cast<uintptr_t>(reservation) + kLargePage - 1) & ~(kLargePage - 1);
  return reinterpret_cast<void*>(aligned);
}

// The system fills in a committed page when it is first touched, whatever
// `filling` asks.
bool CommitPages(void* pages, size_t bytes, Filling /*filling*/) {
  return VirtualAlloc(pages, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void DecommitPages(void* pages, size_t bytes) { VirtualFree(pages, bytes, MEM_DECOMMIT); }

size_t ResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.WorkingSetSize;
}

void* AllocatePages(size_t bytes) {
  if (bytes == 0) return nullptr;
  if (bytes < kLargePage) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  }
  void* pages = ReservePages(bytes);
  if (pages != nullptr && !CommitPages(pages, bytes, Filling::kOnTouch)) {
    FreePages(pages, bytes);
    return nullptr;
  }
  return pages;
}

void FreePages(void* pages, size_t /*bytes*/) {
  MEMORY_BASIC_INFORMATION region;
  if (pages != nullptr && VirtualQuery(pages, &region, sizeof region) != 0) {
    VirtualFree(region.AllocationBase, 0, MEM_RELEASE);
  }
}

}  // namespace qds::platform
