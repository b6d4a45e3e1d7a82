// Status: the outcome of a library operation, a small value that carries the
// operation's status number and what is known about a failure, and reads as
// text for a message.
//
// Each group of operations has its own table of numbers (the enums below);
// 0 is success in every table. The numbers are part of the interface and of
// qdstool's exit statuses: never renumber. Tables share some numbers
// (Table() tells them apart); LibraryStatus's 30-35 and 40 are its own, and
// 36-39 belong to the file tables.
// Nothing in the library throws, except std::bad_alloc when memory runs out.

#ifndef KNITFOLD_QDS_STATUS_H_
#define KNITFOLD_QDS_STATUS_H_

#include <qds/export.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qds {

// Which table a Status's number comes from.
enum class StatusTable : uint8_t { Load, Save, Read, Expand, Library };

// QdsDocument::Load.
enum class LoadStatus : int {
  Ok = 0,
  OpenFailed = 1,          // the file cannot be opened for another reason
  NotFound = 2,            // the file, or a folder of its path, does not exist
  AccessDenied = 3,        // the open was refused
  ReadFailed = 4,          // reading failed (a folder, a device error, the file changed meanwhile)
  SyntaxError = 7,         // the text breaks the format's grammar; Status::Line() says where
  DigestMismatch = 15,     // LoadFlags::Digest: not signed, or the text changed since
  DigestUnavailable = 16,  // LoadFlags::Digest: the digest's system library cannot be loaded
  Busy = 36,               // another run is changing the file and did not finish in time
  OutOfMemory = 37,        // memory ran out
  LineTooLong = 38,        // a line longer than 2,147,483,647 UTF-16 units
};

// QdsDocument::Save and SaveTo.
enum class SaveStatus : int {
  Ok = 0,
  OpenFailed = 1,          // the file cannot be created for another reason
  NoTarget = 2,            // no file name to save to, or a folder of the path does not exist
  AccessDenied = 3,        // creating the file was refused
  CopyBackFailed = 5,      // the written file could not take the place of the old one
  WriteFailed = 6,         // writing failed (a full disk, a device error)
  DigestUnavailable = 16,  // SaveFlags::Digest: the digest's library cannot be loaded
  Busy = 36,               // another run is changing the file and did not finish in time
  OutOfMemory = 37,        // memory ran out
  // SaveFlags::KeepLayout of an ANSI file: a text that its code page cannot
  // hold; Detail() is the character (its code point).
  Unrepresentable = 39,
};

// The reads of a document: the low-level GetEntry and GetSectionName, and
// the reads by name.
enum class ReadStatus : uint32_t {
  Ok = 0,
  ExpansionFailed = 8,  // the value's expansion failed; Status::Detail() is its ExpandStatus
  BufferTooSmall = 9,   // a caller buffer is too small; the lengths hold the sizes needed
  NoSection = 10,       // no section of that name (or at that position)
  NoEntry = 11,         // no such key, or no value at that position
};

// The expansion language: Expand, Evaluate, and the reads that expand.
enum class ExpandStatus : int {
  Ok = 0,
  NotClosed = 1,       // a reference, literal span or call is not closed
  BufferTooSmall = 2,  // the output does not fit; also a command name over 65
  WrongArgCount = 3,
  JunkAfterQuote = 4,  // something other than blanks, "," or ")" after a quoted argument
  UnknownCommand = 5,
  ArgumentTooLong = 6,  // an argument's expansion overflowed a command's fixed space
  BadCommandName = 7,
  BadArgument = 8,
  CommandsDisabled = 9,  // a command call under ExpandFlags::NoCommands
  NameTooLong = 10,      // a symbol name over 128 characters
  MalformedExpression = 11,
  DivisionByZero = 12,
  MissingOperand = 13,
  UnbalancedParen = 14,
  BadQuotedString = 15,
  NotAnInteger = 16,
  UnknownOperator = 17,
  OutOfMemory = 18,
  NoShortPath = 19,
  NestedTooDeep = 20,  // expansions nested more than 64 deep
  OutputTooLong = 21,  // a length would not fit 32 bits
};

// The changes of a document, and its settings.
enum class LibraryStatus : int {
  InvalidSectionName = 30,  // a section name the format cannot hold; Status::Why() says why
  InvalidKey = 31,          // a key the format cannot hold
  InvalidValue = 32,        // a value the format cannot hold
  NameExists = 33,          // a rename onto a name that another section or key has
  UnknownCodePage = 34,     // a code page this system cannot convert; Status::Detail() is it
  StaleView = 35,           // a view that no longer shows a part of this document
  MergedIntoItself = 40,    // Merge given one document as target and compat
};

