// ImpersHlpr and IsRemotePath: the file-system commands ("exists",
// "toshortpath") reach a path on another machine as the user that the host
// names, and everything else as the process.
//
// The host puts that user into the symbol "!IMPERSONATION_TOKEN" as unsigned
// decimal text (on POSIX, a user id; on Windows, an access-token handle). An
// ImpersHlpr lives on the stack of one command run, around its file-system
// query only: it takes the identity when it is created and gives it back
// when its scope ends, on every path out of the command. Nothing about it is
// reported: a missing or unusable token, a path that is not remote, or an
// identity that cannot be taken leave the query to run as the process, and
// the command's result and status never depend on it.

#ifndef KNITFOLD_EXPANSION_IMPERS_HLPR_H_
#define KNITFOLD_EXPANSION_IMPERS_HLPR_H_

#include <cstdint>

namespace qds {

class SymbolMap;

class ImpersHlpr {
 public:
  // `enabled`: the query is about a remote path (IsRemotePath), so the
  // impersonation is wanted. Reads the token from `table` and impersonates
  // when it applies.
  ImpersHlpr(bool enabled, const SymbolMap& table);
  // Ends the impersonation when one is in effect.
  ~ImpersHlpr();
  ImpersHlpr(const ImpersHlpr&) = delete;
  ImpersHlpr& operator=(const ImpersHlpr&) = delete;

 private:
  // A token whose impersonation failed, so that nothing is reverted.
  static constexpr uint32_t kFailedToken = 0xFFFFFFFF;

  bool Applies() const { return enabled_ && token_ != 0 && token_ != kFailedToken; }

  uint32_t enabled_;
  uint32_t token_ = 0;  // 0: none
};

// True when `path` lies on another machine: it starts with two folder
// separators ("//"; on Windows "\\"), or the file system that holds it
// is a network file system: on POSIX that of the path or its nearest
// existing parent, on Windows the drive of its drive letter (a path without
// one is not remote). The answer for each file system is asked once and
// remembered for the life of the process. The empty path is not remote.
bool IsRemotePath(const char16_t* path);

}  // namespace qds

#endif  // KNITFOLD_EXPANSION_IMPERS_HLPR_H_
