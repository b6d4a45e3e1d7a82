// The identity through which a thread reaches the file system, and the kind
// of file system that holds a path: the services of the file-system commands
// of the expansion language.

#ifndef KNITFOLD_PLATFORM_IDENTITY_H_
#define KNITFOLD_PLATFORM_IDENTITY_H_

#include <cstdint>

namespace qds::platform {

// Makes the calling thread reach the file system as the user with id `user`
// and that user's primary group, as an impersonation does; other threads
// keep their identity. False, with nothing changed, when the user is unknown
// or the process may not take that identity (it lacks the privilege, or the
// system cannot change one thread's file-system identity). On POSIX the
// process's supplementary groups still apply. On Windows `user` is the
// handle of an access token, which the thread impersonates.
bool ImpersonateUser(uint32_t user);
// The calling thread reaches the file system as the process again.
void RevertToProcessIdentity();

// Drive types, as a drive-type query answers.
inline constexpr uint32_t kDriveUnknown = 0;  // nothing along the path can be reached
inline constexpr uint32_t kDriveFixed = 3;    // a local file system
inline constexpr uint32_t kDriveRemote = 4;   // a network file system

// The file system that holds `path` is that of the path itself when it
// exists, else that of its nearest existing parent folder; a relative path
// is taken from the current folder. Both queries cost one lookup per path
// component. On Windows the file system is the drive of the path's drive
// letter (its identity: the letter's bit, A = 0), which a path without a
// drive letter does not have; its type is that of the drive, the share of a
// \\server\share path, or the current drive.
// Its identity (stable while the file system is mounted); false when nothing
// along the path can be reached.
bool QueryFileSystemId(const char16_t* path, uint64_t* id);
// Its type: kDriveRemote for a network file system (NFS, SMB/CIFS, AFS, ...).
uint32_t QueryDriveType(const char16_t* path);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_IDENTITY_H_
