// A call made on a thread as it ends, for what the thread must hand back
// then: its share of a pool.
//
// The call comes once the thread's C++ thread_local objects are destroyed.
// On Windows it comes later still, once the storage of the thread's
// thread_local variables is gone (MinGW keeps them in memory of its own,
// which it frees before it runs their destructors), so the call must reach
// nothing through them: what it needs is in its hook. It does not come for
// the thread that ends the process, whose memory goes with it.

#ifndef KNITFOLD_PLATFORM_THREAD_END_H_
#define KNITFOLD_PLATFORM_THREAD_END_H_

#include <cstdint>

namespace qds::platform {

// Placed by a thread, it is run as run(this) when the thread ends. A hook
// is a base of what the call needs.
struct ThreadEndHook {
  void (*run)(ThreadEndHook* hook);
};

// Each thread may place a hook in a slot; a slot lives as long as the
// process, and holds one hook for each thread. A system has few slots to
// give: each kind of thing that threads hand back takes one, once.
class ThreadEndSlot {
 public:
  ThreadEndSlot();
  // Has the calling thread run `hook` when it ends, instead of the hook it
  // placed here before; false when the system gave the slot no room (it
  // has none left), and then no hook runs.
  bool Place(ThreadEndHook* hook);

 private:
  bool valid_ = false;
  uint32_t key_ = 0;
};

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_THREAD_END_H_
