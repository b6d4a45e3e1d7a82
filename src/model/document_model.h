// QdsDocument: the in-memory form of one QDS file, with the operations that
// read and extend it by position and name.
//
// Lengths of caller buffers are counts of UTF-16 units including the
// terminating zero. A length parameter is in/out: the capacity in, the size
// that the full text needs out. A capacity of 0 means no room; nothing is
// written into such a buffer.
//
// Section and key names meet under a comparison that folds only A-Z; the
// first match in list order wins. The document owns its sections; it refers
// to a symbol table without owning it.

#ifndef KNITFOLD_MODEL_DOCUMENT_MODEL_H_
#define KNITFOLD_MODEL_DOCUMENT_MODEL_H_

#include <cstdint>
#include <string_view>

#include "common/counted_string.h"
#include "model/qds_nodes.h"

namespace qds {

class SymbolTable;
class FileStream;

// Load and save flags: one set of bits.
inline constexpr uint32_t KeepComments = 0x01;
inline constexpr uint32_t Digest = 0x02;
inline constexpr uint32_t OmitHeader = 0x04;  // saving only
inline constexpr uint32_t Lenient = 0x10;     // loading only

// Flags of GetEntry.
inline constexpr uint32_t ReadExpand = 1;
inline constexpr uint32_t ReadKeepQuotes = 2;

// The characters of `value` around `position` that a failed expansion of it
// at that position leaves as the excerpt of GetExpansionError: up to 25
// before the position and 25 from it on.
std::u16string_view ExpansionExcerpt(std::u16string_view value, uint32_t position);

// Position of SetEntry that never names a value: append.
inline constexpr uint32_t kAppendPosition = 0xFFFFFFFFu;

// Statuses of the read operations.
enum class ReadStatus : uint32_t {
  Ok = 0,
  ExpansionFailed = 8,
  BufferTooSmall = 9,
  NoSection = 10,
  NoEntry = 11,
};

// Statuses of Load.
enum class LoadStatus : int {
  Ok = 0,
  OpenFailed = 1,
  NotFound = 2,
  AccessDenied = 3,
  ReadFailed = 4,
  SyntaxError = 7,
  DigestMismatch = 15,
  DigestUnavailable = 16,  // Digest given, and the digest's library cannot be loaded
};

// Statuses of Save.
enum class SaveStatus : int {
  Ok = 0,
  OpenFailed = 1,
  NoTarget = 2,
  AccessDenied = 3,
  CopyBackFailed = 5,
  WriteFailed = 6,
  DigestUnavailable = 16,  // Digest given, and the digest's library cannot be loaded; no file touched
};

class QdsDocument {
 public:
  QdsDocument();
  QdsDocument(const QdsDocument&) = delete;
  QdsDocument& operator=(const QdsDocument&) = delete;
  ~QdsDocument() = default;

  // ---- Sections and entries -------------------------------------------------

  uint32_t GetSectionCount() const { return sections.count(); }
  // Copies the name of the section at `position` into `buffer`.
  [[nodiscard]] ReadStatus GetSectionName(uint32_t position, char16_t* buffer, uint32_t* length);
  // Entries of the first section named `section` (all keys, or only `key`
  // when it is given); 0 when there is no such section or key.
  uint32_t CountEntries(const char16_t* section, const char16_t* key);
  // The same for the section at `sectionPosition`.
  uint32_t CountEntriesAt(uint32_t sectionPosition, const char16_t* key);
  // Reads the entry at flat `position` of the first section named `section`:
  // the key into keyBuffer, the value into valueBuffer.
  [[nodiscard]] ReadStatus GetEntry(const char16_t* section, uint32_t position,
                                    char16_t* keyBuffer, uint32_t* keyLength,
                                    char16_t* valueBuffer, uint32_t* valueLength, uint32_t flags);
  // The same for the section at `sectionPosition`.
  [[nodiscard]] ReadStatus GetEntryAt(uint32_t sectionPosition, uint32_t position,
                                      char16_t* keyBuffer, uint32_t* keyLength,
                                      char16_t* valueBuffer, uint32_t* valueLength,
                                      uint32_t flags);
  // Adds `value` to `key` of `section`, making the section and key when they
  // are missing; a `position` below the key's value count replaces the value
  // there. Always returns 1.
  int SetEntry(const char16_t* section, const char16_t* key, uint32_t position,
               const char16_t* value);

