// What the library's public classes hold behind their interface, and the
// library's own way in: a QdsDocument's DocumentState (its model, the state
// of its expanding reads, what its last load found), a SymbolTable's store,
// the details of a Status, and the parts that views show.

#ifndef KNITFOLD_DOCUMENT_DOCUMENT_STATE_H_
#define KNITFOLD_DOCUMENT_DOCUMENT_STATE_H_

#include <qds/document.h>
#include <qds/status.h>
#include <qds/symbols.h>
#include <qds/views.h>

#include <cstdint>

#include "document/view_slot.h"
#include "expansion/symbol_map.h"
#include "model/document_model.h"
#include "model/removed_nodes.h"
#include "qdsfile/file_lock.h"

namespace qds::detail {

struct DocumentState {
  DocumentModel model;
  // The lock of the file that LoadForChange read, held until the document
  // ends or loads for a change again.
  FileLock lock;
  // Where its views check their generation, which every change that
  // removes, renames or replaces a part raises (InvalidateViews): a view
  // made before is stale. Changes through views raise it not: what they
  // remove is kept in `removed` until then, for the views on it.
  ViewAnchor views{this};
  RemovedNodes removed;
  // What the last load found after the end marker: a well-formed digest
  // line, and before the marker a line end that the trailing text kept.
  bool hasDigest = false;
  bool signingLineEnd = false;
  // Whether the last load read lines that end in LF alone.
  bool lineFeedsOnly = false;
  // Whether a change was made since the last load.
  bool modified = false;
  // Attached for reads with ReadFlags::Expand; not owned.
  SymbolTable* symbolTable = nullptr;
  // Where the last expansion stopped: the position of its failure in the
  // value, or 0.
  int32_t expansionErrorPos = 0;
  // The last failed expansion: its status (0 before any), and up to 50
  // characters of the value around the failure, terminated.
  uint32_t expansionErrorStatus = 0;
  char16_t errorContext[52] = {};

  void InvalidateViews() {
    views.Invalidate();
    removed.DeleteAll();
  }
};

struct SymbolStore {
  explicit SymbolStore(bool caseInsensitive);
  SymbolMap map;
};

// What a Status carries besides its table and number.
struct StatusDetails {
  Reason reason = Reason::None;
  int32_t detail = 0;
  uint32_t where = 0;    // a syntax error's line, an expansion's position
  bool located = false;  // `where` is a position
  int32_t systemCode = 0;
  bool systemCodeFromRuntime = true;
};

struct Internals {
  // The state of `document`, made for a moved-from document.
  static DocumentState& State(QdsDocument& document);
  // The state for reading: an empty one for a moved-from document.
  static const DocumentState& State(const QdsDocument& document);
  static SymbolMap& Map(SymbolTable& table) { return table.store_->map; }
  static const SymbolMap& Map(const SymbolTable& table) { return table.store_->map; }

  static Status MakeStatus(Status status, const StatusDetails& details);
  // The status of a read or change by name that did not find what it
  // names: `missing` as FindSectionKey gives it, NoSection naming `section`
  // or NoEntry naming `section` and `key`; MissingValue for the value at
  // `index` of a key that has fewer.
  static Status Missing(ReadStatus missing, TextRef section, TextRef key);
  static Status MissingValue(TextRef section, TextRef key, size_t index);

  // The handle of `node` of `state` (an empty one for none), of `node` of
  // the document that the current `handle` shows, and the node of a view:
  // null for a stale view, and for one of another document than `state`
  // when that is given.
  static Handle HandleOf(const DocumentState& state, const ListNode* node) {
    if (node == nullptr) return Handle();
    return Handle{state.views.slot(), reinterpret_cast<std::uintptr_t>(node),
                  state.views.generation()};
  }
  static Handle HandleBeside(const Handle& handle, const ListNode* node) {
    if (node == nullptr) return Handle();
    return Handle{handle.slot, reinterpret_cast<std::uintptr_t>(node), handle.generation};
  }
  template <class Node, class View>
  static const Node* NodeOf(const View& view, const DocumentState* state = nullptr) {
    return static_cast<const Node*>(Current(view.handle_, state));
  }
  static const ListNode* Current(const Handle& handle, const DocumentState* state);
  // Views and their ranges are made only here. A range of a list of
  // `count` parts, the first shown by `first`.
  template <class View>
  static View MakeView(const Handle& handle, const typename View::Holders& holders = {}) {
    return View(handle, holders);
  }
  template <class View>
  static Range<View> MakeRange(const Handle& first, uint32_t count,
                               const typename View::Holders& holders = {}) {
    return Range<View>(first, count, holders);
  }
  // The state of the document of a view that changes it, and the nodes
  // that hold its part.
  template <class View>
  static DocumentState& OwnerOf(const View& view) {
    return *view.handle_.slot->owner;
  }
  template <class View>
  static QdsSection* SectionOf(const View& view) {
    return reinterpret_cast<QdsSection*>(view.holders_.section);
  }
  template <class View>
  static QdsKey* KeyOf(const View& view) {
    return reinterpret_cast<QdsKey*>(view.holders_.key);
  }
};

}  // namespace qds::detail

#endif  // KNITFOLD_DOCUMENT_DOCUMENT_STATE_H_
