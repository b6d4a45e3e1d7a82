// SourceLayout: the file that a document was loaded from, as it stood (its
// bytes, in its own encoding), and which of its lines each section header and
// entry line was, so that a save can write the file again changing only the
// lines that the document's changes name.
//
// The file's lines are `items` (a header or an entry line, with the node that
// it made) and the text between them (comment and blank lines, the version
// line, whatever the load skipped). A node keeps its item while it lives:
// the edits of the model tell the layout about every node that they remove,
// replace or rename (model/document_edits.h), so that a node the layout does
// not know is one that a change made, and an item whose node is gone is a
// line that a change removed.

#ifndef KNITFOLD_MODEL_SOURCE_LAYOUT_H_
#define KNITFOLD_MODEL_SOURCE_LAYOUT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/node_pool.h"

namespace qds {

class ListNode;
class QdsKey;
class QdsSection;
class QdsValue;

class SourceLayout {
 public:
  // A header or entry line: bytes [start, end) of the file, its line end
  // included.
  struct Item {
    uint64_t start;
    uint64_t end;
    NodePool::Reference node;
    bool header;
    // The value's text or the section's name is no longer the line's.
    bool changed;
  };

  SourceLayout(bool utf16, uint32_t codePage) : utf16_(utf16), codePage_(codePage) {}
  SourceLayout(const SourceLayout&) = delete;
  SourceLayout& operator=(const SourceLayout&) = delete;

  // ---- Made by a load
  // Room for a file of `bytes` bytes, whose lines are about as many as its
  // bytes make of lines of kExpectedLineBytes.
  void Reserve(uint64_t bytes);
  // The file's bytes, appended as they are read; or all of them, lying in
  // memory that outlives the layout (the document's text blocks).
  void AppendBytes(const void* bytes, size_t count);
  void BorrowBytes(std::string_view bytes) { borrowed_ = bytes; }
  // The next item, starting at byte `start`, made by `node`; it ends where
  // the next line starts (EndItem).
  void AddItem(uint64_t start, const ListNode* node, bool header);
  void EndItem(uint64_t end);
  // The end marker's "[" stands at byte `at`; `checkLine`: a well-formed
  // check line follows it.
  void SetEndMarker(uint64_t at, bool checkLine) {
    endMarker_ = at;
    signed_ = checkLine;
  }
  // A version header starts at `at` (the first is the version line; a load
  // ignores any later one); it ends where the next line starts (EndItem),
  // which may be lines later: a header's name runs to its "]".
  void AddVersionHeader(uint64_t at) {
    if (!versionLine_) versionLine_ = at;
    versionHeaderOpen_ = true;
  }
  // The text's last line, from `at`, is one that the load dropped (a header
  // without its "]", a key without "="): what the file gains at its end
  // goes before it.
  void SetUnfinishedLine(uint64_t at) { unfinishedLine_ = at; }
  // Files every item under its node, once the load has made them all.
  void FileItems();
  // Item positions given in characters of the loaded text become bytes.
  // False when the text's line ends do not match the bytes' (the layout is
  // then of no use).
  bool PositionsToBytes(std::u16string_view text);

  // ---- Told by the edits
  // The node leaves the document with everything it holds.
  void Forget(const QdsValue* value);
  void Forget(const QdsKey* key);
  void Forget(const QdsSection* section);
  // `fresh` takes the place of `replaced` with another text.
  void Replaced(const ListNode* replaced, const ListNode* fresh);
  // A section or a key got another name.
  void Renamed(const ListNode* node);

  // ---- Read by a save
  bool Utf16() const { return utf16_; }
  uint32_t CodePage() const { return codePage_; }
  std::string_view Bytes() const { return borrowed_.data() != nullptr ? borrowed_ : bytes_; }
  const std::vector<Item>& Items() const { return items_; }
  // The item of a section or value node, or none for a node that the file
  // did not hold.
  std::optional<uint32_t> ItemOf(const ListNode* node) const;
  // The same, where `likely` is the item that the node probably made: a
  // walk of the document in the file's order finds its nodes' items one
  // after another, and a look at the next spares a search of the table.
  std::optional<uint32_t> ItemOf(const ListNode* node, uint32_t likely) const;
  // Whether the item's node is still in the document.
  bool Alive(uint32_t item) const { return items_[item].node != kNoNode; }
  bool IsRenamedKey(const ListNode* key) const;
  std::optional<uint64_t> EndMarker() const { return endMarker_; }
  std::optional<uint64_t> UnfinishedLine() const { return unfinishedLine_; }
  std::optional<uint64_t> VersionLine() const { return versionLine_; }
  // Where the line after the version line starts.
  std::optional<uint64_t> VersionLineEnd() const;
  // Where the line after the last version header that ends by `at` starts:
  // the lines before it may look like comments, and are the header's.
  std::optional<uint64_t> VersionHeaderEndBefore(uint64_t at) const;
  bool Signed() const { return signed_; }

 private:
  static constexpr uint32_t kRenamedKey = UINT32_MAX;
  // The node of an item whose node left the document (no node has it).
  static constexpr NodePool::Reference kNoNode = 0;
  static constexpr uint64_t kExpectedLineBytes = 64;

  // Which item each node made: a table of open addressing, as every line of
  // a file is filed once and found once or twice, and a table that asks for
  // memory per entry would cost a load of a large file more than its
  // parse. An entry of no node is free.
  struct Entry {
    NodePool::Reference node;
    uint32_t item;
  };
  size_t SlotOf(NodePool::Reference node) const;
  const Entry* Find(NodePool::Reference node) const;
  void File(NodePool::Reference node, uint32_t item);
  void Unfile(NodePool::Reference node);
  void GrowTable(size_t entries);

  std::optional<uint32_t> ItemOfReference(NodePool::Reference node) const;

  bool utf16_;
  uint32_t codePage_;
  std::string bytes_;
  std::string_view borrowed_;
  std::vector<Item> items_;
  std::vector<Entry> table_;  // a power of two entries, at most half in use
  size_t filed_ = 0;
  bool keysRenamed_ = false;  // whether any key was renamed
  std::optional<uint64_t> endMarker_;
  std::optional<uint64_t> unfinishedLine_;
  std::optional<uint64_t> versionLine_;
  // Where the line after each version header starts, in the file's order.
  std::vector<uint64_t> versionHeaderEnds_;
  bool versionHeaderOpen_ = false;
  bool signed_ = false;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_SOURCE_LAYOUT_H_
