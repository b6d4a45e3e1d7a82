// Files and directories on Windows, on the kernel32 services.

#include <sys/stat.h>
#include <windows.h>

#include "platform/files.h"
#include "platform/win32_support.h"

namespace qds::platform {

namespace {

// A handle that asks for no access, so that any file (a folder too, through
// the backup semantics) can be asked about, whoever holds it open.
bool QueryIdentity(const char16_t* path, BY_HANDLE_FILE_INFORMATION* information) {
  HANDLE handle = CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(handle, information) != 0;
  CloseHandle(handle);
  return known;
}

}  // namespace

SystemResult QueryAttributes(const char16_t* path, uint32_t* attributes) {
  DWORD found = GetFileAttributesW(Wide(path));
  if (found == INVALID_FILE_ATTRIBUTES) return LastSystemFailure();
  *attributes = found;
  return {};
}

SystemResult ResetAttributes(const char16_t* path) {
  return SystemCallResult(SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_NORMAL) != 0);
}

SystemResult FindEntry(const char16_t* path, uint32_t* attributes) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(Wide(path), &entry);
  if (search == INVALID_HANDLE_VALUE) return LastSystemFailure();
  FindClose(search);
  *attributes = entry.dwFileAttributes;
  return {};
}

SystemResult MakeDirectory(const char16_t* path) {
  return SystemCallResult(CreateDirectoryW(Wide(path), nullptr) != 0);
}

SystemResult RemoveFile(const char16_t* path) {
  return SystemCallResult(DeleteFileW(Wide(path)) != 0);
}

bool SameFile(const char16_t* a, const char16_t* b) {
  BY_HANDLE_FILE_INFORMATION first;
  BY_HANDLE_FILE_INFORMATION second;
  return QueryIdentity(a, &first) && QueryIdentity(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

std::optional<uint64_t> RegularFileSize(const char16_t* path) {
  struct _stat64 status;
  if (_wstat64(Wide(path), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(status.st_size);
}

bool IsReadOnlyFile(const char16_t* path) {
  DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace qds::platform
