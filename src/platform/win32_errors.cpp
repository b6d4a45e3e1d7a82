// The system codes on Windows: GetLastError's codes, and FormatMessageW's
// texts.

#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/errors.h"

namespace qds::platform {

namespace {

// The range of the WinINet error codes, whose texts live in that module.
constexpr uint32_t kInternetErrorFirst = 12000;
constexpr uint32_t kInternetErrorLast = 12174;

}  // namespace

const uint32_t kErrorAlreadyExists = ERROR_ALREADY_EXISTS;
const uint32_t kErrorFileExists = ERROR_FILE_EXISTS;
const uint32_t kErrorNameTooLong = ERROR_FILENAME_EXCED_RANGE;
const uint32_t kErrorNotRegularFile = ERROR_BAD_FILE_TYPE;
const uint32_t kErrorSeveralLinks = ERROR_TOO_MANY_LINKS;
const uint32_t kErrorNotOwnFile = ERROR_FILE_INVALID;
const uint32_t kErrorLinkRefused = ERROR_CANT_ACCESS_FILE;
const uint32_t kErrorOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
const uint32_t kErrorLockHeld = ERROR_LOCK_VIOLATION;

SystemResult LastSystemFailure() { return SystemFailure(GetLastError()); }

// Inserts ("%1") are left as the text writes them: there is no argument list
// to fill them from, and reading one that is not there would be undefined.
bool ErrorText(uint32_t code, std::u16string* text) {
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
  text->assign(message, message + length);
  LocalFree(message);
  return true;
}

bool RuntimeErrorText(int error, std::u16string* text) {
  wchar_t message[256];
  if (_wcserror_s(message, std::size(message), error) != 0) return false;
  std::wstring_view view(message);
  text->assign(view.begin(), view.end());
  return true;
}

}  // namespace qds::platform
