#include "driver/merge_compat_file.h"

#include "common/concurrent_task.h"
#include "document/qds_document.h"
#include "driver/log.h"

namespace qds {

namespace {

constexpr uint32_t kReadCapacity = 260;

// Deletes the first entry of `section`, and its key when that was the
// key's last value.
void ReleaseFirstEntry(QdsSection* section) {
  QdsKey* key = section->keys.head();
  while (key->values.count() == 0) {
    delete section->keys.RemoveHead();
    key = section->keys.head();
  }
  delete key->values.RemoveHead();
  if (key->values.count() == 0) delete section->keys.RemoveHead();
}

// Adds the entries of the first compat section to `target`, in order,
// releasing each once it is read.
void MergeFirstSection(QdsDocument* compat, QdsDocument* target) {
  char16_t section[kReadCapacity];
  uint32_t sectionLength = kReadCapacity;
  if (compat->GetSectionName(0, section, &sectionLength) != ReadStatus::Ok) return;
  QdsSection* source = compat->sections.head();
  // The section is read from its head until it is empty; no key of it is
  // looked up again.
  source->keys.DropIndex();
  char16_t key[kReadCapacity];
  char16_t value[kReadCapacity];
  while (source->EntryCount() > 0) {
    uint32_t keyLength = kReadCapacity;
    uint32_t valueLength = kReadCapacity;
    if (compat->GetEntryAt(0, 0, key, &keyLength, value, &valueLength, 0) == ReadStatus::Ok) {
      target->SetEntry(section, key, kAppendPosition, value);
    }
    ReleaseFirstEntry(source);
  }
}

}  // namespace

void MergeDocuments(QdsDocument* compat, QdsDocument* target) {
  while (compat->GetSectionCount() > 0) {
    MergeFirstSection(compat, target);
    delete compat->sections.RemoveHead();
  }
}

int MergeCompatFile(const char16_t* targetName, const char16_t* compatName) {
  // Declared in this order so that the compat document goes first on every
  // return.
  QdsDocument target;
  QdsDocument compat;
  // The two loads share nothing (each thread takes its memory from a pool of
  // its own): the compat file loads on a second thread while this one loads
  // the target. Failures are told as if the loads ran one after the other.
  LoadStatus compatStatus = LoadStatus::Ok;
  ConcurrentTask compatLoad([&] { compatStatus = compat.Load(compatName, 0); });
  LoadStatus targetStatus = target.Load(targetName, KeepComments);
  compatLoad.Wait();
  if (targetStatus != LoadStatus::Ok) {
    LogMessage(kMessageLoadFailed, static_cast<int32_t>(targetStatus), targetName);
    return 0;
  }
  if (compatStatus != LoadStatus::Ok) {
    LogMessage(kMessageLoadFailed, static_cast<int32_t>(compatStatus), compatName);
    return 0;
  }
  MergeDocuments(&compat, &target);
  if (SaveStatus status = target.Save(nullptr, KeepComments); status != SaveStatus::Ok) {
    LogMessage(kMessageSaveFailed, static_cast<int32_t>(status), targetName);
    return 0;
  }
  return 1;
}

}  // namespace qds
