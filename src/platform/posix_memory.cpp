// Memory pages on POSIX: anonymous mappings; those of a large page or more
// aligned to the large-page size and advised to use large pages where the
// system has them.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/memory.h"

namespace qds::platform {
namespace {

constexpr uintptr_t kLargePage = kLargePageBytes;
#ifdef MAP_POPULATE
constexpr int kFilledAtOnce = MAP_POPULATE;
#else
constexpr int kFilledAtOnce = 0;
#endif

void* MapAnonymous(size_t bytes, int flags) {
  void* pages =
      mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
  return pages != MAP_FAILED ? pages : nullptr;
}

// `bytes` bytes mapped with `protection` and `flags`, starting on a
// large-page boundary: one large page more is mapped and the ends are cut
// off. The piece ends where its last small page does: an end cut anywhere
// else would not be unmapped, and the rest of the large page would stay
// mapped after FreePages.
void* MapAligned(size_t bytes, int protection, int flags) {
  static const uintptr_t kPage = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t whole = (bytes + kPage - 1) & ~(kPage - 1);
  const size_t mapped = whole + kLargePage;
  void* raw = mmap(nullptr, mapped, protection, MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  uintptr_t aligned = (start + kLargePage - 1) & ~(kLargePage - 1);
  if (aligned > start) munmap(raw, aligned - start);
  uintptr_t end = start + mapped;
  if (end > aligned + whole) {
    munmap(reinterpret_cast<void*>(aligned + whole), end - aligned - whole);
  }
  return reinterpret_cast<void*>(aligned);
}

void AdviseLargePages(void* pages, size_t bytes) {
#ifdef MADV_HUGEPAGE
  madvise(pages, bytes, MADV_HUGEPAGE);  // advice only: may be refused
#endif
}

// One call fills in every small page: far cheaper than a fault for each.
void FillInAtOnce(void* pages, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  madvise(pages, bytes, MADV_POPULATE_WRITE);  // advice only: older systems refuse it
#endif
}

}  // namespace

void* AllocatePages(size_t bytes) {
  // A small piece is filled in at once: a fault per small page costs more.
  if (bytes < kLargePage) return MapAnonymous(bytes, kFilledAtOnce);
  void* pages = MapAligned(bytes, PROT_READ | PROT_WRITE, 0);
  if (pages != nullptr) AdviseLargePages(pages, bytes);
  return pages;
}

// Reserved address space is neither readable nor counted against the
// memory the system has promised, until committed.
void* ReservePages(size_t bytes) { return MapAligned(bytes, PROT_NONE, MAP_NORESERVE); }

bool CommitPages(void* pages, size_t bytes, Filling filling) {
  if (mprotect(pages, bytes, PROT_READ | PROT_WRITE) != 0) return false;
  if (bytes >= kLargePage) {
    AdviseLargePages(pages, bytes);
  } else if (filling == Filling::kAtOnce) {
    FillInAtOnce(pages, bytes);
  }
  return true;
}

// The pages stay readable and writable: a touch fills one in, zeroed, as
// CommitPages would.
void DecommitPages(void* pages, size_t bytes) { madvise(pages, bytes, MADV_DONTNEED); }

size_t ResidentBytes() {
  static const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  int file = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (file < 0) return 0;
  char text[128] = {};
  ssize_t got = read(file, text, sizeof text - 1);
  close(file);
  size_t size = 0;
  size_t resident = 0;
  if (got <= 0 || std::sscanf(text, "%zu %zu", &size, &resident) != 2) return 0;
  return resident * kPage;
}

void FreePages(void* pages, size_t bytes) {
  if (pages != nullptr) munmap(pages, bytes);
}

}  // namespace qds::platform
