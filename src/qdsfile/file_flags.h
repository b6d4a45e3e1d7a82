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
inline constexpr uint32_t DeclaredCodePage =
    static_cast<uint32_t>(LoadFlags::DeclaredCodePage);  // loading only
inline constexpr uint32_t KeepLayout = static_cast<uint32_t>(LoadFlags::KeepLayout);
inline constexpr uint32_t OmitHeader = static_cast<uint32_t>(SaveFlags::OmitHeader);  // saving only
// Loading only, and not one of LoadFlags: a UTF-16 file is mapped instead
// of read, where the system can map it, and stays mapped while the document
// lives. The caller vouches that nothing changes the file meanwhile (the
// document's texts would change with it, or the process stop if it were
// shortened); a file that replaces it under its name is harmless.
inline constexpr uint32_t MapInput = 0x20;
// Loading only, and not one of LoadFlags: the document is only read in
// order, never searched by name (as the compat document of a merge is), so
// the index of each section's keys, which the load needs to gather each
// key's values, is let go once the section is loaded.
inline constexpr uint32_t ReadInOrder = 0x40;

static_assert(KeepComments == static_cast<uint32_t>(SaveFlags::KeepComments) &&
              Digest == static_cast<uint32_t>(SaveFlags::Digest) &&
              KeepLayout == static_cast<uint32_t>(SaveFlags::KeepLayout));
static_assert(((MapInput | ReadInOrder) &
               (KeepComments | Digest | Lenient | DeclaredCodePage | KeepLayout)) == 0);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_FILE_FLAGS_H_
