// Descriptor input and output on Windows: the C runtime's wide descriptor
// functions, and the system's type of a descriptor's handle.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/descriptors.h"
#include "platform/win32_support.h"

namespace qds::platform {

SystemResult OpenDescriptor(const char16_t* path, int mode, int* descriptor) {
  int flags = mode == kOpenRead ? _O_RDONLY : (_O_WRONLY | _O_CREAT | _O_TRUNC);
  *descriptor = _wopen(Wide(path), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  return *descriptor >= 0 ? SystemResult() : LastRuntimeFailure();
}

SystemResult OpenRegularFile(const char16_t* path, int* descriptor) {
  int opened = _wopen(Wide(path), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (opened < 0) return LastRuntimeFailure();
  if (!IsDiskFile(opened)) {
    _close(opened);
    return SystemFailure(EINVAL);
  }
  *descriptor = opened;
  return {};
}

SystemResult ReadDescriptor(int descriptor, void* buffer, size_t count, size_t* got) {
  int read = _read(descriptor, buffer, static_cast<unsigned>(std::min(count, kMaxTransfer)));
  if (read < 0) return LastRuntimeFailure();
  *got = static_cast<size_t>(read);
  return {};
}

SystemResult WriteDescriptor(int descriptor, const void* buffer, size_t count) {
  const char* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    int written = _write(descriptor, bytes, static_cast<unsigned>(std::min(count, kMaxTransfer)));
    if (written < 0) return LastRuntimeFailure();
    // The runtime reports a full disk as a short write.
    if (written == 0) return SystemFailure(ENOSPC);
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return {};
}

// The system writes its cache back on its own schedule, and the flush that
// follows has no form that does not wait.
void StartWriteBack(int, int64_t, int64_t) {}

bool CloseDescriptor(int descriptor) { return _close(descriptor) == 0; }

int64_t PathSize(const char16_t* path) {
  struct _stat64 status;
  if (_wstat64(Wide(path), &status) != 0) return -1;
  return status.st_size;
}

bool IsDiskFile(int descriptor) {
  intptr_t handle = _get_osfhandle(descriptor);
  return handle != -1 && GetFileType(reinterpret_cast<HANDLE>(handle)) == FILE_TYPE_DISK;
}

// Times in the system's 100-nanosecond units.
bool StampOf(int descriptor, FileStamp* stamp) {
  intptr_t handle = _get_osfhandle(descriptor);
  FILE_BASIC_INFO times;
  LARGE_INTEGER size;
  if (handle == -1 ||
      !GetFileInformationByHandleEx(reinterpret_cast<HANDLE>(handle), FileBasicInfo, &times,
                                    sizeof times) ||
      !GetFileSizeEx(reinterpret_cast<HANDLE>(handle), &size)) {
    return false;
  }
  stamp->size = size.QuadPart;
  stamp->modified = times.LastWriteTime.QuadPart;
  stamp->changed = times.ChangeTime.QuadPart;
  return true;
}

// Not mapped here: callers read the file instead. (A mapped file could not
// be shortened on Windows anyway.)
const void* MapFile(int /*descriptor*/, size_t* /*bytes*/) { return nullptr; }
void UnmapFile(const void* /*mapping*/, size_t /*bytes*/) {}
void GuardMappedFiles() {}
bool MappingCut(const void* /*mapping*/) { return false; }

}  // namespace qds::platform
