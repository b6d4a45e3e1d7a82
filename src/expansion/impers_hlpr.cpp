#include "expansion/impers_hlpr.h"

#include <unordered_map>

#include "expansion/symbol_map.h"
#include "platform/identity.h"
#include "platform/path_syntax.h"

namespace qds {

ImpersHlpr::ImpersHlpr(bool enabled, const SymbolMap& table) : enabled_(enabled) {
  // A value that is not a plain number reads as 0, which is no token.
  table.LookupUnsigned(u"!IMPERSONATION_TOKEN", &token_);
  if (Applies() && !platform::ImpersonateUser(token_)) token_ = kFailedToken;
}

ImpersHlpr::~ImpersHlpr() {
  if (Applies()) platform::RevertToProcessIdentity();
}

bool IsRemotePath(const char16_t* path) {
  if (path[0] == platform::kPathSeparator && path[1] == platform::kPathSeparator) return true;
  if (path[0] == 0) return false;
  uint64_t fileSystem;
  if (!platform::QueryFileSystemId(path, &fileSystem)) return false;
  // Grows for the life of the process and is never cleared, so a file system
  // mounted anew under the same id keeps its first answer. One thread uses it.
  static std::unordered_map<uint64_t, bool> remoteByFileSystem;
  auto known = remoteByFileSystem.find(fileSystem);
  if (known != remoteByFileSystem.end()) return known->second;
  bool remote = platform::QueryDriveType(path) == platform::kDriveRemote;
  remoteByFileSystem.emplace(fileSystem, remote);
  return remote;
}

}  // namespace qds
