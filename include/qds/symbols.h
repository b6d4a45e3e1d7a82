// The expansion language of QDS values (docs/expansion.md): the SymbolTable
// that expansions read and change, the expansion of a text, and the
// expression evaluator of its "if" and "eval" commands.
//
//   %name%           the symbol's value (nothing when it is absent)
//   %%               one "%"
//   %`text`%         the text unchanged
//   %!name(args)%    what the command produces
//
// Several threads may call the const functions of one table at once; a
// change of it, and an expansion with it, needs the table to itself.
// Nothing is locked.

#ifndef KNITFOLD_QDS_SYMBOLS_H_
#define KNITFOLD_QDS_SYMBOLS_H_

#include <qds/export.h>
#include <qds/flags.h>
#include <qds/status.h>
#include <qds/text.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qds {

namespace detail {
struct SymbolStore;
struct Internals;
}  // namespace detail

// The named text values that an expansion substitutes for %name%, and that
// its commands read and change; the commands of the language come with it.
// Names compare exactly, or in a case-insensitive table with A-Z equal to
// a-z (nothing else folded); a name keeps the spelling it was created
// with. A script's own commands are stored under "!" + name. Finding a
// symbol costs constant time however many the table holds.
class QDS_API SymbolTable {
 public:
  // An empty table, with the commands of the language.
  explicit SymbolTable(bool caseInsensitive = true);
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;
  ~SymbolTable();

  // Creates the symbol when it is absent, then gives it `value`.
  void Set(TextRef name, TextRef value);
  // True with a copy of the value in *value when `name` is present; false,
  // with *value unchanged, otherwise.
  bool Get(TextRef name, std::string* value) const;
  bool Get(TextRef name, std::u16string* value) const;
  // True when the symbol was present and is now removed.
  bool Remove(TextRef name);
  // Removes every symbol and releases the memory they took.
  void Clear();
  // How many symbols the table holds, and whether its names fold A-Z.
  size_t Count() const;
  bool CaseInsensitive() const;
  // Calls `visit` for every symbol, in no particular order; `visit` must
  // not change the table.
  void ForEach(
      const std::function<void(std::u16string_view name, std::u16string_view value)>& visit) const;

 private:
  friend struct detail::Internals;
  std::unique_ptr<detail::SymbolStore> store_;
};

// Expands `text` with `table` into *out. The expansion runs with room for
// 65536 units; when that is too little, the symbols that its commands
// changed are put back as they were and it runs once more with the room the
// first run asked for, so that each command takes effect once.
// *out receives what was produced, also on failure (as far as it got).
// Returns an ExpandStatus: 0, or the failure with Position() where in
// `text` it was found (0 when only the output did not fit:
// BufferTooSmall after the second run as well).
QDS_API Status Expand(SymbolTable& table, TextRef text, std::string* out, ExpandFlags flags = {});
QDS_API Status Expand(SymbolTable& table, TextRef text, std::u16string* out,
                      ExpandFlags flags = {});

// Evaluates an expression of the "if" and "eval" commands into its decimal
// value, *result. Returns an ExpandStatus: 0, or 11-18 with *result
// unchanged. The empty expression gives "0".
QDS_API Status Evaluate(TextRef expression, std::string* result);
QDS_API Status Evaluate(TextRef expression, std::u16string* result);

// The "if" condition of documents of version 1: at most one comparison (=
// < <= > >= != between the texts on either side, blanks included) or a "!"
// that negates the truth of the text after it; without an operator, the
// truth of the whole text (false: "", "0", and a beginning of "false" or
// "no" in any case).
QDS_API bool EvaluateLegacyCondition(TextRef condition);

}  // namespace qds

#endif  // KNITFOLD_QDS_SYMBOLS_H_
