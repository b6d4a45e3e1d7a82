// FileLock: a writer's hold on the lock that guards one file while it is
// changed (platform/file_lock.h). The lock file is the file's name with
// ".lock" appended; whoever reads a file to change it takes the lock before
// the read and lets it go once the new text is in place, so that two
// writers of one file run one after the other and neither loses the
// other's change. A writer waits for the lock up to kWaitMilliseconds.

#ifndef KNITFOLD_QDSFILE_FILE_LOCK_H_
#define KNITFOLD_QDSFILE_FILE_LOCK_H_

#include <cstdint>
#include <string>

#include "platform/file_lock.h"

namespace qds {

class FileLock {
 public:
  static constexpr uint32_t kWaitMilliseconds = 5000;

  FileLock() = default;
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }

  // Lets go of any lock held and takes the lock of `target`. A failure
  // says why not, with its system code.
  platform::LockResult Acquire(const char16_t* target);
  // Whether this holds the lock of the file named `target`, by that name.
  bool Guards(const char16_t* target) const;
  void Release();

 private:
  platform::FileHandle handle_ = platform::kInvalidHandle;
  std::u16string target_;
};

// The number, alike in LoadStatus and SaveStatus, of a failure to take a
// lock: 36 (Busy) when another run kept it, 3 when the lock file may not be
// made, 2 when its folder is missing, otherwise 1.
int LockRefusalNumber(platform::LockResult refusal);
// The error behind a failure to take a lock, for the status's system words;
// 0 when another run kept it. A missing folder is the C runtime's ENOENT
// (*fromRuntime), as a failed creation of the file itself tells it on every
// system; any other failure is the refusal's system code.
int LockRefusalCode(platform::LockResult refusal, bool* fromRuntime);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_FILE_LOCK_H_
