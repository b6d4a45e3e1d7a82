// Poisoning: marks memory that the pools hold free as not to be touched,
// in builds with AddressSanitizer, so that the sanitizer reports a use of
// a pooled block after it was freed as it reports one of operator new's
// memory. The pools are then the same as in other builds, and the checkers
// see the allocator that ships. Without the sanitizer these do nothing.

#ifndef KNITFOLD_COMMON_POISON_H_
#define KNITFOLD_COMMON_POISON_H_

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define KNITFOLD_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KNITFOLD_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef KNITFOLD_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
// A function that reads or writes poisoned memory on purpose (the links of
// free blocks); it is never inlined into a checked one.
#define KNITFOLD_UNCHECKED_ADDRESSES __attribute__((no_sanitize_address))
#else
#define KNITFOLD_UNCHECKED_ADDRESSES
#endif

namespace qds {

#ifdef KNITFOLD_ADDRESS_SANITIZER
inline constexpr bool kCheckingAddresses = true;
inline void Poison(const void* memory, size_t bytes) { __asan_poison_memory_region(memory, bytes); }
inline void Unpoison(const void* memory, size_t bytes) {
  __asan_unpoison_memory_region(memory, bytes);
}
inline bool IsPoisoned(const void* memory) { return __asan_address_is_poisoned(memory) != 0; }
#else
inline constexpr bool kCheckingAddresses = false;
inline void Poison(const void*, size_t) {}
inline void Unpoison(const void*, size_t) {}
inline bool IsPoisoned(const void*) { return false; }
#endif

}  // namespace qds

#endif  // KNITFOLD_COMMON_POISON_H_
