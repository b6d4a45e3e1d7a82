// Prefetch: asks the processor to bring a line of memory into its caches
// ahead of use. Walks of linked nodes call it one node ahead, so that the
// wait for the next node overlaps the work on the current one.

#ifndef KNITFOLD_COMMON_PREFETCH_H_
#define KNITFOLD_COMMON_PREFETCH_H_

namespace qds {

// A hint only: any address may be given, a null one included.
inline void Prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

}  // namespace qds

#endif  // KNITFOLD_COMMON_PREFETCH_H_
