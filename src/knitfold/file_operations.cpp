#include "knitfold/file_operations.h"

#include "common/wide_format.h"
#include "knitfold/messages.h"
#include "knitfold/path_buffer.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/path_syntax.h"

namespace qds {

namespace {

constexpr uint32_t kUndescribedErrorTemplate = 62117;
constexpr int kTemplateCapacity = 256;

// Where the walk of CreateDirectoryChain starts: past the root, which is
// never asked for.
size_t ChainStart(std::u16string_view path) {
  constexpr char16_t kSeparator = platform::kPathSeparator;
  if constexpr (platform::kHasDriveLetters) {
    if (path.size() >= 3 && path[1] == u':' && path[2] == kSeparator) return 3;
    if (path.size() >= 2 && path[0] == kSeparator && path[1] == kSeparator) {
      // \\server\share: start at the separator that ends the share name.
      size_t serverEnd = path.find(kSeparator, 2);
      if (serverEnd == std::u16string_view::npos) return 0;
      size_t shareEnd = path.find(kSeparator, serverEnd + 1);
      return shareEnd == std::u16string_view::npos ? 0 : shareEnd;
    }
  }
  return (!path.empty() && path[0] == kSeparator) ? 1 : 0;
}

}  // namespace

bool DeleteExistingFile(const char16_t* path, bool force) {
  uint32_t attributes;
  if (!platform::FindEntry(path, &attributes)) return false;
  if (attributes & platform::kAttributeDirectory) return false;
  constexpr uint32_t kProtected =
      platform::kAttributeReadOnly | platform::kAttributeHidden | platform::kAttributeSystem;
  // A file whose attributes stay is then refused by the removal, which tells.
  if (force && (attributes & kProtected)) (void)platform::ResetAttributes(path);
  return platform::RemoveFile(path).Ok();
}

platform::SystemResult CreateDirectoryChain(const char16_t* path) {
  if (path == nullptr || *path == 0) return {};
  PathBuffer buffer;
  if (!buffer.Assign(path)) return platform::SystemFailure(platform::kErrorNameTooLong);
  char16_t* units = buffer.data();
  for (size_t i = ChainStart(buffer.view()); i < buffer.length(); ++i) {
    if (units[i] != platform::kPathSeparator) continue;
    units[i] = 0;
    platform::SystemResult made = platform::MakeDirectory(units);
    units[i] = platform::kPathSeparator;
    if (!made && made.SystemCode() != platform::kErrorAlreadyExists) return made;
  }
  return {};
}

void GetSystemErrorText(uint32_t code, std::u16string* text) {
  if (platform::ErrorText(code, text)) return;
  char16_t number[12];
  FormatWide(number, 12, u"%d", {static_cast<int32_t>(code)});
  char16_t format[kTemplateCapacity];
  text->clear();
  if (LoadMessage(kUndescribedErrorTemplate, format, kTemplateCapacity) == 0) {
    return;
  }
  char16_t message[kTemplateCapacity];
  FormatWide(message, kTemplateCapacity, format, {static_cast<const char16_t*>(number)});
  text->assign(message);
}

}  // namespace qds
