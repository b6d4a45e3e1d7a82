// Thread-end hooks on Windows: a thread-local storage slot (TlsAlloc) per
// hook slot, and a TLS callback that runs the hooks a thread placed as the
// thread detaches. The callback comes after MinGW's own thread-end work
// (which frees emulated thread-local storage) and before the system frees
// the thread's slots. It comes for every thread but the one that ends the
// process, whatever started the thread, and for threads only: a
// fiber-local slot's callback would come too when a fiber is deleted,
// while the thread goes on.

#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/thread_end.h"

namespace qds::platform {
namespace {

// Slots are few: each kind of thing that threads hand back takes one.
constexpr int kMostSlots = 8;
DWORD slots[kMostSlots];
// The callback reads the slots up to the count without a lock; slots are
// made one at a time.
std::atomic<int> slotCount{0};
std::mutex makingSlot;

void NTAPI OnThreadEvent(PVOID /*module*/, DWORD reason, PVOID /*reserved*/) {
  if (reason != DLL_THREAD_DETACH) return;
  const int count = slotCount.load(std::memory_order_acquire);
  for (int slot = 0; slot < count; ++slot) {
    auto* hook = static_cast<ThreadEndHook*>(TlsGetValue(slots[slot]));
    if (hook == nullptr) continue;
    TlsSetValue(slots[slot], nullptr);
    hook->run(hook);
  }
}

}  // namespace

// The C runtime's TLS directory lists the callbacks of the sections
// .CRT$XLA to .CRT$XLZ, in order of their names.
extern "C" {
extern const IMAGE_TLS_DIRECTORY _tls_used;
[[gnu::section(".CRT$XLK"), gnu::used]] const PIMAGE_TLS_CALLBACK knitfoldThreadEnd = OnThreadEvent;
}

ThreadEndSlot::ThreadEndSlot() {
  // The directory must be linked in for the system to make the callback.
  (void)&_tls_used;
  std::lock_guard<std::mutex> lock(makingSlot);
  const int count = slotCount.load(std::memory_order_relaxed);
  if (count == kMostSlots) return;
  const DWORD index = TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) return;
  slots[count] = index;
  slotCount.store(count + 1, std::memory_order_release);
  valid_ = true;
  key_ = index;
}

bool ThreadEndSlot::Place(ThreadEndHook* hook) { return valid_ && TlsSetValue(key_, hook) != 0; }

}  // namespace qds::platform
