// The file lock on Windows: LockFileEx on a lock file opened without
// following a reparse point at its name. LockFileEx needs a handle with
// read or write access: whoever the folder's permissions let open the lock
// file may hold it.

#include <windows.h>

#include "platform/errors.h"
#include "platform/file_lock.h"
#include "platform/win32_support.h"

namespace qds::platform {

namespace {

constexpr DWORD kPollMilliseconds = 20;

HANDLE OpenLockFile(const char16_t* path) {
  HANDLE file =
      CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION information;
  DWORD refusal = 0;
  if (!GetFileInformationByHandle(file, &information)) {
    refusal = GetLastError();
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    refusal = kErrorLinkRefused;
  } else if (GetFileType(file) != FILE_TYPE_DISK) {
    refusal = kErrorNotRegularFile;
  } else if (information.nNumberOfLinks > 1) {
    refusal = kErrorSeveralLinks;
  }
  if (refusal == 0) return file;
  CloseHandle(file);
  SetLastError(refusal);
  return INVALID_HANDLE_VALUE;
}

LockFailure FailureOf(DWORD error) {
  switch (error) {
    case ERROR_LOCK_VIOLATION:
      return LockFailure::Held;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return LockFailure::Denied;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
      return LockFailure::NoFolder;
    default:
      return LockFailure::Other;
  }
}

LockResult Refusal(DWORD error) { return {FailureOf(error), error}; }

}  // namespace

LockResult AcquireFileLock(const char16_t* path, uint32_t waitMilliseconds, FileHandle* lock) {
  HANDLE file = OpenLockFile(path);
  if (file == INVALID_HANDLE_VALUE) return Refusal(GetLastError());
  const ULONGLONG deadline = GetTickCount64() + waitMilliseconds;
  for (;;) {
    OVERLAPPED start = {};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
      *lock = reinterpret_cast<FileHandle>(file);
      return {};
    }
    DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) {
      CloseHandle(file);
      return Refusal(error);
    }
    Sleep(kPollMilliseconds);
  }
}

void ReleaseFileLock(FileHandle lock) {
  // Closing the handle lets its locks go.
  if (lock != kInvalidHandle) CloseHandle(reinterpret_cast<HANDLE>(lock));
}

}  // namespace qds::platform
