// The POSIX thread identity and drive-type services (Linux). Impersonation
// changes the thread's file-system user and group, which Linux keeps per
// thread. The drive type comes from the file-system type of the nearest
// existing object along the path.

#include <fcntl.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/utf8.h"
#include "platform/identity.h"

namespace qds::platform {

namespace {

// Lookups need no read permission on what they open.
constexpr int kLookupFlags = O_PATH | O_CLOEXEC;

// A descriptor that closes itself.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Reset(-1); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// Opens the deepest existing object along `path`, one component at a time
// from the root or the current folder, so that a long missing tail costs one
// failed lookup rather than one query per parent. -1 when not even the
// starting folder opens.
int OpenNearestExisting(const char16_t* path) {
  std::string native = EncodeUtf8(std::u16string_view(path));
  Descriptor current(open(native.starts_with('/') ? "/" : ".", kLookupFlags));
  if (current.get() < 0) return -1;
  size_t begin = 0;
  while (begin < native.size()) {
    size_t end = native.find('/', begin);
    if (end == std::string::npos) end = native.size();
    if (end > begin) {
      int next = openat(current.get(), native.substr(begin, end - begin).c_str(), kLookupFlags);
      if (next < 0) break;
      current.Reset(next);
    }
    begin = end + 1;
  }
  return current.Release();
}

// The magic numbers that statfs reports for network file systems.
constexpr unsigned long kNetworkFileSystems[] = {
    0x6969,      // NFS
    0x517B,      // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x564C,      // NCP
    0x5346414F,  // AFS
    0x6B414653,  // kAFS
    0x73757245,  // Coda
    0x01021997,  // 9P
    0x00C36400,  // Ceph
    0x0BD00BD0,  // Lustre
};

bool PrimaryGroup(uint32_t user, gid_t* group) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return false;
  *group = found->pw_gid;
  return true;
}

}  // namespace

// setfsuid and setfsgid report the previous identity, not success: asking
// for the invalid id -1 afterwards reads back the identity now in effect.
bool ImpersonateUser(uint32_t user) {
  gid_t group;
  if (!PrimaryGroup(user, &group)) return false;
  int previousGroup = setfsgid(group);
  if (setfsgid(static_cast<gid_t>(-1)) != static_cast<int>(group)) {
    setfsgid(static_cast<gid_t>(previousGroup));
    return false;
  }
  int previousUser = setfsuid(user);
  if (setfsuid(static_cast<uid_t>(-1)) != static_cast<int>(user)) {
    setfsuid(static_cast<uid_t>(previousUser));
    setfsgid(static_cast<gid_t>(previousGroup));
    return false;
  }
  return true;
}

void RevertToProcessIdentity() {
  setfsuid(geteuid());
  setfsgid(getegid());
}

bool QueryFileSystemId(const char16_t* path, uint64_t* id) {
  Descriptor fd(OpenNearestExisting(path));
  struct stat status;
  if (fd.get() < 0 || fstat(fd.get(), &status) != 0) return false;
  *id = static_cast<uint64_t>(status.st_dev);
  return true;
}

uint32_t QueryDriveType(const char16_t* path) {
  Descriptor fd(OpenNearestExisting(path));
  struct statfs info;
  if (fd.get() < 0 || fstatfs(fd.get(), &info) != 0) return kDriveUnknown;
  auto type = static_cast<unsigned long>(info.f_type) & 0xFFFFFFFFUL;
  for (unsigned long network : kNetworkFileSystems) {
    if (type == network) return kDriveRemote;
  }
  return kDriveFixed;
}

}  // namespace qds::platform
