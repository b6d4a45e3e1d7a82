// DocumentModel: the contents of one QDS file in memory (its sections, keys
// and values, and what the file said around them), with the operations that
// read and extend them by position and name. Loading and saving a model is
// the QDS file format's part (qdsfile/); QdsDocument (document/) puts the
// two behind the library's interface.
//
// Lengths of caller buffers are counts of UTF-16 units including the
// terminating zero. A length parameter is in/out: the capacity in, the size
// that the full text needs out. A capacity of 0 means no room; nothing is
// written into such a buffer. Statuses are the library's (<qds/status.h>),
// read flags the bits of its ReadFlags.
//
// Section and key names meet under a comparison that folds only A-Z; the
// first match in list order wins. The model owns its sections.

#ifndef KNITFOLD_MODEL_DOCUMENT_MODEL_H_
#define KNITFOLD_MODEL_DOCUMENT_MODEL_H_

#include <qds/flags.h>
#include <qds/status.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/node_pool.h"
#include "model/qds_nodes.h"
#include "model/source_layout.h"
#include "model/text_blocks.h"
#include "model/text_slice.h"

namespace qds {

// What a read does with a value instead of copying it, given by a reader
// that expands values: the value (its enclosing quotes already removed
// unless ReadFlags::KeepQuotes) goes into the caller's value buffer and length as
// GetEntry's contract says. `keyCut` tells that the key did not fit its
// buffer.
class ValueExpander {
 public:
  virtual ReadStatus Expand(std::u16string_view value, bool keyCut, char16_t* valueBuffer,
                            uint32_t* valueLength) = 0;

 protected:
  ~ValueExpander() = default;
};

// `value` without a pair of double quotes that opens and closes it, as the
// reads give a value unless ReadFlags::KeepQuotes: an inner quote stays.
std::u16string_view WithoutEnclosingQuotes(std::u16string_view value);

// An entry as a read sees it before copying anything: its nodes, its key's
// name, and the value that the read gives.
struct EntryView {
  QdsKey* key;
  QdsValue* value;
  std::u16string_view keyText;
  // Empty for a bare key or an empty value (`noValue`: such a value reads
  // as empty and never fails for want of room); else the value without its
  // enclosing double quotes unless ReadFlags::KeepQuotes.
  std::u16string_view valueText;
  bool noValue;

  // `value` of `key` as a read with `flags` gives it.
  static EntryView Of(QdsKey* key, QdsValue* value, ReadFlags flags);
  // Whether a read into buffers of these capacities fits: the texts that
  // the buffers receive are then ReadPart(text, capacity).
  bool Fits(uint32_t keyCapacity, uint32_t valueCapacity) const;
};

// The part of `text` that a buffer of `capacity` (at least 1) units receives
// before its terminating zero.
inline std::u16string_view ReadPart(std::u16string_view text, uint32_t capacity) {
  return text.substr(0, capacity - 1);
}

class DocumentModel {
 public:
  DocumentModel();
  DocumentModel(const DocumentModel&) = delete;
  DocumentModel& operator=(const DocumentModel&) = delete;

  uint32_t GetSectionCount() const { return sections.count(); }
  // Copies the name of the section at `position` into `buffer`.
  [[nodiscard]] ReadStatus GetSectionName(uint32_t position, char16_t* buffer, uint32_t* length);
  // Entries of the first section named `section` (all keys, or only `key`
  // when it is given); 0 when there is no such section or key.
  uint32_t CountEntries(const char16_t* section, const char16_t* key);
  // The same for the section at `sectionPosition`.
  uint32_t CountEntriesAt(uint32_t sectionPosition, const char16_t* key);
  // Reads the entry at flat `position` of the first section named `section`:
  // the key into keyBuffer, the value into valueBuffer, without its
  // enclosing double quotes unless `flags` has ReadFlags::KeepQuotes. With an
  // `expander`, a value that is not empty goes through it instead of being
  // copied.
  [[nodiscard]] ReadStatus GetEntry(const char16_t* section, uint32_t position, char16_t* keyBuffer,
                                    uint32_t* keyLength, char16_t* valueBuffer,
                                    uint32_t* valueLength, ReadFlags flags,
                                    ValueExpander* expander = nullptr);
  // The same for the section at `sectionPosition`.
  [[nodiscard]] ReadStatus GetEntryAt(uint32_t sectionPosition, uint32_t position,
                                      char16_t* keyBuffer, uint32_t* keyLength,
                                      char16_t* valueBuffer, uint32_t* valueLength, ReadFlags flags,
                                      ValueExpander* expander = nullptr);
  // Adds `value` to `key` of `section`, making the section and key when they
  // are missing; a `position` below the key's value count replaces the value
  // there.
  void SetEntry(const char16_t* section, const char16_t* key, uint32_t position,
                const char16_t* value);
  // The entry at flat `position` of `section` (null: none) as GetEntry with
  // `flags` reads it: NoSection, NoEntry, or Ok with *entry set.
  [[nodiscard]] ReadStatus ViewEntry(QdsSection* section, uint32_t position, ReadFlags flags,
                                     EntryView* entry) const;
  // Appends `value`, a node in no list that the model takes, as SetEntry
  // does, with `*section` the first section of its name (null: none, and one
  // is made from `sectionName` and stored in *section) and `key` the first
  // key of its name there (null: none, and one is made from `keyName`). A
  // name that is not needed may be empty.
  void AppendEntry(QdsSection** section, QdsKey* key, TextSlice sectionName, TextSlice keyName,
                   QdsValue* value);

  // A load of a text of `characters` characters is starting: the node pool
  // readies the memory for the nodes that such a text makes.
  static void ExpectText(uint64_t characters) { NodePool::Expect(characters); }

  // What the file said besides its entries, as the loader found it and the
  // saver writes it.
  uint32_t utf16 = 0;  // 1 when the file was UTF-16
  uint32_t codePage;   // of an ANSI file: the system's ANSI code page until the file names one
  // Where the texts of the sections lie; declared first, so that it outlasts them.
  TextBlocks texts;
  NodeList<QdsSection> sections;
  std::u16string fileName;  // the file loaded, the own file of a save
  uint32_t errorLine = 0;   // the line of a syntax error
  TextSlice trailingText;
  int32_t version = 3;
  TextSlice leadingText;
  // The file as it stood, for a save that keeps its layout; null unless the
  // load was asked to keep it.
  std::unique_ptr<SourceLayout> layout;

 private:
  ReadStatus ReadEntry(QdsSection* section, uint32_t position, char16_t* keyBuffer,
                       uint32_t* keyLength, char16_t* valueBuffer, uint32_t* valueLength,
                       ReadFlags flags, ValueExpander* expander);
  QdsSection* FindSection(const char16_t* name) const;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_DOCUMENT_MODEL_H_
