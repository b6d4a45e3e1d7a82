// QdsDocument: one QDS package script in memory. It loads from a file and
// saves to one, keeping comments and layout on request; it is read by name,
// by walking its views (qds/views.h) or by position; it is changed by name,
// each change checked first so that what is saved reads back the same.
//
// Sections, keys and values keep the order of the file. Section and key
// names meet under a comparison that folds only A-Z; where two sections (or
// two keys of a section) bear one name, the first in order is the one found.
// Names and values go in as TextRef (UTF-8 or UTF-16) and come out as
// std::string (UTF-8) or, from the overloads and functions ending in 16,
// std::u16string.
//
// Any operation may throw std::bad_alloc when memory runs out, and nothing
// else; the document may then hold part of what the operation did, and is
// only to be destroyed or assigned.
//
// Several threads may call the const functions of one document at once (its
// reads, the walks through its views, Write), as those of a standard
// container; every other function needs the document to itself, with no
// read running on another thread meanwhile (docs/library.md, Threads). It
// may be moved (into a container, out of a function); it cannot be copied.
// A moved-from document is an empty new one.

#ifndef KNITFOLD_QDS_DOCUMENT_H_
#define KNITFOLD_QDS_DOCUMENT_H_

#include <qds/export.h>
#include <qds/flags.h>
#include <qds/status.h>
#include <qds/symbols.h>
#include <qds/text.h>
#include <qds/views.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qds {

// The position of SetEntry that never names a value: append.
inline constexpr uint32_t kAppendPosition = 0xFFFFFFFFu;

class QDS_API QdsDocument {
 public:
  // A new document: version 3, no sections, no file name, the system's ANSI
  // code page (1252 on POSIX) for the ANSI files it will load.
  QdsDocument();
  QdsDocument(QdsDocument&& other) noexcept;
  QdsDocument& operator=(QdsDocument&& other) noexcept;
  QdsDocument(const QdsDocument&) = delete;
  QdsDocument& operator=(const QdsDocument&) = delete;
  ~QdsDocument();

  // ---- Files -------------------------------------------------------------------

  // Reads `file` into the document, after what it holds already (loading
  // never clears), and makes it the document's FileName(). A file that
  // starts with the bytes FF FE is UTF-16, any other is read in CodePage().
  // A failed load keeps what was read before the failure. Returns a
  // LoadStatus: 0; 1, 2, 3 (open) or 4 (read) with the system's error;
  // 7 with Why() and Line(); 15 with Why() (Digest: not signed, or changed);
  // 16.
  Status Load(const std::filesystem::path& file, LoadFlags flags = {});
  // As Load, for a document that will be saved over `file`: first takes the
  // file's lock, which every writer of the library takes (the lock file is
  // the file's name with ".lock" appended, beside it; see Concurrency in
  // docs/library.md), waiting up to 5 s while another run holds it. The
  // document holds the lock, a loaded file or not, until it ends or loads
  // for a change again, so that nobody changes the file between this read
  // and the Save that writes it back. A file that does not exist yet can be
  // locked. Returns what Load returns, or without loading: 36 (Busy) when
  // another run kept the lock; 1, 2 or 3 with the system's error when the
  // lock file cannot be opened or made.
  Status LoadForChange(const std::filesystem::path& file, LoadFlags flags = {});
  // Reads a file's bytes, as Load reads the file, into the document;
  // FileName() becomes empty. Returns 0, 7, 15 or 16 as Load.
  Status LoadBytes(std::string_view bytes, LoadFlags flags = {});
  // Writes the document over FileName(): the text goes to a new file beside
  // it (its name with ".tmp" appended), which takes the file's place, with
  // its permissions, once every byte is on disk, so that a failed save
  // leaves the file as it was. A link is followed: the file it leads to is
  // replaced. The save holds the file's lock (see LoadForChange): the
  // document's own when it holds that file's, else one it takes for the
  // save, waiting up to 5 s. Returns a SaveStatus: 0; 2 without a file
  // name; 1, 2, 3 (create), 6 (write) or 5 (taking the file's place) with
  // the system's error; 3 with Why() Reason::ReadOnly for a file that this
  // process may not write, before anything is created; 16; 36 (Busy) when
  // another run kept the lock; 39 with the character as Detail() when a
  // layout-keeping save of an ANSI file meets a text that its code page
  // cannot hold (the file stays as it was). The document is not changed,
  // FileName() included.
  Status Save(SaveFlags flags = {});
  // As Save, to `file`; FileName() stays. A device, a FIFO or a folder at
  // `file`, which no file can replace, is written (or refused) in place.
  Status SaveTo(const std::filesystem::path& file, SaveFlags flags = {});
  // Appends to *bytes what Save would write to the file, byte for byte.
  // Returns 0; 16 when SaveFlags::Digest cannot be computed, or 39 when a
  // layout-keeping save meets a character that the file's code page cannot
  // hold (nothing appended).
  Status Write(std::string* bytes, SaveFlags flags = {}) const;
  // Takes back the line end that signing put into the text: a signing save
  // writes a line end before "[$end$]", which a load that keeps comments
  // reads into the trailing text, so that a signed file loaded and signed
  // again gains a blank line each time. When the last load met a digest
  // line (HasDigest()) right after such a line end, Unsign drops it: saved
  // with SaveFlags::Digest the document then gives the signed file byte for
  // byte, and edited, the signed file with the edit. Returns whether a line
  // end was dropped; a second call drops nothing.
  bool Unsign();

