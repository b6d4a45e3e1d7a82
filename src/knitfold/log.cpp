#include "knitfold/log.h"

#include "knitfold/messages.h"
#include "platform/console.h"

namespace qds {

platform::FileHandle g_logHandle = platform::kInvalidHandle;

namespace {

constexpr int kTemplateCapacity = 256;
constexpr size_t kMessageCapacity = 512;

}  // namespace

std::u16string FormatMessageText(uint32_t id, std::initializer_list<FormatArg> args) {
  char16_t format[kTemplateCapacity];
  if (LoadMessage(id, format, kTemplateCapacity) == 0) return {};
  char16_t message[kMessageCapacity];
  size_t length = FormatWide(message, kMessageCapacity, format, args);
  if (length < kMessageCapacity) return std::u16string(message, length);
  std::u16string whole(length + 1, u'\0');
  FormatWide(whole.data(), whole.size(), format, args);
  whole.resize(length);
  return whole;
}

void LogMessageArgs(uint32_t id, std::initializer_list<FormatArg> args) {
  if (g_logHandle == platform::kInvalidHandle) return;
  std::u16string text = FormatMessageText(id, args);
  if (text.empty()) return;
  // UTF-16LE on disk: the code units' bytes in little-endian order.
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  // A message that the log cannot take (a full disk) is not lost.
  if (!platform::WriteLog(g_logHandle, bytes.data(), bytes.size())) {
    platform::WriteStandardError(text);
  }
}

}  // namespace qds
