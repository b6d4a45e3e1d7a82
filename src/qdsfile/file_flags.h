// The loader's own flags, which a library user does not give: they say how
// a file is read, beside the LoadFlags (<qds/flags.h>) that say what is read.

#ifndef KNITFOLD_QDSFILE_FILE_FLAGS_H_
#define KNITFOLD_QDSFILE_FILE_FLAGS_H_

#include <qds/flags.h>

#include <cstdint>

namespace qds {

enum class InputFlags : uint32_t {
  None = 0,
  // A UTF-16 file is mapped instead of read, where the system can map it,
  // and stays mapped while the document lives. The caller vouches that
  // nothing changes the file meanwhile (the document's texts would change
  // with it, or the process stop if it were shortened); a file that
  // replaces it under its name is harmless.
  MapInput = 0x20,
  // The document is only read in order, never searched by name (as the
  // compat document of a merge is), so the index of each section's keys,
  // which the load needs to gather each key's values, is let go once the
  // section is loaded.
  ReadInOrder = 0x40,
};

template <>
inline constexpr bool kIsFlagSet<InputFlags> = true;

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_FILE_FLAGS_H_
