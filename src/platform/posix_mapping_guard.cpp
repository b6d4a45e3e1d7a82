// The guard of mapped files on POSIX: the mappings of MapFile are listed
// where a handler of SIGBUS can look them up, and a fault within one (its
// file was shortened) maps zeros over the rest of it, so that the reader
// runs on to its end and then learns of the cut from MappingCut. All the
// handler does is safe in a signal handler: atomic loads and stores, mmap,
// sigaction and raise.

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/descriptors.h"
#include "platform/posix_support.h"

namespace qds::platform {
namespace {

// A mapping in use, [start, end) in whole pages; start 0 marks a free slot.
struct GuardedMapping {
  std::atomic<uintptr_t> start{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> cut{false};
};

// A load maps at most its one file: a few slots serve every thread of a
// program; a file that finds none is read instead.
constexpr int kMostMappings = 64;
GuardedMapping gMappings[kMostMappings];
std::atomic<uintptr_t> gPageBytes{0};

GuardedMapping* Find(const void* mapping) {
  auto start = reinterpret_cast<uintptr_t>(mapping);
  for (GuardedMapping& slot : gMappings) {
    if (slot.start.load(std::memory_order_acquire) == start) return &slot;
  }
  return nullptr;
}

// A fault within a listed mapping: zeros take the place of the pages from the
// faulting one to the mapping's end, in one call rather than a fault a page.
bool CoverWithZeros(uintptr_t at) {
  const uintptr_t pageBytes = gPageBytes.load(std::memory_order_relaxed);
  for (GuardedMapping& slot : gMappings) {
    uintptr_t start = slot.start.load(std::memory_order_acquire);
    uintptr_t end = slot.end.load(std::memory_order_acquire);
    if (start == 0 || at < start || at >= end) continue;
    uintptr_t page = at & ~(pageBytes - 1);
    void* zeros = mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) return false;
    slot.cut.store(true, std::memory_order_release);
    return true;
  }
  return false;
}

// Any other bus error ends the process as it would have without the guard.
void OnBusError(int signal, siginfo_t* info, void*) {
  const bool fault = info != nullptr && info->si_code > 0;
  if (fault && CoverWithZeros(reinterpret_cast<uintptr_t>(info->si_addr))) return;
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

}  // namespace

bool GuardMapping(const void* mapping, size_t bytes) {
  static const auto kPage = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  gPageBytes.store(kPage, std::memory_order_relaxed);
  auto start = reinterpret_cast<uintptr_t>(mapping);
  for (GuardedMapping& slot : gMappings) {
    uintptr_t free = 0;
    if (!slot.start.compare_exchange_strong(free, start, std::memory_order_acq_rel)) continue;
    // The mapping is not handed out yet: no fault can look at the slot before
    // these are set.
    slot.cut.store(false, std::memory_order_release);
    slot.end.store(start + ((bytes + kPage - 1) & ~(kPage - 1)), std::memory_order_release);
    return true;
  }
  return false;
}

void ForgetMapping(const void* mapping) {
  if (GuardedMapping* slot = Find(mapping)) slot->start.store(0, std::memory_order_release);
}

void GuardMappedFiles() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, nullptr);
}

bool MappingCut(const void* mapping) {
  GuardedMapping* slot = Find(mapping);
  return slot != nullptr && slot->cut.load(std::memory_order_acquire);
}

}  // namespace qds::platform
