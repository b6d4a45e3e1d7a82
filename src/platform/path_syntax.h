// The path syntax of the platform: which character separates folders, and
// whether a colon names a drive. Windows paths use "\" and drive letters;
// POSIX paths use "/", where ":" is an ordinary character and a leading "/"
// is the root.

#ifndef KNITFOLD_PLATFORM_PATH_SYNTAX_H_
#define KNITFOLD_PLATFORM_PATH_SYNTAX_H_

namespace qds::platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
inline constexpr bool kHasDriveLetters = true;
#else
inline constexpr char16_t kPathSeparator = u'/';
inline constexpr bool kHasDriveLetters = false;
#endif

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_PATH_SYNTAX_H_
