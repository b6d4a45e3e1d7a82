// The system codes on POSIX: errno values, and strerror's texts.

#include <cerrno>
#include <cstring>
#include <string>

#include "common/utf8.h"
#include "platform/errors.h"

namespace qds::platform {

const uint32_t kErrorAlreadyExists = EEXIST;
const uint32_t kErrorFileExists = EEXIST;
const uint32_t kErrorNameTooLong = ENAMETOOLONG;
const uint32_t kErrorNotRegularFile = ENXIO;
const uint32_t kErrorSeveralLinks = EMLINK;
const uint32_t kErrorNotOwnFile = ESTALE;
const uint32_t kErrorLinkRefused = ELOOP;
const uint32_t kErrorOutOfMemory = ENOMEM;
const uint32_t kErrorLockHeld = EWOULDBLOCK;

SystemResult LastSystemFailure() { return SystemFailure(static_cast<uint32_t>(errno)); }

bool ErrorText(uint32_t code, std::u16string* text) {
  char buffer[256];
  // The GNU strerror_r returns the text, which need not be in `buffer`.
  const char* message = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  if (message == nullptr) return false;
  *text = DecodeUtf8(message);
  return true;
}

// On POSIX the two families are one.
bool RuntimeErrorText(int error, std::u16string* text) {
  return ErrorText(static_cast<uint32_t>(error), text);
}

}  // namespace qds::platform