  // ---- Expanding reads ----------------------------------------------------------

  // Attaches `table` (or none) for reads with ReadExpand, giving it the
  // built-in commands, and returns it. The document does not own the table,
  // which must outlive every such read.
  SymbolTable* SetSymbolTable(SymbolTable* table);
  SymbolTable* GetSymbolTable() const { return symbolTable; }
  // The status of the last failed expansion (0 before any), and in *context,
  // when given, the address of errorContext: up to 50 characters of the value
  // around the failure. Both keep their values until the next failure.
  uint32_t GetExpansionError(const char16_t** context) const {
    if (context != nullptr) *context = errorContext;
    return expansionErrorStatus;
  }

  // ---- Files (implemented by the QDS file format) ------------------------------

  [[nodiscard]] LoadStatus Load(const char16_t* path, uint32_t flags);
  [[nodiscard]] LoadStatus Parse(FileStream* stream, uint32_t flags);
  // Saves to `path`, or with no path (null or empty) to `fileName`. The
  // document's own file is replaced through a temporary file beside it
  // (its name with ".tmp" appended), so that a failed save leaves it as it
  // was; another path is written directly. `path` is the own file when it is
  // `fileName` ignoring the case of A-Z on Windows, and elsewhere when it is
  // `fileName` or leads to the same file.
  [[nodiscard]] SaveStatus Save(const char16_t* path, uint32_t flags);
  // As Save, but any `path` is replaced as the own file is: through its own
  // temporary file, which takes its place only once written (on POSIX in one
  // step, flushed to disk), so that a failed save leaves it as it was. Only
  // a device, a FIFO or a folder at `path`, which no file can replace, is
  // written (or refused) in place.
  [[nodiscard]] SaveStatus SaveReplacing(const char16_t* path, uint32_t flags);
  // As Save, and lets go of the sections once their text is written: while
  // the temporary file takes the place of the document's own file, which
  // mostly waits for the disk, the sections are deleted beside it. After a
  // successful write the document has no sections, whatever follows.
  [[nodiscard]] SaveStatus SaveReleasingSections(const char16_t* path, uint32_t flags);
  [[nodiscard]] bool WriteText(FileStream* stream, uint32_t flags);

  // ---- Fields ---------------------------------------------------------------------

  uint32_t utf16 = 0;
  uint32_t codePage;
  NodeList<QdsSection> sections;
  SymbolTable* symbolTable = nullptr;
  CountedString fileName;
  uint32_t errorLine = 0;
  int32_t expansionErrorPos = 0;
  uint32_t expansionErrorStatus = 0;
  char16_t errorContext[52] = {};
  CountedString trailingText;
  int32_t version = 3;
  CountedString leadingText;

 private:
  ReadStatus ReadEntry(QdsSection* section, uint32_t position, char16_t* keyBuffer,
                       uint32_t* keyLength, char16_t* valueBuffer, uint32_t* valueLength,
                       uint32_t flags);
  QdsSection* FindSection(const char16_t* name) const;
  // Which file is replaced through a temporary file: the own file only, or
  // whichever is saved to.
  enum class Replacing { OwnFile, AnyFile };
  enum class AfterWriting { KeepSections, ReleaseSections };
  SaveStatus SaveText(const char16_t* path, uint32_t flags, Replacing replacing,
                      AfterWriting after);
  // ReadEntry's end for ReadExpand with a table attached (expanding_read.cpp).
  ReadStatus ExpandValue(std::u16string_view value, bool keyCut, char16_t* valueBuffer,
                         uint32_t* valueLength);
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_DOCUMENT_MODEL_H_
