// UTF-16 text of the platform layer as the Windows API spells it. Windows'
// wchar_t is a UTF-16 code unit, so a terminated char16_t text is the
// terminated wchar_t text that the wide services take and fill. Private to
// the win32*.cpp files; it leaves <windows.h> to them.

#ifndef KNITFOLD_PLATFORM_WIN32_SUPPORT_H_
#define KNITFOLD_PLATFORM_WIN32_SUPPORT_H_

namespace qds::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_WIN32_SUPPORT_H_
