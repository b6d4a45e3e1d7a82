// ThreadParts<Part>: each thread's own Part of something that threads
// share, such as the free lists of a pool, made when the thread first asks
// for it and handed back when the thread ends.
//
// A part lies on the heap, not in thread-local storage, so that it is still
// there when the system's thread-end call comes (platform/thread_end.h);
// only the pointer to it is thread-local. When the thread ends,
// Part::End(part) hands back what the part holds, and the part is deleted.
// Where the system has no thread-end slot left, a part stays with its
// thread when it ends.

#ifndef KNITFOLD_MODEL_THREAD_PARTS_H_
#define KNITFOLD_MODEL_THREAD_PARTS_H_

#include "platform/thread_end.h"

namespace qds {

template <typename Part>
class ThreadParts {
 public:
  // The calling thread's part; making it may throw std::bad_alloc.
  static Part& Mine() {
    Hooked* mine = mine_;
    if (mine == nullptr) [[unlikely]]
      mine = Join();
    return mine->part;
  }

 private:
  struct Hooked : platform::ThreadEndHook {
    Part part;
  };

  [[gnu::noinline]] static Hooked* Join() {
    static platform::ThreadEndSlot slot;
    auto* hooked = new Hooked{{End}, {}};
    slot.Place(hooked);
    return mine_ = hooked;
  }

  static void End(platform::ThreadEndHook* hook) {
    auto* hooked = static_cast<Hooked*>(hook);
    Part::End(hooked->part);
    delete hooked;
  }

  static inline thread_local Hooked* mine_ = nullptr;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_THREAD_PARTS_H_
