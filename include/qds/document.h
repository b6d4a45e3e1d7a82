// QdsDocument: one QDS file in memory, with the operations that read and
// extend it by position and name, load it from a file and save it to one.
//
// Lengths of caller buffers are counts of UTF-16 units including the
// terminating zero. A length parameter is in/out: the capacity in, the size
// that the full text needs out. A capacity of 0 means no room; nothing is
// written into such a buffer.
//
// Section and key names meet under a comparison that folds only A-Z; the
// first match in list order wins. The document owns its sections; it refers
// to a symbol table without owning it. A document belongs to one thread.

#ifndef KNITFOLD_QDS_DOCUMENT_H_
#define KNITFOLD_QDS_DOCUMENT_H_

#include <qds/export.h>

#include <cstdint>
#include <memory>

namespace qds {

class SymbolTable;

// Load and save flags: one set of bits.
inline constexpr uint32_t KeepComments = 0x01;
inline constexpr uint32_t Digest = 0x02;
inline constexpr uint32_t OmitHeader = 0x04;  // saving only
inline constexpr uint32_t Lenient = 0x10;     // loading only

// Flags of GetEntry.
inline constexpr uint32_t ReadExpand = 1;
inline constexpr uint32_t ReadKeepQuotes = 2;

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
  DigestUnavailable =
      16,  // Digest given, and the digest's library cannot be loaded; no file touched
};

class QDS_API QdsDocument {
 public:
  QdsDocument();
  QdsDocument(const QdsDocument&) = delete;
  QdsDocument& operator=(const QdsDocument&) = delete;
  ~QdsDocument();

  // ---- Sections and entries -------------------------------------------------

  uint32_t GetSectionCount() const;
  // Copies the name of the section at `position` into `buffer`.
  [[nodiscard]] ReadStatus GetSectionName(uint32_t position, char16_t* buffer, uint32_t* length);
  // Entries of the first section named `section` (all keys, or only `key`
  // when it is given); 0 when there is no such section or key.
  uint32_t CountEntries(const char16_t* section, const char16_t* key);
  // The same for the section at `sectionPosition`.
  uint32_t CountEntriesAt(uint32_t sectionPosition, const char16_t* key);
  // Reads the entry at flat `position` of the first section named `section`:
  // the key into keyBuffer, the value into valueBuffer. A value is read
  // without its enclosing double quotes unless ReadKeepQuotes; with
  // ReadExpand and a symbol table attached, it is expanded.
  [[nodiscard]] ReadStatus GetEntry(const char16_t* section, uint32_t position, char16_t* keyBuffer,
                                    uint32_t* keyLength, char16_t* valueBuffer,
                                    uint32_t* valueLength, uint32_t flags);
  // The same for the section at `sectionPosition`.
  [[nodiscard]] ReadStatus GetEntryAt(uint32_t sectionPosition, uint32_t position,
                                      char16_t* keyBuffer, uint32_t* keyLength,
                                      char16_t* valueBuffer, uint32_t* valueLength, uint32_t flags);
  // Adds `value` to `key` of `section`, making the section and key when they
  // are missing; a `position` below the key's value count replaces the value
  // there. Always returns 1.
  int SetEntry(const char16_t* section, const char16_t* key, uint32_t position,
               const char16_t* value);

  // ---- Expanding reads ----------------------------------------------------------

  // Attaches `table` (or none) for reads with ReadExpand, giving it the
  // built-in commands of the expansion language, and returns it. The
  // document does not own the table, which must outlive every such read.
  SymbolTable* SetSymbolTable(SymbolTable* table);
  SymbolTable* GetSymbolTable() const;
  // The status of the last failed expansion (0 before any), and in *context,
  // when given, up to 50 characters of the value around the failure, kept
  // in the document. Both keep their values until the next failure.
  uint32_t GetExpansionError(const char16_t** context) const;

  // ---- Files ----------------------------------------------------------------------

  // Reads the file at `path` (flags: KeepComments, Digest, Lenient). A failed
  // load keeps what was read before the failure.
  [[nodiscard]] LoadStatus Load(const char16_t* path, uint32_t flags);
  // Saves to `path`, or with no path (null or empty) to the file it was
  // loaded from (flags: KeepComments, Digest, OmitHeader). The document's own
  // file is replaced through a temporary file beside it (its name with
  // ".tmp" appended), so that a failed save leaves it as it was; another
  // path is written directly. `path` is the own file when it is the loaded
  // name ignoring the case of A-Z on Windows, and elsewhere when it is that
  // name or leads to the same file.
  [[nodiscard]] SaveStatus Save(const char16_t* path, uint32_t flags);
  // As Save, but any `path` is replaced as the own file is: through its own
  // temporary file, which takes its place only once written (on POSIX in one
  // step, flushed to disk), so that a failed save leaves it as it was. Only
  // a device, a FIFO or a folder at `path`, which no file can replace, is
  // written (or refused) in place.
  [[nodiscard]] SaveStatus SaveReplacing(const char16_t* path, uint32_t flags);

  // ---- Inside the library -----------------------------------------------------------

  // What the document holds, as the library's layers see it
  // (src/document/document_state.h); not part of the installed interface.
  struct State;
  State& state() { return *state_; }
  const State& state() const { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

}  // namespace qds

#endif  // KNITFOLD_QDS_DOCUMENT_H_
