// EntryWindow: the entry lines that a load has read but not yet joined to
// their sections' keys, for a loader that appends a file's entries in order.
//
// Finding a line's key in the name index of a section of very many keys
// waits for memory once per line. The window asks for that memory when the
// line has been read and looks the key up kLines lines later, so that the
// waits of successive lines overlap instead of adding up; a line of a
// smaller section joins at once. Lines join strictly in the order they were
// read, so the document ends exactly as if each had joined at once: the
// first spelling of a key names it and its values keep their order.

#ifndef KNITFOLD_MODEL_ENTRY_WINDOW_H_
#define KNITFOLD_MODEL_ENTRY_WINDOW_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/qds_nodes.h"

namespace qds {

class EntryWindow {
 public:
  // How many lines are read ahead of the one that joins.
  static constexpr uint32_t kLines = 32;
  // Lines of a section with at least this many keys go through the window.
  static constexpr uint32_t kWideSection = 4096;

  EntryWindow() = default;
  EntryWindow(const EntryWindow&) = delete;
  EntryWindow& operator=(const EntryWindow&) = delete;

  // A complete entry line of `section`: its key's `name`, which lies in the
  // document's text, and its `value`, which the window owns until the line
  // joins. `repeat` tells that the line repeats the previous entry line's
  // key exactly, in the same section: it joins that line's key unsearched.
  void Add(QdsSection* section, std::u16string_view name, bool repeat, QdsValue* value);
  // Joins every line added so far. The loader calls it before it returns,
  // whether the load failed or not.
  void JoinAll();
  // `section` has all its lines, and its keys are not searched again while
  // the document is read in order: joins the lines and lets the keys' name
  // index go, which the first search builds again.
  void CloseSection(QdsSection* section);

 private:
  struct Line {
    QdsSection* section;
    QdsValue* value;
    std::u16string_view name;
    std::optional<uint32_t> hash;  // NameIndex::Hash(name), where the section is indexed
    bool repeat;
  };

  void JoinOldest();

  Line lines_[kLines];
  uint32_t oldest_ = 0;
  uint32_t count_ = 0;
  QdsKey* lastKey_ = nullptr;  // where the line that joined last went
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_ENTRY_WINDOW_H_
