// The bits of LoadFlags and SaveFlags (<qds/flags.h>) as the loader and the
// saver take them: one number, so that a caller with a number in hand (a
// command line's, a fuzzer's) passes it on as it is.

#ifndef KNITFOLD_QDSFILE_FILE_FLAGS_H_
#define KNITFOLD_QDSFILE_FILE_FLAGS_H_

#include <qds/flags.h>

#include <cstdint>

namespace qds {

inline constexpr uint32_t KeepComments = static_cast<uint32_t>(LoadFlags::KeepComments);
inline constexpr uint32_t Digest = static_cast<uint32_t>(LoadFlags::Digest);
inline constexpr uint32_t Lenient = static_cast<uint32_t>(LoadFlags::Lenient);  // loading only
inline constexpr uint32_t OmitHeader = static_cast<uint32_t>(SaveFlags::OmitHeader);  // saving only

static_assert(KeepComments == static_cast<uint32_t>(SaveFlags::KeepComments) &&
              Digest == static_cast<uint32_t>(SaveFlags::Digest));

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_FILE_FLAGS_H_
