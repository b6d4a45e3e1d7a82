// The path syntax of the platform: which character separates folders,
// whether a colon names a drive, and whether names that differ only in the
// case of their letters are one. Windows paths use "\" and drive letters,
// and its file systems compare names without regard to case; POSIX paths use
// "/", where ":" is an ordinary character and a leading "/" is the root, and
// two names are one only as the file system resolves them.

#ifndef KNITFOLD_PLATFORM_PATH_SYNTAX_H_
#define KNITFOLD_PLATFORM_PATH_SYNTAX_H_

namespace qds::platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
inline constexpr bool kHasDriveLetters = true;
inline constexpr bool kNamesIgnoreCase = true;
#else
inline constexpr char16_t kPathSeparator = u'/';
inline constexpr bool kHasDriveLetters = false;
inline constexpr bool kNamesIgnoreCase = false;
#endif

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_PATH_SYNTAX_H_
