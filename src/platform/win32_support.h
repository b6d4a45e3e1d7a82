// What the win32*.cpp files of the platform layer share: UTF-16 text as the
// Windows API spells it, and whole writes to a handle. Windows' wchar_t is a
// UTF-16 code unit, so a terminated char16_t text is the terminated wchar_t
// text that the wide services take and fill. Private to the win32*.cpp
// files, which include <windows.h> before it.

#ifndef KNITFOLD_PLATFORM_WIN32_SUPPORT_H_
#define KNITFOLD_PLATFORM_WIN32_SUPPORT_H_

#include <algorithm>
#include <climits>
#include <cstddef>

namespace qds::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// The most that one WriteFile, _read or _write call moves.
inline constexpr size_t kMaxTransfer = INT_MAX;

// Writes all `size` bytes to `handle`; false when a write fails.
inline bool WriteAllToHandle(HANDLE handle, const void* bytes, size_t size) {
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

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_WIN32_SUPPORT_H_
