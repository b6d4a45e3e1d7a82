// The Windows thread identity and drive-type services. The user to take is
// an access-token handle that the host hands over as a number; the file
// system of a path is its drive, named by the drive letter.

#include <windows.h>

#include <string>

#include "platform/identity.h"
#include "platform/text_services.h"
#include "platform/win32_support.h"

namespace qds::platform {

namespace {

// Impersonation belongs to the Windows NT platform; the version record is
// asked for as a zeroed OSVERSIONINFOEXW with its size set.
bool IsWindowsNt() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)) &&
         version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The drive letter of `path`, upper-cased by the system; 0 when the path
// does not start with a letter and a colon.
wchar_t DriveLetter(const char16_t* path) {
  if (path[0] == 0) return 0;
  const char16_t* second = NextChar(path);
  if (*second != u':') return 0;
  wchar_t letter[2] = {static_cast<wchar_t>(path[0]), 0};
  CharUpperW(letter);
  return letter[0];
}

}  // namespace

static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the version record has its documented size");

bool ImpersonateUser(uint32_t user) {
  if (!IsWindowsNt()) return false;
  HANDLE token = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(user));
  return ImpersonateLoggedOnUser(token) != 0;
}

void RevertToProcessIdentity() {
  if (IsWindowsNt()) RevertToSelf();
}

// Drive letters share the bits of a 32-bit mask: A is 0, Z is 25, and any
// other character lands modulo 32.
bool QueryFileSystemId(const char16_t* path, uint64_t* id) {
  wchar_t letter = DriveLetter(path);
  if (letter == 0) return false;
  *id = static_cast<uint32_t>(letter - L'A') % 32;
  return true;
}

// The drive root of a drive-letter path, the \\server\share\ root of a UNC
// path (whole or cut to fit), and the current drive for any other path.
uint32_t QueryDriveType(const char16_t* path) {
  wchar_t letter = DriveLetter(path);
  if (letter != 0) {
    wchar_t root[] = {letter, L':', L'\\', 0};
    return GetDriveTypeW(root);
  }
  if (path[0] == u'\\' && path[1] == u'\\') {
    std::wstring root(Wide(path));
    size_t server = root.find(L'\\', 2);
    size_t share = server == std::wstring::npos ? server : root.find(L'\\', server + 1);
    if (share != std::wstring::npos) root.resize(share);
    return GetDriveTypeW((root + L'\\').c_str());
  }
  return GetDriveTypeW(nullptr);
}

}  // namespace qds::platform
