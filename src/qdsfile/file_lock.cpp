#include "qdsfile/file_lock.h"

#include <cerrno>
#include <utility>

#include "platform/errors.h"
#include "qdsfile/qds_format.h"

namespace qds {

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, platform::kInvalidHandle)),
      target_(std::move(other.target_)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, platform::kInvalidHandle);
    target_ = std::move(other.target_);
  }
  return *this;
}

platform::LockResult FileLock::Acquire(const char16_t* target) {
  Release();
  std::u16string lockName(target);
  lockName.append(format::kLockSuffix);
  platform::LockResult taken =
      platform::AcquireFileLock(lockName.c_str(), kWaitMilliseconds, &handle_);
  if (taken) target_ = target;
  return taken;
}

bool FileLock::Guards(const char16_t* target) const {
  return handle_ != platform::kInvalidHandle && target_ == target;
}

void FileLock::Release() {
  platform::ReleaseFileLock(std::exchange(handle_, platform::kInvalidHandle));
  target_.clear();
}

int LockRefusalNumber(platform::LockResult refusal) {
  switch (refusal.Code()) {
    case platform::LockFailure::None:
      return 0;
    case platform::LockFailure::Held:
      return 36;
    case platform::LockFailure::Denied:
      return 3;
    case platform::LockFailure::NoFolder:
      return 2;
    case platform::LockFailure::Other:
      break;
  }
  return 1;
}

int LockRefusalCode(platform::LockResult refusal, bool* fromRuntime) {
  *fromRuntime = refusal == platform::LockFailure::NoFolder;
  if (*fromRuntime) return ENOENT;
  if (refusal == platform::LockFailure::Held) return 0;
  return static_cast<int>(refusal.SystemCode());
}

}  // namespace qds