  // ---- The document as a whole --------------------------------------------------

  // The file of the last Load, failed or not; empty before any.
  std::filesystem::path FileName() const;
  // The version that the last load read: 1 to 3, -1 for a version line with
  // another number, 1 for a file without one; 3 for a new document.
  int32_t Version() const;
  // Whether the last load read UTF-16 (the file began with FF FE). Saving
  // writes UTF-16, but for a layout-keeping save, which keeps the file's
  // own encoding.
  bool LoadedUtf16() const;
  // The code page of the ANSI files that later loads read.
  uint32_t CodePage() const;
  // Sets CodePage(). Returns 0, or LibraryStatus::UnknownCodePage (with the
  // code page as Detail()) when this system cannot convert it; the code page
  // then stays.
  Status SetCodePage(uint32_t codePage);
  // Whether the last load met the end marker followed by a well-formed
  // digest line, whether or not it checked the digest.
  bool HasDigest() const;
  // Whether the document remembers the text of the file it was loaded from
  // (LoadFlags::KeepLayout), for a save with SaveFlags::KeepLayout.
  bool KeepsLayout() const;
  // Whether a change was made since the last load. A change that changes
  // nothing (Set of the one value a key has, a rename to the same name) is
  // none.
  bool Modified() const;
  // Whether the last load read a text with line feeds and no CR LF: a file
  // whose lines end in LF alone, which the format reads as one line.
  bool LineFeedsOnly() const;
  // The comment and blank lines before the version line, and after the
  // last entry, as a load that kept comments read them; "" otherwise.
  std::string LeadingText() const;
  std::u16string LeadingText16() const;
  std::string TrailingText() const;
  std::u16string TrailingText16() const;

  // ---- Reading ---------------------------------------------------------------------

