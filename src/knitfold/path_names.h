// The parts of a path name that the tool needs: where the extension and
// where the file-name part begin. Both walk the path with the platform's
// character step and follow the platform's path syntax.

#ifndef KNITFOLD_KNITFOLD_PATH_NAMES_H_
#define KNITFOLD_KNITFOLD_PATH_NAMES_H_

namespace qds {

// The position of the dot that opens the extension, or of the terminating
// zero when the path has none. A dot is forgotten again at a folder
// separator and at a space, so "in.dir/extra" and "extra.qds old" have none.
const char16_t* FindExtension(const char16_t* path);

// The position where the file-name part begins: just after the last folder
// separator (or, with drive letters, colon) that is followed by something
// other than a separator and the end; the start of the path when none is.
const char16_t* FindFileName(const char16_t* path);

}  // namespace qds

#endif  // KNITFOLD_KNITFOLD_PATH_NAMES_H_
