// knitfold's way into the library below the public interface, and the only
// internal header that knitfold includes (the library's users merge
// documents through <qds/merge.h>):
//
// FileMerge: the merge of a compat QDS file into a target QDS file, in the
// steps that a run takes around them: the loads begin at once, the merge
// and the writing of the merged text to the target's temporary file finish
// in Write, and the text takes the target's place in Commit.
//
// TargetLock: the lock that the run holds on the target meanwhile.

#ifndef KNITFOLD_DOCUMENT_FILE_MERGE_H_
#define KNITFOLD_DOCUMENT_FILE_MERGE_H_

#include <qds/status.h>

#include <memory>

namespace qds {

// How Write ended: Ok, a file that failed to load (`file` names it), or a
// failed merge or writing of the merged text (`save`).
struct FileMergeStatus {
  LoadStatus load = LoadStatus::Ok;
  const char16_t* file = nullptr;
  SaveStatus save = SaveStatus::Ok;
};

class FileLock;

// The target's lock, the one that every writer of a file through the
// library takes (FILE.lock), held from before the target is read until its
// merged text is in place, so that the merge neither loses another
// writer's change nor has its own lost.
class TargetLock {
 public:
  TargetLock();
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;
  ~TargetLock();

  // Takes the lock of `target`, waiting for it as every writer does. 0, or
  // the number, alike in LoadStatus and SaveStatus, of the refusal.
  int Acquire(const char16_t* target);

 private:
  std::unique_ptr<FileLock> lock_;
};

class FileMerge {
 public:
  // Begins loading `target` on a thread of its own, and beside it the
  // compat file where that cannot be seen: a regular file, opened without
  // waiting (a FIFO or a device may wait for another program or change when
  // it is opened). Nothing else at the compat name is opened before Write.
  // The target's load goes on to the merge and the writing of the merged
  // text when the compat file loaded beside it. Two regular files of less
  // than 512 KiB together start no thread: they load in Write, and the
  // document goes after the commit. Both names must outlive the
  // FileMerge. Both files may be mapped: the compat file is only read, and
  // the target only replaced once its merged text is written.
  FileMerge(const char16_t* target, const char16_t* compat);
  FileMerge(const FileMerge&) = delete;
  FileMerge& operator=(const FileMerge&) = delete;
  // Discards what was not committed.
  ~FileMerge();

  // Waits for the loads, loads the compat file in its turn when it did not
  // load beside the target, merges it into the target as MergeDocuments
  // does (model/document_merge.h) and writes the merged text with its
  // comments to the target's temporary file, as far as that was not done
  // beside the loads. A mapped file cut since its load fails to read
  // (LoadStatus::ReadFailed of that file): the text is not the file's and
  // its temporary file goes. Memory running out in a load is that load's
  // OutOfMemory, in the merge or the writing the save's.
  FileMergeStatus Write();
  // Puts the written text in the target's place, while another thread lets
  // go of the merged document (after it, for small files). Ok;
  // CopyBackFailed, which may have changed the target; OutOfMemory.
  SaveStatus Commit();
  // Waits for the loads and removes a written text that was not committed:
  // what the merge read and wrote goes unseen.
  void Discard();

 private:
  struct Run;
  std::unique_ptr<Run> run_;
};

}  // namespace qds

#endif  // KNITFOLD_DOCUMENT_FILE_MERGE_H_
