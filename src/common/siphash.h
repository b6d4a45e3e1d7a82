// SipHash (Aumasson and Bernstein, "SipHash: a fast short-input PRF", 2012):
// a hash keyed by 128 secret bits. Whoever does not know the key cannot
// choose inputs whose hashes collide, or land near each other, more often
// than chance: a hash table keyed by a secret drawn per process stays fast
// whatever names an input file brings.
//
// SipHash13 is the variant of one compression round per word and three
// finalization rounds, which hash tables commonly use: it is about twice as
// fast on short inputs as SipHash-2-4, the pseudorandom function of the
// paper, and no attack on its use as a table hash is known. The rounds are
// parameters so that the tests can check the code against the paper's
// SipHash-2-4 vectors as well.
//
// The input goes in as 64-bit words, each taking eight bytes of the input in
// little-endian order as the reference reads them, so that a caller may
// transform its text (fold its letters) word by word as it goes.

#ifndef KNITFOLD_COMMON_SIPHASH_H_
#define KNITFOLD_COMMON_SIPHASH_H_

#include <bit>
#include <cstddef>
#include <cstdint>

namespace qds {

// The secret: the reference's key bytes 0-7 and 8-15, little-endian.
struct SipKey {
  uint64_t k0 = 0;
  uint64_t k1 = 0;
};

template <int kCompressionRounds, int kFinalRounds>
class SipHash {
 public:
  explicit SipHash(SipKey key)
      : v0_(key.k0 ^ 0x736F6D6570736575u),
        v1_(key.k1 ^ 0x646F72616E646F6Du),
        v2_(key.k0 ^ 0x6C7967656E657261u),
        v3_(key.k1 ^ 0x7465646279746573u) {}

  // Takes the next eight bytes of the input.
  void Add(uint64_t word) {
    v3_ ^= word;
    for (int i = 0; i < kCompressionRounds; ++i) Round();
    v0_ ^= word;
  }

  // The hash of an input of `size` bytes, whose whole words went to Add and
  // whose last size % 8 bytes are `tail`, low bytes first (zero above).
  uint64_t Finish(uint64_t tail, size_t size) {
    Add(tail | uint64_t{size} << 56);
    v2_ ^= 0xFF;
    for (int i = 0; i < kFinalRounds; ++i) Round();
    return v0_ ^ v1_ ^ v2_ ^ v3_;
  }

 private:
  void Round() {
    v0_ += v1_;
    v1_ = std::rotl(v1_, 13) ^ v0_;
    v0_ = std::rotl(v0_, 32);
    v2_ += v3_;
    v3_ = std::rotl(v3_, 16) ^ v2_;
    v0_ += v3_;
    v3_ = std::rotl(v3_, 21) ^ v0_;
    v2_ += v1_;
    v1_ = std::rotl(v1_, 17) ^ v2_;
    v2_ = std::rotl(v2_, 32);
  }

  uint64_t v0_, v1_, v2_, v3_;
};

using SipHash13 = SipHash<1, 3>;

}  // namespace qds

#endif  // KNITFOLD_COMMON_SIPHASH_H_
