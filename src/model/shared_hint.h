// SharedHint: a pair of words that several threads may load and store at
// once, each load giving a pair that one store stored whole.
//
// A document's caches of where a read last was (a list's position cursor,
// the key of a section's entry found last) are such pairs: const reads move
// them, and threads may share the const reads of one document. What any
// thread stores is true of the document, which does not change while it is
// read, so a pair that another thread stored is as good a hint as one's own.
//
// Two 32-bit words (node references in the builds that pool nodes) are one
// atomic word, loaded and stored relaxed: no lock, no fence. Wider pairs,
// in the builds whose references are addresses, take a spin lock around
// the copy.

#ifndef KNITFOLD_MODEL_SHARED_HINT_H_
#define KNITFOLD_MODEL_SHARED_HINT_H_

#include <atomic>
#include <cstdint>
#include <utility>

namespace qds {

template <typename First, typename Second,
          bool kOneWord = sizeof(First) == 4 && sizeof(Second) == 4>
class SharedHint;

template <typename First, typename Second>
class SharedHint<First, Second, true> {
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

template <typename First, typename Second>
class SharedHint<First, Second, false> {
 public:
  std::pair<First, Second> Load() const {
    Lock();
    std::pair<First, Second> pair = pair_;
    busy_.clear(std::memory_order_release);
    return pair;
  }
  void Store(First first, Second second) {
    Lock();
    pair_ = {first, second};
    busy_.clear(std::memory_order_release);
  }

 private:
  void Lock() const {
    while (busy_.test_and_set(std::memory_order_acquire)) {
    }
  }

  mutable std::atomic_flag busy_;
  std::pair<First, Second> pair_{};
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_SHARED_HINT_H_
