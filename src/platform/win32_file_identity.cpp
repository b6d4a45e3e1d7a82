// Which file a name leads to, on Windows: the volume serial number and file
// index of a handle opened with no access rights, and the kind of file that
// the runtime's status query and the handle's type report.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "platform/file_identity.h"
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

bool SameFile(const char16_t* a, const char16_t* b) {
  BY_HANDLE_FILE_INFORMATION first;
  BY_HANDLE_FILE_INFORMATION second;
  return QueryIdentity(a, &first) && QueryIdentity(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool IsRegularFile(const char16_t* path) {
  struct _stat64 status;
  return _wstat64(Wide(path), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
}

int OpenRegularFile(const char16_t* path, int* error) {
  int descriptor = _wopen(Wide(path), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (descriptor < 0) {
    *error = errno;
    return -1;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    *error = EINVAL;
    _close(descriptor);
    return -1;
  }
  return descriptor;
}

}  // namespace qds::platform
