#include "knitfold/merge_compat_file.h"

#include <algorithm>

#include "common/concurrent_task.h"
#include "knitfold/log.h"
#include "knitfold/messages.h"
#include "model/document_model.h"
#include "platform/files.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/qds_format.h"

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

// Walks the keys of a compat section ahead of the merge and asks for the
// memory where the target section's search for each starts: in a long
// section the search of every key then seldom waits.
class CompatKeyLookahead {
 public:
  explicit CompatKeyLookahead(const QdsSection* source)
      : source_(source), ahead_(source->keys.head()) {}

  // Asks for the keys up to kDistance ahead of the head of the compat section.
  void Prefetch(const QdsSection* destination) {
    for (; asked_ < kDistance && ahead_ != nullptr; ++asked_) {
      destination->keys.PrefetchName(ahead_->name.View());
      ahead_ = NodeList<QdsKey>::Next(ahead_);
    }
  }
  // The compat section lost `removed` keys from its head.
  void KeysRemoved(uint32_t removed) {
    asked_ -= std::min(asked_, removed);
    if (asked_ == 0) ahead_ = source_->keys.head();
  }

 private:
  static constexpr uint32_t kDistance = 16;
  const QdsSection* source_;
  const QdsKey* ahead_;  // the first key not asked for
  uint32_t asked_ = 0;   // keys from the head up to `ahead_`
};

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
  CompatKeyLookahead lookahead(source);
  // The section that SetEntry finds by the same name, once there is one.
  const QdsSection* destination = nullptr;
  char16_t key[kReadCapacity];
  char16_t value[kReadCapacity];
  while (source->EntryCount() > 0) {
    if (destination == nullptr) destination = target->sections.FindByName(section);
    if (destination != nullptr) lookahead.Prefetch(destination);
    uint32_t keyLength = kReadCapacity;
    uint32_t valueLength = kReadCapacity;
    if (compat->GetEntryAt(0, 0, key, &keyLength, value, &valueLength, 0) == ReadStatus::Ok) {
      target->SetEntry(section, key, kAppendPosition, value);
    }
    uint32_t keys = source->keys.count();
    ReleaseFirstEntry(source);
    lookahead.KeysRemoved(keys - source->keys.count());
  }
}

// Loads the compat file ahead of its turn, where that cannot be seen: only a
// regular file is opened, and without waiting, since a FIFO or a device may
// wait for another program or change when it is opened. False when the file
// was not opened; it then loads in its turn.
bool LoadRegularFileAhead(QdsDocument* compat, const char16_t* name, LoadStatus* status) {
  if (!platform::IsRegularFile(name)) return false;
  FileStream stream(format::kStreamBufferSize);
  if (stream.OpenRegularFile(name) != StreamStatus::Ok) return false;
  compat->fileName = name;
  *status = compat->Parse(&stream, 0);
  return true;
}

}  // namespace

void MergeDocuments(QdsDocument* compat, QdsDocument* target) {
  while (compat->GetSectionCount() > 0) {
    MergeFirstSection(compat, target);
    delete compat->sections.RemoveHead();
  }
}

int MergeCompatFile(const char16_t* targetName, const char16_t* compatName,
                    const std::function<bool()>& prepare, bool* targetTouched) {
  // Declared in this order so that the compat document goes first on every
  // return.
  QdsDocument target;
  QdsDocument compat;
  // The two loads share nothing (each thread takes its memory from a pool of
  // its own): `prepare` runs on a second thread and a compat file that is a
  // regular file loads on a third while this one loads the target. What a
  // run does and tells is what it would if all ran one after the other
  // (`prepare`, the target's load, the compat file's load): a run that ends
  // before the compat file's turn drops its load unseen.
  bool prepared = false;
  ConcurrentTask preparation([&] { prepared = prepare(); });
  LoadStatus compatStatus = LoadStatus::Ok;
  bool compatLoaded = false;
  ConcurrentTask compatLoad(
      [&] { compatLoaded = LoadRegularFileAhead(&compat, compatName, &compatStatus); });
  LoadStatus targetStatus = target.Load(targetName, KeepComments);
  compatLoad.Wait();
  preparation.Wait();
  if (!prepared) return 0;
  if (targetStatus != LoadStatus::Ok) {
    LogMessage(kMessageLoadFailed, static_cast<int32_t>(targetStatus), targetName);
    return 0;
  }
  if (!compatLoaded) compatStatus = compat.Load(compatName, 0);
  if (compatStatus != LoadStatus::Ok) {
    LogMessage(kMessageLoadFailed, static_cast<int32_t>(compatStatus), compatName);
    return 0;
  }
  MergeDocuments(&compat, &target);
  // The document is not read again: its sections go while its file moves into place.
  if (SaveStatus status = target.SaveReleasingSections(nullptr, KeepComments);
      status != SaveStatus::Ok) {
    *targetTouched = status == SaveStatus::CopyBackFailed;
    LogMessage(kMessageSaveFailed, static_cast<int32_t>(status), targetName);
    return 0;
  }
  return 1;
}

}  // namespace qds
