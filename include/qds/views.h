// Views of the parts of a QdsDocument: a Section, a Key of a section, a
// Value of a key (one entry line), and ranges that range-for walks in
// document order:
//
//   for (qds::Section section : document.Sections())
//     for (qds::Key key : section.Keys())
//       for (qds::Value value : key.Values()) use(key.Name(), value.Text());
//
// A view is a small handle, cheap to copy; its texts are copies. A walk
// visits the parts that its list held when the range was made (Sections(),
// Keys(), Values()), so that a walk that adds ends; a part added meanwhile
// is reached only in the place of one removed ahead of the walk.
//
// A document that is not const gives views that also change it:
// MutableSection, MutableKey and MutableValue, each usable as the view it
// extends (a const document's views only read). A change through such a
// view keeps every view that shows a part still there valid, the walks it
// is part of included, which go on with the part after the one changed or
// removed:
//
//   for (qds::MutableSection section : document.Sections())
//     for (qds::MutableKey key : section.Keys())
//       if (key.Name() == "Obsolete") key.Remove(); else key.Add("more");
//
// A view of a part removed (or of what it held) is stale: it reads as empty
// ("", 0, an empty range), its walk ends, and its changes are refused with
// LibraryStatus 35 (StaleView). What such changes remove keeps its memory
// until a change makes every view stale, or the document ends.
//
// Adding through the document (Add, Set creating a key, SetEntry appending,
// Load) also keeps every view valid. Every other change made through the
// document itself, by name or position, makes every view of the document
// stale; a build without NDEBUG stops at an assertion when a walk goes on
// after such a change. A view follows its document through a move: after
// `a = std::move(b)` the views of b show a's parts, while the views that a
// had are stale. A view must not outlive its document. Threads may share a
// view's reads, as they share the document's const functions, but never
// with a change of the document, through a view or not.

#ifndef KNITFOLD_QDS_VIEWS_H_
#define KNITFOLD_QDS_VIEWS_H_

#include <qds/export.h>
#include <qds/status.h>
#include <qds/text.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>

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
// What holds the part of a view that changes it: its section and, for a
// value, its key (words only the library reads). Views that only read
// need none.
struct Holders {
  std::uintptr_t section = 0;
  std::uintptr_t key = 0;
};
struct NoHolders {
  NoHolders() = default;
  NoHolders(const Holders&) {}  // NOLINT: what holds a part, dropped
};
// The handle of the part after `handle`'s in its list, past parts removed
// through views; an empty handle at the end of the list, and for a stale
// handle (which a build without NDEBUG asserts against).
QDS_API Handle NextHandle(const Handle& handle);
}  // namespace detail

// The parts of a list in order, for range-for; a forward range.
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
    View operator*() const { return View(handle_, holders_); }
    // At most as many steps as the list held parts: a walk that adds ends.
    Iterator& operator++() {
      handle_ = --remaining_ != 0 ? detail::NextHandle(handle_) : detail::Handle();
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
    Iterator(const detail::Handle& handle, uint32_t remaining,
             const typename View::Holders& holders)
        : handle_(handle), remaining_(remaining), holders_(holders) {}
    detail::Handle handle_;
    uint32_t remaining_ = 0;
    [[no_unique_address]] typename View::Holders holders_{};
  };

  // A range of views that change is one of the views they extend.
  template <class Mutable, class = std::enable_if_t<std::is_base_of_v<View, Mutable>>>
  Range(const Range<Mutable>& other)  // NOLINT: as a view converts
      : first_(other.first_), count_(other.count_), holders_(other.holders_) {}

  Iterator begin() const { return Iterator(first_, count_, holders_); }
  Iterator end() const { return Iterator(); }
  bool empty() const { return first_.node == 0; }

 private:
  template <class>
  friend class Range;
  friend struct detail::Internals;
  Range(const detail::Handle& first, uint32_t count, const typename View::Holders& holders)
      : first_(first), count_(count), holders_(holders) {}
  detail::Handle first_;
  uint32_t count_;
  [[no_unique_address]] typename View::Holders holders_;
};

class Key;
class Value;
class MutableKey;
class MutableValue;

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

 protected:
  friend class Range<Section>;
  friend struct detail::Internals;
  using Holders = detail::NoHolders;
  explicit Section(const detail::Handle& handle, Holders = {}) : handle_(handle) {}
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

 protected:
  friend class Range<Key>;
  friend struct detail::Internals;
  using Holders = detail::NoHolders;
  explicit Key(const detail::Handle& handle, Holders = {}) : handle_(handle) {}
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

 protected:
  friend class Range<Value>;
  friend struct detail::Internals;
  using Holders = detail::NoHolders;
  explicit Value(const detail::Handle& handle, Holders = {}) : handle_(handle) {}
  detail::Handle handle_;
};

// The changes through views. Each checks the text it writes as the
// document's changes by name do, and returns their statuses: 0; 30, 31 or
// 32 for a refused text (nothing changed); LibraryStatus 35 (StaleView)
// for a stale view. The document's Modified() tells of them, a layout-
// keeping save writes them as it writes those changes.

// A section of a document that is not const.
class QDS_API MutableSection : public Section {
 public:
  Range<MutableKey> Keys() const;
  std::optional<MutableKey> FindKey(TextRef key) const;
  // Adds `value` after the values of `key`, making the key when missing
  // (after the section's keys), as QdsDocument::Add does.
  Status Add(TextRef key, TextRef value) const;
  // Removes this section with all it holds (not others of its name).
  Status Remove() const;

 private:
  friend class Range<MutableSection>;
  friend struct detail::Internals;
  explicit MutableSection(const detail::Handle& handle, Holders = {}) : Section(handle) {}
};

namespace detail {
// A view of a part that a section or key holds, with what holds it.
template <class View>
class Held : public View {
 protected:
  using Holders = detail::Holders;
  Held(const Handle& handle, const Holders& holders) : View(handle), holders_(holders) {}
  Holders holders_;
};
}  // namespace detail

// A key of a document that is not const.
class QDS_API MutableKey : public detail::Held<Key> {
 public:
  Range<MutableValue> Values() const;
  // Adds `value` after the key's values. A walk over them that began before
  // does not reach it.
  Status Add(TextRef value) const;
  // Removes the key with all its values.
  Status Remove() const;

 private:
  friend class Range<MutableKey>;
  friend struct detail::Internals;
  using Held::Held;
};

// A value of a document that is not const.
class QDS_API MutableValue : public detail::Held<Value> {
 public:
  // Gives the value the text `text` in its place, with its comment.
  Status Set(TextRef text) const;
  // Removes the value, and its key with its last value.
  Status Remove() const;

 private:
  friend class Range<MutableValue>;
  friend struct detail::Internals;
  using Held::Held;
};

using SectionRange = Range<Section>;
using KeyRange = Range<Key>;
using ValueRange = Range<Value>;
using MutableSectionRange = Range<MutableSection>;
using MutableKeyRange = Range<MutableKey>;
using MutableValueRange = Range<MutableValue>;

}  // namespace qds

#endif  // KNITFOLD_QDS_VIEWS_H_
