// Views of the parts of a QdsDocument: a Section, a Key of a section, a
// Value of a key (one entry line), and ranges that range-for walks in
// document order:
//
//   for (qds::Section section : document.Sections())
//     for (qds::Key key : section.Keys())
//       for (qds::Value value : key.Values()) use(key.Name(), value.Text());
//
// A view is a small handle, cheap to copy; its texts are copies. It stays
// valid while the document keeps its parts: adding (Add, Set creating a key,
// SetEntry appending, Load) keeps every view valid, and a walk then also
// reaches what was appended at the end. Every change that removes, renames
// or replaces a part makes every view of the document stale: a stale view
// reads as empty ("", 0, an empty range) and its walk ends. A view follows
// its document through a move: after `a = std::move(b)` the views of b show
// a's parts, while the views that a had are stale. A view must not outlive
// its document. Threads may share a view's functions, reads of its
// document, as they share the document's const functions, but never with a
// change of the document.

#ifndef KNITFOLD_QDS_VIEWS_H_
#define KNITFOLD_QDS_VIEWS_H_

#include <qds/export.h>
#include <qds/text.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

namespace qds {

namespace detail {
struct DocumentState;
struct ViewSlot;
struct Internals;
// Which part of which document a view shows. `slot` and `node` are words
// that only the library reads (the slot, where the document keeps its
// generation, outlives the document); `generation` tells a stale view from a
// valid one.
struct Handle {
  const ViewSlot* slot = nullptr;
  std::uintptr_t node = 0;
  uint64_t generation = 0;
};
// The handle of the part after `handle`'s in its list; an empty handle at
// the end of the list, and for a stale handle.
QDS_API Handle NextHandle(const Handle& handle);
}  // namespace detail

// The parts of a document in order, for range-for; a forward range.
template <class View>
class Range {
 public:
  class Iterator {
   public:
    using iterator_concept = std::forward_iterator_tag;
    using iterator_category = std::forward_iterator_tag;
    using value_type = View;
    using reference = View;
    using difference_type = std::ptrdiff_t;

    Iterator() = default;
    View operator*() const { return View(handle_); }
    Iterator& operator++() {
      handle_ = detail::NextHandle(handle_);
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) {
      return a.handle_.node == b.handle_.node;
    }

   private:
    friend class Range;
    explicit Iterator(const detail::Handle& handle) : handle_(handle) {}
    detail::Handle handle_;
  };

  Iterator begin() const { return Iterator(first_); }
  Iterator end() const { return Iterator(); }
  bool empty() const { return first_.node == 0; }

 private:
  friend class Section;
  friend class Key;
  friend class QdsDocument;
  explicit Range(const detail::Handle& first) : first_(first) {}
  detail::Handle first_;
};

class Key;
class Value;

// One section: a header line and the entries under it.
class QDS_API Section {
 public:
  // The name as the header spells it; "" for the unnamed section of a
  // lenient load.
  std::string Name() const;
  std::u16string Name16() const;
  // The comment and blank lines before the header, as a load that kept
  // comments read them (line ends included); "" otherwise.
  std::string Comment() const;
  std::u16string Comment16() const;
  // Its keys in order, and how many entries (the values of all its keys)
  // it holds.
  size_t KeyCount() const;
  size_t EntryCount() const;
  Range<Key> Keys() const;
  // The first key of that name (A-Z folded), if any.
  std::optional<Key> FindKey(TextRef key) const;

 private:
  friend class Range<Section>;
  friend struct detail::Internals;
  explicit Section(const detail::Handle& handle) : handle_(handle) {}
  detail::Handle handle_;
};

// One key of a section, with its values in the order of their lines.
class QDS_API Key {
 public:
  // The name as its first line spells it.
  std::string Name() const;
  std::u16string Name16() const;
  // Its values, in the order of their lines.
  size_t ValueCount() const;
  Range<Value> Values() const;

 private:
  friend class Range<Key>;
  friend struct detail::Internals;
  explicit Key(const detail::Handle& handle) : handle_(handle) {}
  detail::Handle handle_;
};

// One value of a key: one entry line.
class QDS_API Value {
 public:
  // The value as stored, double quotes included; "" for a bare key.
  std::string Text() const;
  std::u16string Text16() const;
  // The value as reads give it: without a pair of double quotes that
  // opens and closes it (an inner quote stays).
  std::string Unquoted() const;
  std::u16string Unquoted16() const;
  // The comment and blank lines before the entry line, and the line's own
  // indentation, as a load that kept comments read them; "" otherwise.
  std::string Comment() const;
  std::u16string Comment16() const;
  // Whether the line was a key without "=" (only a lenient load reads one).
  bool IsBareKey() const;

 private:
  friend class Range<Value>;
  friend struct detail::Internals;
  explicit Value(const detail::Handle& handle) : handle_(handle) {}
  detail::Handle handle_;
};

using SectionRange = Range<Section>;
using KeyRange = Range<Key>;
using ValueRange = Range<Value>;

}  // namespace qds

#endif  // KNITFOLD_QDS_VIEWS_H_