  // How many sections the document holds (each of a repeated name counts).
  size_t SectionCount() const;
  // Every section in order, for range-for; views that change the document
  // when it is not const (qds/views.h).
  SectionRange Sections() const;
  MutableSectionRange Sections();
  // The first section of that name, if any.
  std::optional<Section> FindSection(TextRef section) const;
  std::optional<MutableSection> FindSection(TextRef section);
  // The value at `index` (0 for the first) of `key` of `section`, as stored:
  // double quotes included, "" for a bare key. Returns a ReadStatus: 0,
  // 10 (no such section) or 11 (no such key or index), *text then unchanged.
  Status Get(TextRef section, TextRef key, size_t index, std::string* text) const;
  Status Get(TextRef section, TextRef key, size_t index, std::u16string* text) const;
  // Every value of `key` of `section`, in order, into *texts (replacing what
  // it held). Returns 0, 10 or 11 as Get.
  Status GetAll(TextRef section, TextRef key, std::vector<std::string>* texts) const;
  Status GetAll(TextRef section, TextRef key, std::vector<std::u16string>* texts) const;
  // The value expanded with `table`, as GetEntry reads it: without its
  // enclosing double quotes unless ReadFlags::KeepQuotes, with "if" tested
  // the old way in a document before version 2, "" for an empty value or a
  // bare key; expanded as Expand(SymbolTable&, ...) does (one run with
  // 65536 units of room, a second when the first asks for more). Returns a
  // ReadStatus: 0; 8 with the ExpandStatus as Detail() and Position() where
  // in the value it stopped, and GetExpansionError() telling it too (its
  // excerpt) unless only the output did not fit; LibraryStatus 35 for a
  // stale view or one of another document.
  Status Expand(const Value& value, SymbolTable& table, std::string* out, ReadFlags flags = {});
  Status Expand(const Value& value, SymbolTable& table, std::u16string* out, ReadFlags flags = {});

  // ---- Changing ----------------------------------------------------------------------
  //
  // Every text that a change writes is checked first: a section name, key or
  // value that the file format cannot hold, or that a load would read back
  // differently, is refused with LibraryStatus 30 (section name), 31 (key) or
  // 32 (value) and a Reason: a NUL or a line end in it, U+001A at its start,
  // bytes that are not UTF-8 in a UTF-8 TextRef; an empty section name or
  // key; "[" or "]" in a section name, or one beginning with "$version" (any
  // case) or being "$end$"; "=" in a key, or a key beginning with ";" or
  // "["; white space at either end of a key or value. A refused change
  // changes nothing. Names that are only looked up are not checked.
  //
  // What is not changed keeps its place and its comments. New sections go
  // after the last section, new keys after the last key of their section,
  // new values after the last value of their key, each without a comment.
  // A removed line's comment and blank lines stay: they move to the next
  // line that a save writes (the indentation of the removed line goes). A
  // save that keeps the file's layout (SaveFlags::KeepLayout) writes the
  // file's own lines instead, and a removed line goes there with the
  // comment lines right above it (docs/qds-format.md). A change that
  // removes, replaces or renames makes every view stale; the same changes
  // made through views (qds/views.h) keep the views of what is still there.

  // Gives `key` of `section` the one value `value`: its first value takes
  // the new text (in its place, with its comment) and any others go; a
  // missing section or key is made. Returns 0, 30, 31 or 32.
  Status Set(TextRef section, TextRef key, TextRef value);
  // Adds `value` after the values of `key` of `section`, making the section
  // or key when missing. Returns 0, 30, 31 or 32.
  Status Add(TextRef section, TextRef key, TextRef value);
  // Removes the value at `index` of `key` of `section`, and the key with its
  // last value. Returns a ReadStatus: 0, 10 or 11.
  Status RemoveValue(TextRef section, TextRef key, size_t index);
  // Removes `key` with all its values from the first section of that name.
  // Returns 0, 10 or 11.
  Status RemoveKey(TextRef section, TextRef key);
  // Removes every section of that name. Returns 0 or 10.
  Status RemoveSection(TextRef section);
  // Gives the first section named `from` the name `to`. Returns 0, 10, 30,
  // or 33 (Reason::SectionExists) when another section bears `to`; the same
  // name in other letter case is no other name.
  Status RenameSection(TextRef from, TextRef to);
  // Gives `from` of `section` the name `to`. Returns 0, 10, 11, 31, or 33
  // (Reason::KeyExists) when another key of the section bears `to`.
  Status RenameKey(TextRef section, TextRef from, TextRef to);

