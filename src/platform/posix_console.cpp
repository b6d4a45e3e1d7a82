// The standard streams on POSIX: UTF-8 bytes.

#include <unistd.h>

#include <string>

#include "common/utf8.h"
#include "platform/console.h"
#include "platform/posix_support.h"

namespace qds::platform {

void WriteStandardStream(StandardStream stream, std::u16string_view text) {
  std::string bytes = EncodeUtf8(text);
  WriteAll(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO, bytes.data(),
           bytes.size());
}

}  // namespace qds::platform
