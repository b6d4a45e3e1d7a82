// Names that all share one hash under the name index's former hash, a fixed
// multiply-and-rotate over words of four UTF-16 units, and names of the same
// shape drawn at random, to set against them. Anyone could make the former
// from that hash alone: each search among such names compares against every
// one before it, and a load of n of them costs n^2. Under a hash keyed by a
// secret they should cost what random names cost.

#ifndef KNITFOLD_BENCH_COLLIDING_NAMES_H_
#define KNITFOLD_BENCH_COLLIDING_NAMES_H_

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

enum NameKind : int { kColliding = 0, kRandom = 1 };

// `count` distinct names of eight units, the first `skip` of that kind left
// out: four lowercase ASCII letters or digits that number the name, then
// four units outside ASCII, below the surrogates and neither white space nor
// format characters, so that any QDS file takes them as they are.
std::vector<std::u16string> MakeNames(NameKind kind, size_t skip, size_t count);

}  // namespace bench

#endif  // KNITFOLD_BENCH_COLLIDING_NAMES_H_