// Why an operation failed, where its number alone does not say.
enum class Reason : uint8_t {
  None,
  // LoadStatus::SyntaxError: what broke the grammar.
  NulCharacter,
  LoneCarriageReturn,
  LineStartsWithEquals,
  BracketInSectionName,
  EntryBeforeSection,
  KeyWithoutEquals,
  VersionAfterSection,
  AnsiVersion3WithoutCodePage,
  // LoadStatus::DigestMismatch.
  NoEndMarker,
  NoCheckLine,
  DigestDiffers,
  // LibraryStatus 30-32: the rule a name or value breaks.
  InvalidUtf8,
  ContainsNul,
  ContainsLineEnd,
  StartsWithEof,  // U+001A, which the grammar skips where a name or value would begin
  Empty,
  ContainsBracket,
  VersionName,
  EndMarkerName,
  ContainsEquals,
  WhiteSpaceAtEdge,
  StartsWithSemicolon,
  StartsWithBracket,
  // LibraryStatus::NameExists.
  SectionExists,
  KeyExists,
  // SaveStatus::AccessDenied: the file that the save would replace may not
  // be written.
  ReadOnly,
  // ReadStatus::NoSection and NoEntry of a read or change by name: what it
  // did not find (Status::SectionName() and KeyName() name it).
  MissingSection,
  MissingKey,
  MissingValue,  // Status::Detail() is the index (at most 2^31 - 1)
};

namespace detail {
struct Internals;
}  // namespace detail

// A value type. Converts implicitly from every status enum, so that an enum
// can be compared with a Status and turned into text. Only a status that
// names a missing section or key holds text; the others are cheap to copy.
// (Its functions that are not inline are exported one by one: a class-wide
// export would not go with [[nodiscard]].)
class [[nodiscard]] Status {
 public:
  // Success.
  Status() = default;
  // The status of that number, without details.
  Status(LoadStatus status) : Status(StatusTable::Load, static_cast<int>(status)) {}
  Status(SaveStatus status) : Status(StatusTable::Save, static_cast<int>(status)) {}
  Status(ReadStatus status) : Status(StatusTable::Read, static_cast<int>(status)) {}
  Status(ExpandStatus status) : Status(StatusTable::Expand, static_cast<int>(status)) {}
  Status(LibraryStatus status) : Status(StatusTable::Library, static_cast<int>(status)) {}

  // Whether the operation succeeded (number 0).
  bool Ok() const { return number_ == 0; }
  // The number in its table: what qdstool exits with.
  int Number() const { return number_; }
  // The table of the number, and why the operation failed where the
  // number alone does not say (Reason::None otherwise).
  StatusTable Table() const { return table_; }
  Reason Why() const { return reason_; }
  // The enumerator's name: "Ok", "NotFound", "SyntaxError", "InvalidKey", ...
  QDS_API std::string_view Name() const;
  // The 1-based line of a syntax error or of a line too long; 0 for every
  // other status.
  uint32_t Line() const { return table_ == StatusTable::Load ? where_ : 0; }
  // Where an expansion stopped, in UTF-16 units of the text expanded
  // (ReadStatus::ExpansionFailed and ExpandStatus); 0 for other statuses.
  uint32_t Position() const { return table_ == StatusTable::Load ? 0 : where_; }
  // ReadStatus::ExpansionFailed: the ExpandStatus of the failure;
  // UnknownCodePage: the code page; Reason::MissingValue: the index of the
  // value; 0 otherwise.
  int Detail() const { return detail_; }
  // ReadStatus::NoSection and NoEntry of a read or change by name (Why()
  // MissingSection, MissingKey or MissingValue): the section, and but for
  // MissingSection the key, as given, in UTF-8; "" otherwise.
  const std::string& SectionName() const { return section_; }
  const std::string& KeyName() const { return key_; }
  // The system's error number behind a file failure (errno; on Windows
  // the C runtime's errno or a system error code); 0 when there is none.
  int SystemCode() const { return systemCode_; }
  // The system's words for SystemCode() in one line; "" when there is no
  // system code.
  QDS_API std::string SystemText() const;
  // The failure in words, without a file name: "cannot open: No such file
  // or directory", "syntax error: a key without \"=\"", "no key \"K\" in
  // section \"S\"", "a key may not contain \"=\"". "ok" for success.
  QDS_API std::string Text() const;
  // "SUBJECT: TEXT (status N)", or for a syntax error
  // "SUBJECT:LINE: TEXT (status N)", or for Busy "SUBJECT is being
  // changed by another run (status 36)": a whole message about `subject`
  // (a file name, say).
  QDS_API std::string Describe(std::string_view subject) const;

  // Statuses are equal when both are successes, or when their tables and
  // numbers are; the details of a failure do not count. So `status ==
  // LoadStatus::NotFound` asks the one thing that matters.
  friend bool operator==(const Status& a, const Status& b) {
    return a.number_ == b.number_ && (a.number_ == 0 || a.table_ == b.table_);
  }

 private:
  friend struct detail::Internals;
  Status(StatusTable table, int number) : table_(table), number_(number) {}

  StatusTable table_ = StatusTable::Library;
  Reason reason_ = Reason::None;
  bool located_ = false;                // where_ is a position that the text tells
  bool systemCodeFromRuntime_ = false;  // Windows: a C runtime errno, not a system code
  int32_t number_ = 0;
  int32_t detail_ = 0;
  uint32_t where_ = 0;  // the line or the position
  int32_t systemCode_ = 0;
  std::string section_;  // a missing part's names
  std::string key_;
};

// The words of a status's number and reason alone, without the system's
// words, a line or a position: "cannot open", "syntax error", "no such
// section", "a key may not contain \"=\"", "division by zero". Statuses of
// every table convert to Status, so any status enum can be given.
QDS_API std::string StatusText(const Status& status);

}  // namespace qds

#endif  // KNITFOLD_QDS_STATUS_H_
