// The standard streams on Windows.

#include <windows.h>

#include <string>

#include "common/utf8.h"
#include "platform/console.h"
#include "platform/win32_support.h"

namespace qds::platform {

// A console shows UTF-16 text as it is; a pipe or a file gets UTF-8, as on
// every other platform.
void WriteStandardStream(StandardStream stream, std::u16string_view text) {
  HANDLE error =
      GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
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

}  // namespace qds::platform
