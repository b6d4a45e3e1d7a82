// Short path names, the 8.3 form of a Windows path.

#ifndef KNITFOLD_PLATFORM_SHORT_PATH_H_
#define KNITFOLD_PLATFORM_SHORT_PATH_H_

#include <cstddef>

namespace qds::platform {

// The short form of an existing path. With `out` given and room for the
// form and its terminating zero (capacity counts the zero), writes both and
// returns the form's length; otherwise returns the size it needs, zero
// counted. 0 when the form cannot be had, for instance because the path does
// not exist. POSIX has no short names: the short form of an existing path is
// the path itself.
size_t ShortPathName(const char16_t* path, char16_t* out, size_t capacity);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_SHORT_PATH_H_
