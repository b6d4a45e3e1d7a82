// Thread-end hooks on POSIX: a thread-specific data key whose destructor
// runs the hook that the thread stored under it.

#include <dlfcn.h>
#include <pthread.h>

#include <cstdint>
#include <limits>

#include "platform/thread_end.h"

namespace qds::platform {
namespace {

static_assert(std::numeric_limits<pthread_key_t>::max() <= UINT32_MAX, "a key fits 32 bits");

void RunHook(void* hook) {
  auto* placed = static_cast<ThreadEndHook*>(hook);
  placed->run(placed);
}

}  // namespace

ThreadEndSlot::ThreadEndSlot() {
  // A library that a program unloads would leave the key's destructor
  // pointing nowhere: the library that holds it stays loaded.
  Dl_info library;
  if (dladdr(reinterpret_cast<void*>(&RunHook), &library) != 0) {
    dlopen(library.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
  pthread_key_t key;
  valid_ = pthread_key_create(&key, RunHook) == 0;
  if (valid_) key_ = static_cast<uint32_t>(key);
}

bool ThreadEndSlot::Place(ThreadEndHook* hook) {
  return valid_ && pthread_setspecific(static_cast<pthread_key_t>(key_), hook) == 0;
}

}  // namespace qds::platform