  // ---- Low level: by position, into caller buffers ----------------------------------
  //
  // Operations kept as they always were, for the callers written against
  // them (knitfold merges through the merge that qds/merge.h publishes).
  // Names are terminated UTF-16; a null name finds nothing. Lengths of
  // caller buffers count UTF-16 units including the terminating zero; a
  // length parameter is in/out: the capacity in, the size that the full text
  // needs out. A capacity of 0 means no room: nothing is written there.
  // None of these checks the texts it is given.

  uint32_t GetSectionCount() const;
  // Copies the name of the section at `position` into `buffer` (null: only
  // the size). Returns 0; 9 with *length the size needed, `buffer`
  // untouched; 10 when there is no such section, *length untouched.
  [[nodiscard]] ReadStatus GetSectionName(uint32_t position, char16_t* buffer, uint32_t* length);
  // The entries (values) of the first section named `section`, of all its
  // keys or of `key` alone (null: all); 0 when there is no such section or
  // key.
  uint32_t CountEntries(const char16_t* section, const char16_t* key);
  // The same for the section at `sectionPosition`.
  uint32_t CountEntriesAt(uint32_t sectionPosition, const char16_t* key);
  // Reads the entry at flat `position` of the first section named `section`
  // (its keys in order, each key's values in order): the key into
  // keyBuffer, the value into valueBuffer. A longer text arrives cut to
  // capacity - 1 units and terminated. The value is read without its
  // enclosing double quotes unless ReadFlags::KeepQuotes; with
  // ReadFlags::Expand and a symbol table attached (SetSymbolTable), it is
  // expanded. An empty value or bare key reads as "" with status 0, its
  // value length untouched. Returns 0; 8 (the expansion failed:
  // GetExpansionError); 9 (a buffer too small or null: both lengths hold the
  // sizes needed, to read again with; the read again runs the value's
  // commands again, a %!set()% twice); 10; 11 (no entry at `position`).
  [[nodiscard]] ReadStatus GetEntry(const char16_t* section, uint32_t position, char16_t* keyBuffer,
                                    uint32_t* keyLength, char16_t* valueBuffer,
                                    uint32_t* valueLength, ReadFlags flags);
  // The same for the section at `sectionPosition`.
  [[nodiscard]] ReadStatus GetEntryAt(uint32_t sectionPosition, uint32_t position,
                                      char16_t* keyBuffer, uint32_t* keyLength,
                                      char16_t* valueBuffer, uint32_t* valueLength,
                                      ReadFlags flags);
  // Adds `value` to `key` of the first section named `section`, making the
  // section (after all others) and the key (after the section's keys) when
  // they are missing; a `position` below the key's value count replaces the
  // value there, any other (kAppendPosition) appends. Always returns 1.
  int SetEntry(const char16_t* section, const char16_t* key, uint32_t position,
               const char16_t* value);
  // Attaches `table` (or none) for GetEntry's ReadFlags::Expand and returns
  // it. The document does not own the table, which must outlive every such
  // read.
  SymbolTable* SetSymbolTable(SymbolTable* table);
  SymbolTable* GetSymbolTable() const;
  // The ExpandStatus of the last failed expanding read (0 before any) and,
  // in *context when given, up to 50 units of the value around the failure,
  // terminated; both stay until the next failure. *context points into the
  // document, valid until that failure or the document's end.
  uint32_t GetExpansionError(const char16_t** context) const;
  // Where in the value the last expanding read stopped: the position of its
  // failure, 0 after a success or when only its output did not fit.
  uint32_t GetExpansionErrorPosition() const;

 private:
  friend struct detail::Internals;
  std::unique_ptr<detail::DocumentState> state_;
};

}  // namespace qds

#endif  // KNITFOLD_QDS_DOCUMENT_H_
