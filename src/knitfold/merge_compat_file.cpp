#include "knitfold/merge_compat_file.h"

#include <new>

#include "common/concurrent_task.h"
#include "knitfold/log.h"
#include "knitfold/messages.h"
#include "model/document_merge.h"
#include "model/document_model.h"
#include "platform/files.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace qds {

namespace {

// Loads the compat file ahead of its turn, where that cannot be seen: only a
// regular file is opened, and without waiting, since a FIFO or a device may
// wait for another program or change when it is opened. False when the file
// was not opened; it then loads in its turn.
bool LoadRegularFileAhead(DocumentModel* compat, const char16_t* name, LoadStatus* status) {
  if (!platform::IsRegularFile(name)) return false;
  FileStream stream(format::kStreamBufferSize);
  if (stream.OpenRegularFile(name) != StreamStatus::Ok) return false;
  compat->fileName = name;
  *status = ParseDocument(compat, &stream, MapInput | ReadInOrder);
  return true;
}

// Runs `step`, a load or the merge and save, and gives its status; memory
// running out meanwhile, on this thread or on one it waits for, is the
// step's OutOfMemory, told and undone as any other failure of the step.
template <typename StepStatus, typename Step>
StepStatus OutOfMemoryAsStatus(const Step& step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return StepStatus::OutOfMemory;
  }
}

}  // namespace

int MergeCompatFile(const char16_t* targetName, const char16_t* compatName,
                    const std::function<bool()>& prepare, bool* targetTouched) {
  // Declared in this order so that the compat document goes first on every
  // return.
  DocumentModel target;
  DocumentModel compat;
  // The two loads share nothing (each thread takes its memory from a pool of
  // its own): `prepare` runs on a second thread and a compat file that is a
  // regular file loads on a third while this one loads the target; the merge
  // and the writing of the merged text go on beside `prepare`, and only the
  // text taking the target's place waits for it. What a run does and tells
  // is what it would if all ran one after the other (`prepare`, the target's
  // load, the compat file's load, the merge, the save): a run whose `prepare`
  // fails drops the rest unseen, its written text included.
  bool prepared = false;
  ConcurrentTask preparation([&] { prepared = prepare(); });
  auto preparedFirst = [&] {
    preparation.Wait();
    return prepared;
  };
  LoadStatus compatStatus = LoadStatus::Ok;
  bool compatLoaded = false;
  ConcurrentTask compatLoad(
      [&] { compatLoaded = LoadRegularFileAhead(&compat, compatName, &compatStatus); });
  // Both files may be mapped: the compat file is only read, and the target
  // is only written (replaced, or where that cannot be, copied over) once
  // its document has been written out.
  LoadStatus targetStatus = OutOfMemoryAsStatus<LoadStatus>(
      [&] { return LoadDocument(&target, targetName, KeepComments | MapInput); });
  compatStatus = OutOfMemoryAsStatus<LoadStatus>([&] {
    compatLoad.Wait();
    return compatStatus;
  });
  compatLoaded = compatLoaded || compatStatus == LoadStatus::OutOfMemory;
  auto loadFailed = [&](LoadStatus status, const char16_t* name) {
    if (preparedFirst()) LogMessage(kMessageLoadFailed, static_cast<int32_t>(status), name);
    return 0;
  };
  if (targetStatus != LoadStatus::Ok) return loadFailed(targetStatus, targetName);
  // Any other compat file is opened only in its turn.
  if (!compatLoaded) {
    if (!preparedFirst()) return 0;
    compatStatus = OutOfMemoryAsStatus<LoadStatus>(
        [&] { return LoadDocument(&compat, compatName, MapInput | ReadInOrder); });
  }
  if (compatStatus != LoadStatus::Ok) return loadFailed(compatStatus, compatName);
  // A mapped file shortened after its load is seen only now, once its text
  // has been written: that text is not the file's, so it never takes the
  // target's place, and the file that was cut failed to read.
  const void* compatMapping = compat.texts.FirstMapping();
  const void* cut = nullptr;
  auto mayReplace = [&] {
    if (!preparedFirst()) return false;
    cut = target.texts.CutMapping();
    return cut == nullptr;
  };
  // The merge makes the text that the save writes: memory that runs out in
  // either is a failure to save the target.
  SaveStatus status = OutOfMemoryAsStatus<SaveStatus>([&] {
    MergeDocuments(&compat, &target);
    // The document is not read again: its sections go while its file moves into place.
    return SaveDocumentReleasingSections(&target, nullptr, KeepComments, mayReplace);
  });
  if (!preparedFirst()) return 0;
  if (cut != nullptr) {
    return loadFailed(LoadStatus::ReadFailed, cut == compatMapping ? compatName : targetName);
  }
  if (status != SaveStatus::Ok) {
    *targetTouched = status == SaveStatus::CopyBackFailed;
    LogMessage(kMessageSaveFailed, static_cast<int32_t>(status), targetName);
    return 0;
  }
  return 1;
}

}  // namespace qds
