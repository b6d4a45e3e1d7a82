// Saving a DocumentModel as a QDS file: the writer of the QDS file format
// (docs/qds-format.md). It takes the SaveFlags of <qds/flags.h>.

#ifndef KNITFOLD_QDSFILE_QDS_SAVER_H_
#define KNITFOLD_QDSFILE_QDS_SAVER_H_

#include <qds/flags.h>
#include <qds/status.h>

#include <cstdint>
#include <string>

#include "model/document_model.h"
#include "platform/replace.h"

namespace qds {

class BufferedStream;

// The system's error behind a failed save, for its caller's messages: the C
// runtime's error number of a failed create or write, or the system code
// (platform/errors.h) of a failed copy back; 0 if none.
struct SaveOutcome {
  int systemCode = 0;
  bool fromRuntime = true;
  Reason reason = Reason::None;
  // Unrepresentable: the character that the file's code page cannot hold.
  int32_t character = 0;
};

class FileLock;

// Saves to `path`, or with no path (null or empty) to the document's
// fileName. The document's own file is replaced through a temporary file
// beside it (its name with ".tmp" appended), so that a failed save leaves it
// as it was; another path is written directly. `path` is the own file when
// it is fileName ignoring the case of A-Z on Windows, and elsewhere when it
// is fileName or leads to the same file. `outcome`, when given, receives the
// system's error of a failure.
[[nodiscard]] SaveStatus SaveDocument(DocumentModel* document, const char16_t* path,
                                      SaveFlags flags, SaveOutcome* outcome = nullptr);
// As SaveDocument, but any `path` is replaced as the own file is: through
// its own temporary file, which takes its place only once written (on POSIX
// in one step, flushed to disk), so that a failed save leaves it as it was.
// Only a device, a FIFO or a folder at `path`, which no file can replace, is
// written (or refused) in place. A file that is replaced is saved under its
// lock (qdsfile/file_lock.h): `held` when it guards that file, else one that
// the save takes, or fails with Busy after waiting for it; and a file that
// this process may not write is refused (AccessDenied, Reason::ReadOnly)
// before anything is created.
[[nodiscard]] SaveStatus SaveDocumentReplacing(DocumentModel* document, const char16_t* path,
                                               SaveFlags flags, SaveOutcome* outcome = nullptr,
                                               const FileLock* held = nullptr);
// A save that replaces its destination in two steps, for a caller with work
// of its own between them: Write puts the text in a new temporary file beside
// the destination (its name with ".tmp" appended), Commit moves that file into
// the destination's place. A written file that never takes the place goes
// with Discard or the StagedSave. The caller holds the destination's lock and
// checks, where the flags sign, that the digest is available (Signs).
class StagedSave {
 public:
  StagedSave() = default;
  StagedSave(const StagedSave&) = delete;
  StagedSave& operator=(const StagedSave&) = delete;
  ~StagedSave() { Discard(); }

  // Writes the text of `document` with `flags` for `destination`. Returns
  // Ok, or the status of SaveDocument's failure to create or write the
  // file, which is then gone. `outcome`, when given, receives the system's
  // error of a failure.
  [[nodiscard]] SaveStatus Write(const DocumentModel& document, const char16_t* destination,
                                 SaveFlags flags, SaveOutcome* outcome = nullptr);
  // Moves the written file over the destination, in one step where the
  // system allows: Ok, or CopyBackFailed, which may have changed the
  // destination, with its system code in `outcome`.
  [[nodiscard]] SaveStatus Commit(SaveOutcome* outcome = nullptr);
  // Removes the written file if it has not taken the destination's place.
  void Discard();

 private:
  std::u16string destination_;
  std::u16string temporary_;  // empty unless a written file waits for Commit
  platform::CreatedFile created_;
};

// Whether a save of `document` with `flags` signs the file it writes.
bool Signs(const DocumentModel& document, SaveFlags flags);
// Writes the text of `document` to `stream`, which is open for writing: with
// KeepLayout, of a document that keeps its file's layout, the file's own
// text with the document's changes (qdsfile/layout_writer.h), signed when
// the file was or with Digest; else the canonical text (WriteDocumentText).
// Returns Ok, WriteFailed, or Unrepresentable with outcome->character.
[[nodiscard]] SaveStatus WriteText(const DocumentModel& document, BufferedStream* stream,
                                   SaveFlags flags, SaveOutcome* outcome);
// Writes the canonical text of `document` to `stream`, which is open for writing:
// the byte-order mark, the header unless OmitHeader, the sections, the
// trailing text, and with Digest the end marker and check line. False when
// a write fails.
[[nodiscard]] bool WriteDocumentText(const DocumentModel& document, BufferedStream* stream,
                                     SaveFlags flags);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_QDS_SAVER_H_
