// The exclusive log on Windows: a file opened without sharing, held until
// the process ends.

#include <windows.h>

#include "platform/errors.h"
#include "platform/exclusive_log.h"
#include "platform/win32_support.h"

namespace qds::platform {

namespace {

HANDLE AsHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

// Opened rather than created afresh, so that a link or junction at the name
// is seen instead of followed, and truncated only once it is known to be a
// plain file that this process holds alone.
SystemResult CreateExclusiveLog(const char16_t* path, FileHandle* held) {
  HANDLE log = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (log == INVALID_HANDLE_VALUE) return LastSystemFailure();
  BY_HANDLE_FILE_INFORMATION information;
  DWORD refusal = 0;
  if (!GetFileInformationByHandle(log, &information)) {
    refusal = GetLastError();
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    refusal = kErrorLinkRefused;
  } else if (GetFileType(log) != FILE_TYPE_DISK) {
    refusal = kErrorNotRegularFile;
  } else if (information.nNumberOfLinks > 1) {
    refusal = kErrorSeveralLinks;
  } else if (!SetEndOfFile(log)) {
    refusal = GetLastError();
  }
  if (refusal != 0) {
    CloseHandle(log);
    return SystemFailure(refusal);
  }
  *held = reinterpret_cast<FileHandle>(log);
  return {};
}

bool WriteLog(FileHandle log, const void* bytes, size_t size) {
  return log != kInvalidHandle && WriteAllToHandle(AsHandle(log), bytes, size);
}

}  // namespace qds::platform
