// Random bytes from the system's generator, the one the system seeds for
// keys: fit for what others must not guess, such as the names of hidden
// files and the key of the name index's hash.

#ifndef KNITFOLD_PLATFORM_RANDOM_H_
#define KNITFOLD_PLATFORM_RANDOM_H_

#include <cstddef>

#include "platform/errors.h"

namespace qds::platform {

// Fills the `size` bytes at `bytes` (at most 256) with random bytes; a
// failure, with its system code, when the system gives none.
SystemResult FillRandom(void* bytes, size_t size);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_RANDOM_H_
