#include "driver/merge_compat_file.h"

#include "document/qds_document.h"
#include "driver/log.h"

namespace qds {

namespace {

constexpr uint32_t kReadCapacity = 260;

// Adds the entries of the compat section at `position` to `target`.
void MergeSection(QdsDocument* compat, uint32_t position, QdsDocument* target) {
  char16_t section[kReadCapacity];
  uint32_t sectionLength = kReadCapacity;
  if (compat->GetSectionName(position, section, &sectionLength) != ReadStatus::Ok) return;
  uint32_t entries = compat->CountEntriesAt(position, nullptr);
  char16_t key[kReadCapacity];
  char16_t value[kReadCapacity];
  for (uint32_t entry = 0; entry < entries; ++entry) {
    uint32_t keyLength = kReadCapacity;
    uint32_t valueLength = kReadCapacity;
    if (compat->GetEntryAt(position, entry, key, &keyLength, value, &valueLength, 0) !=
        ReadStatus::Ok) {
      continue;
    }
    target->SetEntry(section, key, kAppendPosition, value);
  }
}

}  // namespace

int MergeCompatFile(const char16_t* targetName, const char16_t* compatName) {
  // Declared in this order so that the compat document goes first on every
  // return.
  QdsDocument target;
  QdsDocument compat;
  if (LoadStatus status = target.Load(targetName, KeepComments); status != LoadStatus::Ok) {
    LogMessage(kMessageLoadFailed, static_cast<int32_t>(status), targetName);
    return 0;
  }
  if (LoadStatus status = compat.Load(compatName, 0); status != LoadStatus::Ok) {
    LogMessage(kMessageLoadFailed, static_cast<int32_t>(status), compatName);
    return 0;
  }
  for (uint32_t position = 0; position < compat.GetSectionCount(); ++position) {
    MergeSection(&compat, position, &target);
  }
  if (SaveStatus status = target.Save(nullptr, KeepComments); status != SaveStatus::Ok) {
    LogMessage(kMessageSaveFailed, static_cast<int32_t>(status), targetName);
    return 0;
  }
  return 1;
}

}  // namespace qds
