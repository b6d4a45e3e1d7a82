// SharedHint: a pair of words that several threads may load and store at
// once, each load giving a pair that one store stored whole.
//
// A document's caches of where a read last was (a list's position cursor,
// the key of a section's entry found last) are such pairs: const reads move
// them, and threads may share the const reads of one document. What any
// thread stores is true of the document, which does not change while it is
// read, so a pair that another thread stored is as good a hint as one's own.
//
// The two 32-bit words (node references, positions) are one atomic word,
// loaded and stored relaxed: no lock, no fence.

#ifndef KNITFOLD_MODEL_SHARED_HINT_H_
#define KNITFOLD_MODEL_SHARED_HINT_H_

#include <atomic>
#include <cstdint>
#include <utility>

namespace qds {

template <typename First, typename Second>
class SharedHint {
  static_assert(sizeof(First) == 4 && sizeof(Second) == 4, "a hint is two 32-bit words");

 public:
  std::pair<First, Second> Load() const {
    const uint64_t word = word_.load(std::memory_order_relaxed);
    return {static_cast<First>(word), static_cast<Second>(word >> 32)};
  }
  void Store(First first, Second second) {
    word_.store(
        uint64_t{static_cast<uint32_t>(first)} | uint64_t{static_cast<uint32_t>(second)} << 32,
        std::memory_order_relaxed);
  }

 private:
  std::atomic<uint64_t> word_{0};
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_SHARED_HINT_H_
