// The Windows implementation of replace.h, on kernel32's copy and
// delete services. A name that the program picks is looked at with
// FILE_FLAG_OPEN_REPARSE_POINT, so that a link or junction there is seen
// rather than followed, and the file there is deleted before a new one is
// created in its place.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/replace.h"
#include "platform/win32_support.h"

namespace qds::platform {

namespace {

// What the entry at `path` itself is, a link or junction there not
// followed; false, with the system's code, when nothing can be opened there.
bool QueryEntry(const char16_t* path, BY_HANDLE_FILE_INFORMATION* information) {
  HANDLE entry = CreateFileW(
      Wide(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (entry == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(entry, information) != 0;
  DWORD error = GetLastError();
  CloseHandle(entry);
  SetLastError(error);
  return known;
}

CreatedFile IdentityOf(const BY_HANDLE_FILE_INFORMATION& information) {
  return {information.dwVolumeSerialNumber,
          (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// Makes way for a new file at a name the program picked: nothing there is
// fine, and so is a plain file of one link, which is deleted. A link or
// other reparse point, a file of several links and a folder are refused.
bool ClearPickedName(const char16_t* path) {
  BY_HANDLE_FILE_INFORMATION information;
  // Nothing to be seen: the creation that follows tells why, if it fails.
  if (!QueryEntry(path, &information)) return true;
  DWORD refusal = 0;
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    refusal = kErrorLinkRefused;
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    refusal = ERROR_ACCESS_DENIED;  // as writing to it would be
  } else if (information.nNumberOfLinks > 1) {
    refusal = ERROR_TOO_MANY_LINKS;
  }
  if (refusal != 0) {
    SetLastError(refusal);
    return false;
  }
  return DeleteFileW(Wide(path)) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

// True when the folder of `path` is a reparse point (a junction or link).
bool FolderIsReparsePoint(const char16_t* path) {
  std::u16string_view name(path);
  size_t separator = name.find_last_of(u"\\/");
  if (separator == std::u16string_view::npos) return false;
  std::u16string folder(name.substr(0, separator));
  DWORD attributes = GetFileAttributesW(Wide(folder.c_str()));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The runtime error number for a system code of a failed creation.
int RuntimeError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EINVAL;
  }
}

}  // namespace

SystemResult CopyFileTo(const char16_t* from, const char16_t* to, bool failIfExists) {
  return SystemCallResult(CopyFileW(Wide(from), Wide(to), failIfExists) != 0);
}

// A rename would not keep what a copy keeps of a read-only or hidden `to`.
SystemResult MoveFileOver(const char16_t* from, const char16_t* to, const CreatedFile* created) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!QueryEntry(from, &information)) return LastSystemFailure();
  CreatedFile identity = IdentityOf(information);
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return SystemFailure(kErrorLinkRefused);
  }
  if (created != nullptr && !(identity == *created)) return SystemFailure(kErrorNotOwnFile);
  if (SystemResult copied = CopyFileTo(from, to, false); !copied) return copied;
  return RemoveCreatedFile(from, identity);
}

namespace {

// True when `path` opens as something other than a file on a disk (a
// device, a pipe); what cannot be opened is left to the copy to report.
bool IsOtherThanDiskFile(const char16_t* path) {
  HANDLE file = CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool other = GetFileType(file) != FILE_TYPE_DISK;
  CloseHandle(file);
  return other;
}

}  // namespace

// The new copy takes the attributes of `from`, as CopyFileW gives them:
// Windows has no permission bits to choose.
SystemResult CreateCopy(const char16_t* from, const char16_t* to, NewCopyBits, NewCopyFolder folder,
                        CreatedFile* made) {
  if (folder == NewCopyFolder::NeverLink && FolderIsReparsePoint(to)) {
    return SystemFailure(kErrorLinkRefused);
  }
  if (IsOtherThanDiskFile(from)) return SystemFailure(kErrorNotRegularFile);
  BY_HANDLE_FILE_INFORMATION information;
  if (!ClearPickedName(to) || !CopyFileW(Wide(from), Wide(to), TRUE) ||
      !QueryEntry(to, &information)) {
    return LastSystemFailure();
  }
  if (made != nullptr) *made = IdentityOf(information);
  return {};
}

SystemResult CreateNewFile(const char16_t* path, CreatedFile* made, int* descriptor) {
  HANDLE file = INVALID_HANDLE_VALUE;
  if (ClearPickedName(path)) {
    file = CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &information)) {
    SystemResult failure = SystemFailure(static_cast<uint32_t>(RuntimeError(GetLastError())));
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return failure;
  }
  int opened = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (opened < 0) {
    SystemResult failure = LastRuntimeFailure();
    CloseHandle(file);
    return failure;
  }
  *made = IdentityOf(information);
  *descriptor = opened;
  return {};
}

SystemResult RemoveCreatedFile(const char16_t* path, const CreatedFile& created) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!QueryEntry(path, &information)) return LastSystemFailure();
  if (!(IdentityOf(information) == created)) return SystemFailure(kErrorNotOwnFile);
  return SystemCallResult(DeleteFileW(Wide(path)) != 0);
}

}  // namespace qds::platform
