// The Windows implementation of the platform layer: errors, log, console,
// files, directories and descriptor I/O, on the kernel32 services and the C
// runtime's wide descriptor functions. The services that put files in place
// are in win32_file_replacement.cpp.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>

#include "common/text.h"
#include "common/utf8.h"
#include "platform/replace.h"
#include "platform/platform.h"
#include "platform/win32_support.h"

namespace qds::platform {

namespace {

// The range of the WinINet error codes, whose texts live in that module.
constexpr uint32_t kInternetErrorFirst = 12000;
constexpr uint32_t kInternetErrorLast = 12174;

// The most that one WriteFile or _read call moves.
constexpr size_t kMaxTransfer = INT_MAX;

HANDLE AsHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

bool WriteAllToHandle(HANDLE handle, const void* bytes, size_t size) {
  const char* next = static_cast<const char*>(bytes);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min(size, kMaxTransfer));
    DWORD written = 0;
    if (!WriteFile(handle, next, chunk, &written, nullptr) || written == 0) return false;
    next += written;
    size -= written;
  }
  return true;
}

}  // namespace

// ---- Last error ----------------------------------------------------------

const uint32_t kErrorAlreadyExists = ERROR_ALREADY_EXISTS;
const uint32_t kErrorFileExists = ERROR_FILE_EXISTS;
const uint32_t kErrorNameTooLong = ERROR_FILENAME_EXCED_RANGE;
const uint32_t kErrorNotRegularFile = ERROR_BAD_FILE_TYPE;
const uint32_t kErrorSeveralLinks = ERROR_TOO_MANY_LINKS;

uint32_t LastErrorCode() { return GetLastError(); }
void SetLastErrorCode(uint32_t code) { SetLastError(code); }

// Inserts ("%1") are left as the text writes them: there is no argument list
// to fill them from, and reading one that is not there would be undefined.
bool ErrorText(uint32_t code, CountedString* text) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE source = nullptr;
  if (code >= kInternetErrorFirst && code <= kInternetErrorLast) {
    // Only asked when already loaded: this program never loads WinINet.
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
    source = GetModuleHandleW(L"WININET");
  } else {
    flags |= FORMAT_MESSAGE_FROM_SYSTEM;
  }
  wchar_t* message = nullptr;
  DWORD length =
      FormatMessageW(flags, source, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  if (length == 0 || message == nullptr) return false;
  std::u16string copy(message, message + length);
  LocalFree(message);
  text->Assign(copy);
  return true;
}

// ---- Console and log --------------------------------------------------------

// Opened rather than created afresh, so that a link or junction at the name
// is seen instead of followed, and truncated only once it is known to be a
// plain file that this process holds alone.
FileHandle CreateExclusiveLog(const char16_t* path) {
  HANDLE log = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (log == INVALID_HANDLE_VALUE) return kInvalidHandle;
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
    SetLastError(refusal);
    return kInvalidHandle;
  }
  return reinterpret_cast<FileHandle>(log);
}

bool WriteLog(FileHandle log, const void* bytes, size_t size) {
  return log != kInvalidHandle && WriteAllToHandle(AsHandle(log), bytes, size);
}

// A console shows UTF-16 text as it is; a pipe or a file gets UTF-8, as on
// every other platform.
void WriteStandardError(std::u16string_view text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  DWORD mode;
  if (GetConsoleMode(error, &mode)) {
    std::wstring wide(text.begin(), text.end());
    DWORD written;
    WriteConsoleW(error, wide.data(), static_cast<DWORD>(std::min(wide.size(), kMaxTransfer)),
                  &written, nullptr);
    return;
  }
  std::string bytes = EncodeUtf8(text);
  WriteAllToHandle(error, bytes.data(), bytes.size());
}

// ---- Files and directories ----------------------------------------------------

bool QueryAttributes(const char16_t* path, uint32_t* attributes) {
  DWORD found = GetFileAttributesW(Wide(path));
  if (found == INVALID_FILE_ATTRIBUTES) return false;
  *attributes = found;
  return true;
}

bool ResetAttributes(const char16_t* path) {
  return SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool FindEntry(const char16_t* path, uint32_t* attributes) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(Wide(path), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  *attributes = entry.dwFileAttributes;
  return true;
}

bool MakeDirectory(const char16_t* path) { return CreateDirectoryW(Wide(path), nullptr) != 0; }

bool RemoveFile(const char16_t* path) { return DeleteFileW(Wide(path)) != 0; }

// ---- Descriptor I/O ----------------------------------------------------------

int OpenDescriptor(const char16_t* path, int mode, int* error) {
  int flags = mode == kOpenRead ? _O_RDONLY : (_O_WRONLY | _O_CREAT | _O_TRUNC);
  int descriptor = _wopen(Wide(path), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (descriptor < 0) *error = errno;
  return descriptor;
}

int64_t ReadDescriptor(int descriptor, void* buffer, size_t count, int* error) {
  int got = _read(descriptor, buffer, static_cast<unsigned>(std::min(count, kMaxTransfer)));
  if (got < 0) *error = errno;
  return got;
}

bool WriteDescriptor(int descriptor, const void* buffer, size_t count, int* error) {
  const char* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    int written = _write(descriptor, bytes, static_cast<unsigned>(std::min(count, kMaxTransfer)));
    if (written <= 0) {
      // The runtime reports a full disk as a short write.
      *error = written < 0 ? errno : ENOSPC;
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
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

}  // namespace qds::platform
