// Memory pages on Windows: reservations of the virtual-memory manager,
// aligned to the large-page size. Large pages themselves need a privilege
// that a packaging tool should not ask for, so the pages are ordinary ones.

#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace qds::platform {
namespace {

constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
// Another thread may take the aligned address between the two requests.
constexpr int kAttempts = 8;

}  // namespace

// The system aligns reservations to 64 KiB only: a reservation one large
// page longer shows where an aligned block fits, is given back, and the
// aligned block is asked for at that address.
void* AllocatePages(size_t bytes) {
  if (bytes == 0 || bytes > SIZE_MAX - kLargePage) return nullptr;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    void* probe = VirtualAlloc(nullptr, bytes + kLargePage, MEM_RESERVE, PAGE_NOACCESS);
    if (probe == nullptr) return nullptr;
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(probe) + kLargePage - 1) & ~(kLargePage - 1);
    VirtualFree(probe, 0, MEM_RELEASE);
    void* pages = VirtualAlloc(reinterpret_cast<void*>(aligned), bytes, MEM_RESERVE | MEM_COMMIT,
                               PAGE_READWRITE);
    if (pages != nullptr) return pages;
  }
  return nullptr;
}

void FreePages(void* pages, size_t /*bytes*/) {
  if (pages != nullptr) VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace qds::platform
