// Status: the names and words of every status number, and of the reasons
// behind them, in one place, so that every message of the library and of
// its programs says the same thing the same way.

#include <qds/status.h>
#include <qds/text.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "common/text.h"
#include "common/utf8.h"
#include "document/document_state.h"
#include "platform/errors.h"
#include "qdsfile/md5_digest.h"
#include "qdsfile/qds_format.h"

namespace qds {

namespace {

struct Entry {
  int number;
  std::string_view name;
  std::string_view words;
};

// The statuses of each table, with their words.
constexpr Entry kLoadStatuses[] = {
    {0, "Ok", "ok"},
    {1, "OpenFailed", "cannot open"},
    {2, "NotFound", "cannot open"},
    {3, "AccessDenied", "cannot open"},
    {4, "ReadFailed", "cannot read"},
    {7, "SyntaxError", "syntax error"},
    {15, "DigestMismatch", "not signed, or changed since it was signed"},
    {16, "DigestUnavailable", "cannot compute the digest"},
    {36, "Busy", "being changed by another run"},
    {37, "OutOfMemory", "out of memory"},
    {38, "LineTooLong", "line too long"},
};

constexpr Entry kSaveStatuses[] = {
    {0, "Ok", "ok"},
    {1, "OpenFailed", "cannot create"},
    {2, "NoTarget", "cannot create"},
    {3, "AccessDenied", "cannot create"},
    {5, "CopyBackFailed", "cannot put the new file in place"},
    {6, "WriteFailed", "cannot write"},
    {16, "DigestUnavailable", "cannot compute the digest"},
    {36, "Busy", "being changed by another run"},
    {37, "OutOfMemory", "out of memory"},
    {39, "Unrepresentable", "a character that the file's code page cannot hold"},
};

constexpr Entry kReadStatuses[] = {
    {0, "Ok", "ok"},
    {8, "ExpansionFailed", "cannot expand"},
    {9, "BufferTooSmall", "buffer too small"},
    {10, "NoSection", "no such section"},
    {11, "NoEntry", "no such key or value"},
};

// The order of ExpandStatus: the number is the index.
constexpr Entry kExpandStatuses[] = {
    {0, "Ok", "ok"},
    {1, "NotClosed", "unclosed form"},
    {2, "BufferTooSmall", "output too long for the buffer"},
    {3, "WrongArgCount", "wrong argument count"},
    {4, "JunkAfterQuote", "text after a quote"},
    {5, "UnknownCommand", "unknown command"},
    {6, "ArgumentTooLong", "argument too long"},
    {7, "BadCommandName", "bad command name"},
    {8, "BadArgument", "unusable argument"},
    {9, "CommandsDisabled", "commands not allowed"},
    {10, "NameTooLong", "symbol name too long"},
    {11, "MalformedExpression", "malformed expression"},
    {12, "DivisionByZero", "division by zero"},
    {13, "MissingOperand", "missing operand"},
    {14, "UnbalancedParen", "unbalanced parentheses"},
    {15, "BadQuotedString", "bad quoted string"},
    {16, "NotAnInteger", "arithmetic on text"},
    {17, "UnknownOperator", "unknown operator"},
    {18, "OutOfMemory", "out of memory"},
    {19, "NoShortPath", "no short path"},
    {20, "NestedTooDeep", "nested more than 64 deep"},
    {21, "OutputTooLong", "output over 4 G characters"},
};

constexpr Entry kLibraryStatuses[] = {
    {0, "Ok", "ok"},
    {30, "InvalidSectionName", "a section name the file format cannot hold"},
    {31, "InvalidKey", "a key the file format cannot hold"},
    {32, "InvalidValue", "a value the file format cannot hold"},
    {33, "NameExists", "another section or key already has that name"},
    {34, "UnknownCodePage", "a code page this system cannot convert"},
    {35, "StaleView", "the view does not show a part of this document"},
    {40, "MergedIntoItself", "a document cannot be merged into itself"},
};

// The words of each Reason, in its order.
constexpr std::string_view kReasonWords[] = {
    "",
    "a NUL character (U+0000)",
    "a carriage return not followed by a line feed",
    "a line that starts with \"=\" (an entry without a key)",
    "\"[\" inside a section name",
    "an entry before the first section",
    "a key without \"=\"",
    "a version section after another section",
    "missing \", codepage\" after version 3 in an ANSI file",
    "not signed: the text has no end marker",
    "not signed: the end marker is not followed by a digest line",
    "the digest does not match the text",
    "is not valid UTF-8",
    "may not contain NUL",
    "may not contain a line end",
    "may not begin with U+001A",
    "may not be empty",
    "may not contain \"[\" or \"]\"",
    "may not begin with \"$version\"",
    "may not be \"$end$\"",
    "may not contain \"=\"",
    "may not begin or end with white space",
    "may not begin with \";\"",
    "may not begin with \"[\"",
    "another section already has that name",
    "another key of the section already has that name",
    "the file is read-only",
    "no such section",
    "no such key",
    "no such value",
};
static_assert(std::size(kReasonWords) == static_cast<size_t>(Reason::MissingValue) + 1);

// What a status of LibraryStatus 30-32 says its rule is about.
constexpr std::string_view kRefusedTexts[] = {"a section name ", "a key ", "a value "};

const Entry* Find(StatusTable table, int number) {
  auto search = [number](const auto& entries) -> const Entry* {
    for (const Entry& entry : entries) {
      if (entry.number == number) return &entry;
    }
    return nullptr;
  };
  switch (table) {
    case StatusTable::Load:
      return search(kLoadStatuses);
    case StatusTable::Save:
      return search(kSaveStatuses);
    case StatusTable::Read:
      return search(kReadStatuses);
    case StatusTable::Expand:
      return search(kExpandStatuses);
    case StatusTable::Library:
      return search(kLibraryStatuses);
  }
  return nullptr;
}

std::string_view WordsOf(Reason reason) { return kReasonWords[static_cast<size_t>(reason)]; }

// A name as the caller gave it, in UTF-8.
std::string AsGiven(TextRef text) {
  return text.IsUtf16() ? ToUtf8(text.Utf16()) : std::string(text.Utf8());
}

// What a read or change by name missed, in the words qdstool prints:
// "no section "S"", "no key "K" in section "S"", "no value N of key "K" in
// section "S"".
std::string MissingText(const Status& status) {
  std::string section = "section \"" + status.SectionName() + "\"";
  std::string key = "key \"" + status.KeyName() + "\"";
  switch (status.Why()) {
    case Reason::MissingSection:
      return "no " + section;
    case Reason::MissingKey:
      return "no " + key + " in " + section;
    default:
      return "no value " + std::to_string(status.Detail()) + " of " + key + " in " + section;
  }
}

bool IsFileFailure(const Status& status) {
  return (status.Table() == StatusTable::Load || status.Table() == StatusTable::Save) &&
         status.Number() >= 1 && status.Number() <= 6;
}

// What a file failure says when the system gave no words.
std::string_view FallbackWords(const Status& status) {
  switch (status.Number()) {
    case 2:
      return status.Table() == StatusTable::Save ? "no file name to save to"
                                                 : "no such file or folder";
    case 3:
      return "permission denied";
    default:
      return "";
  }
}

}  // namespace

std::string_view Status::Name() const {
  const Entry* entry = Find(table_, number_);
  return entry != nullptr ? entry->name : "Unknown";
}

std::string Status::SystemText() const {
  if (systemCode_ == 0) return std::string();
  std::u16string text;
  bool described = systemCodeFromRuntime_
                       ? platform::RuntimeErrorText(systemCode_, &text)
                       : platform::ErrorText(static_cast<uint32_t>(systemCode_), &text);
  if (!described) return "error " + std::to_string(systemCode_);
  std::u16string_view words = text;
  while (!words.empty() && IsWhiteSpace(words.back())) words.remove_suffix(1);
  return EncodeUtf8(words);
}

std::string Status::Text() const {
  if (reason_ == Reason::MissingSection || reason_ == Reason::MissingKey ||
      reason_ == Reason::MissingValue) {
    return MissingText(*this);
  }
  std::string text = StatusText(*this);
  std::string more;
  if (systemCode_ != 0) {
    more = SystemText();
  } else if (IsFileFailure(*this) && reason_ == Reason::None) {
    more = FallbackWords(*this);
  } else if (*this == ReadStatus::ExpansionFailed) {
    more = StatusText(static_cast<ExpandStatus>(detail_));
  } else if (*this == LibraryStatus::UnknownCodePage) {
    return "code page " + std::to_string(detail_) + " cannot be converted on this system";
  } else if (*this == SaveStatus::Unrepresentable) {
    char codePoint[16];
    std::snprintf(codePoint, sizeof codePoint, "U+%04X", static_cast<unsigned>(detail_));
    more = codePoint;
  }
  if (!more.empty()) text += ": " + more;
  if (located_ && !Ok()) text += " at position " + std::to_string(where_);
  return text;
}

std::string Status::Describe(std::string_view subject) const {
  std::string message(subject);
  // Said of the file itself: "app.qds is being changed by another run".
  if (*this == LoadStatus::Busy || *this == SaveStatus::Busy) {
    return message + " is " + Text() + " (status " + std::to_string(number_) + ")";
  }
  if (*this == LoadStatus::SyntaxError && Line() != 0) message += ":" + std::to_string(Line());
  return message + ": " + Text() + " (status " + std::to_string(number_) + ")";
}

std::string StatusText(const Status& status) {
  if (status == LoadStatus::DigestUnavailable || status == SaveStatus::DigestUnavailable) {
    // The library is known only when the program runs.
    return std::string("cannot compute the digest: ") + kDigestLibrary + " could not be loaded";
  }
  std::string_view reason = WordsOf(status.Why());
  if (status == LoadStatus::SyntaxError && !reason.empty()) {
    return "syntax error: " + std::string(reason);
  }
  if (status == LoadStatus::DigestMismatch && !reason.empty()) return std::string(reason);
  if (status == LoadStatus::LineTooLong && status.Line() != 0) {
    return "line " + std::to_string(status.Line()) + " is longer than " +
           std::to_string(format::kMaxLineUnits) + " characters";
  }
  if (status.Table() == StatusTable::Library && status.Number() <= 32 && !reason.empty()) {
    return std::string(kRefusedTexts[status.Number() - 30]) + std::string(reason);
  }
  if ((status == LibraryStatus::NameExists || status.Table() == StatusTable::Read ||
       IsFileFailure(status)) &&
      !reason.empty()) {
    return std::string(reason);
  }
  const Entry* entry = Find(status.Table(), status.Number());
  return std::string(entry != nullptr ? entry->words : "unknown status");
}

namespace detail {

Status Internals::MakeStatus(Status status, const StatusDetails& details) {
  status.reason_ = details.reason;
  status.detail_ = details.detail;
  status.where_ = details.where;
  status.located_ = details.located;
  status.systemCode_ = details.systemCode;
  status.systemCodeFromRuntime_ = details.systemCodeFromRuntime;
  return status;
}

Status Internals::Missing(ReadStatus missing, TextRef section, TextRef key) {
  Status status(missing);
  status.section_ = AsGiven(section);
  if (missing == ReadStatus::NoSection) {
    status.reason_ = Reason::MissingSection;
  } else {
    status.reason_ = Reason::MissingKey;
    status.key_ = AsGiven(key);
  }
  return status;
}

Status Internals::MissingValue(TextRef section, TextRef key, size_t index) {
  Status status = Missing(ReadStatus::NoEntry, section, key);
  status.reason_ = Reason::MissingValue;
  status.detail_ = static_cast<int32_t>(std::min<size_t>(index, INT32_MAX));
  return status;
}

}  // namespace detail

}  // namespace qds
