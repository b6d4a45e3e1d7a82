// The flag sets of the library's operations, one type per operation, so that
// a flag meant for one cannot be given to another: `doc.Save(LoadFlags::Digest)`
// does not compile, and neither does `LoadFlags::Digest | SaveFlags::Digest`.
//
// The bit values are those of the file format's tools (qdstool's
// --load-flags and --save-flags take them as numbers): static_cast<LoadFlags>(n)
// gives the set of a number. Bits that a set does not name are ignored.

#ifndef KNITFOLD_QDS_FLAGS_H_
#define KNITFOLD_QDS_FLAGS_H_

#include <qds/export.h>

#include <cstdint>
#include <type_traits>

namespace qds {

// QdsDocument::Load.
enum class LoadFlags : uint32_t {
  None = 0,
  KeepComments = 0x01,  // keep comment and blank lines, so that a save writes them back
  Digest = 0x02,        // require the end marker and check the digest after it
  // Read an ANSI file in the code page that its version line declares
  // ("codepage N"), when this system converts it; CodePage() becomes it.
  DeclaredCodePage = 0x08,
  Lenient = 0x10,  // take entries before the first section, and keys without "="
  // Remember the file's own text (its encoding and every line's bytes), so
  // that a save with SaveFlags::KeepLayout changes only the lines that the
  // changes name. Kept only by a load into a document without sections.
  KeepLayout = 0x80,
};

// QdsDocument::Save and SaveTo.
enum class SaveFlags : uint32_t {
  None = 0,
  KeepComments = 0x01,  // write the comment text that a load kept
  Digest = 0x02,        // end the text with the end marker and the digest line (sign)
  OmitHeader = 0x04,    // leave out the leading text and the version line
  // Of a document that keeps its file's layout (QdsDocument::KeepsLayout):
  // write the file's own text, in its own encoding, with only the lines
  // that the changes name changed (docs/qds-format.md, "Layout-keeping
  // saves"); the other flags then do not apply, but Digest, which signs
  // an unsigned file. Of any other document: ignored.
  KeepLayout = 0x80,
};

// The reads of values: QdsDocument::GetEntry, GetEntryAt and Expand.
enum class ReadFlags : uint32_t {
  None = 0,
  Expand = 0x01,      // GetEntry: expand the value with the attached symbol table
  KeepQuotes = 0x02,  // keep the double quotes around a value
};

// Expand(SymbolTable&, ...).
enum class ExpandFlags : uint32_t {
  None = 0,
  NoCommands = 0x02,  // a command call fails with ExpandStatus::CommandsDisabled
  Legacy = 0x08,      // test "if" conditions as documents of version 1 do
};

// True for the four flag sets above: only they get the operators below.
template <class Flags>
inline constexpr bool kIsFlagSet = false;
template <>
inline constexpr bool kIsFlagSet<LoadFlags> = true;
template <>
inline constexpr bool kIsFlagSet<SaveFlags> = true;
template <>
inline constexpr bool kIsFlagSet<ReadFlags> = true;
template <>
inline constexpr bool kIsFlagSet<ExpandFlags> = true;

// The union and intersection of two sets of one type.
template <class Flags>
requires kIsFlagSet<Flags>
constexpr Flags operator|(Flags a, Flags b) {
  using Bits = std::underlying_type_t<Flags>;
  return static_cast<Flags>(static_cast<Bits>(a) | static_cast<Bits>(b));
}
template <class Flags>
requires kIsFlagSet<Flags>
constexpr Flags operator&(Flags a, Flags b) {
  using Bits = std::underlying_type_t<Flags>;
  return static_cast<Flags>(static_cast<Bits>(a) & static_cast<Bits>(b));
}
template <class Flags>
requires kIsFlagSet<Flags>
constexpr Flags& operator|=(Flags& a, Flags b) { return a = a | b; }

// Whether `set` holds every flag of `flags`.
template <class Flags>
requires kIsFlagSet<Flags>
constexpr bool Has(Flags set, Flags flags) { return (set & flags) == flags; }

}  // namespace qds

#endif  // KNITFOLD_QDS_FLAGS_H_
