// TokenScanner: splits QDS text into its tokens (section names, keys,
// values, runs of comment text) and tells its ScanEvents of each, in order.
//
// Every character runs once through a small state machine, one state per
// place in a line; inside a token or an ignored line only a few characters
// do anything, and the scanner skips to the next of them (FindStop). The
// scanner measures lines across blocks of text and fails the load at a line
// longer than its limit, at a line end other than CR LF, and at the syntax
// errors of single lines; what a line means to the document is for the
// events to say.
//
// A token's text is a view of the text at hand, valid as long as the block of
// text it lies in: tokens in use move with the text that a new block of text
// keeps (FirstKept, Moved).

#ifndef KNITFOLD_QDSFILE_TOKEN_SCANNER_H_
#define KNITFOLD_QDSFILE_TOKEN_SCANNER_H_

#include <qds/status.h>

#include <cstdint>
#include <string_view>

#include "qdsfile/text_source.h"

namespace qds {

// What the scanner found, as it finds it. A failure it reports stops the scan.
class ScanEvents {
 public:
  // A header's section name, whose "]" lies at `close`.
  virtual void Header(std::u16string_view name, uint32_t close) = 0;
  // The first character of an entry line's key; false fails the line.
  virtual bool EntryStarts() = 0;
  // An entry line's key, without the white space that ends it.
  virtual void Key(std::u16string_view name) = 0;
  // The value that completes the entry line, trimmed (kBareKeyValue
  // for a key without "=").
  virtual void Value(std::u16string_view text) = 0;
  // A line ended with its LF; told only after ReportLineEnds.
  virtual void LineEnded() = 0;
  virtual void Failed(LoadStatus status, Reason reason) = 0;

 protected:
  ~ScanEvents() = default;
};

class TokenScanner {
 public:
  // Where the scanner stands within a line.
  enum class Place {
    LineStart,    // before the first character of a line
    SectionName,  // after "[", before "]"
    AfterHeader,  // after the "]" of a header: ignored up to the CR
    HeaderLf,     // after the CR of a header or entry line
    BlankLf,      // after the CR of a blank or comment line
    Comment,      // in a comment line
    Indent,       // in the white space that starts a line
    Key,          // in the key of an entry line
    Value,        // after the "=" of an entry line
  };

  // `keepComments`: collect the comment text before each item. `lenient`:
  // a line that is a key without "=" has the bare key value. `maxLine`: the
  // most UTF-16 units of a line.
  TokenScanner(ScanEvents& events, bool keepComments, bool lenient, uint32_t maxLine)
      : events_(events), keepComments_(keepComments), lenient_(lenient), maxLine_(maxLine) {}
  TokenScanner(const TokenScanner&) = delete;
  TokenScanner& operator=(const TokenScanner&) = delete;

  // The first line starts at `at` of the text.
  void StartAt(uint32_t at) { lineStart_ = at; }
  // The text at hand, whose characters [0, count) are filled.
  void SetText(const char16_t* chars, uint32_t count) {
    chars_ = chars;
    count_ = count;
  }
  // Scans the text at hand from `from`, until its end or a stop.
  void Scan(uint32_t from);
  // Tells the events of every line end from here on (most loads need no
  // word of them, which spares a call a line).
  void ReportLineEnds() { reportLineEnds_ = true; }
  // Stops the scan: the text ended, or the load failed.
  void Stop() { running_ = false; }
  bool Running() const { return running_; }

  // Fails the load with LineTooLong when the current line, up to `end`
  // characters from the start of the text (counted as Before() counts), is
  // longer than the limit.
  bool LineTooLong(uint64_t end);
  // The first position of the text at hand that a token in use needs, or
  // the count of the text.
  uint32_t FirstKept() const;
  // A new block of text begins with the text from `keep`, whose positions go
  // down by `keep`.
  void Moved(uint32_t keep);

  // The comment text before the current item, which ends where that item
  // began (a header's "[" or a key's first character), or at `end` if it
  // runs on; empty when comments are not kept. Taking it ends it.
  std::u16string_view TakeComment(uint32_t end = kNoPosition);
  // The comment text before the current item, not taken.
  std::u16string_view PendingComment() const;
  // The text ended at `end` without an end marker: a last line without its
  // line end still gives its value once the value has begun.
  void EndText(uint32_t end);

  Place place() const { return place_; }
  uint32_t line() const { return line_; }
  // Where the current line starts, counted as Before() counts.
  uint64_t lineStart() const { return lineStart_; }
  // Whether the text ends its lines in LF alone: it had line feeds before its
  // first line end.
  bool LineFeedsOnly() const { return lineFeedFirst_ && line_ == 1; }

 private:
  // Where the text of one token lies in the text at hand: open while its end
  // has not come, closed (comment text before a header or an entry line)
  // until it is taken.
  struct Token {
    uint32_t start = kNoPosition;
    uint32_t end = kNoPosition;

    bool InUse() const { return start != kNoPosition; }
    bool IsOpen() const { return start != kNoPosition && end == kNoPosition; }
    void OpenAt(uint32_t at) {
      if (!InUse()) start = at;
    }
  };

  uint32_t SkipOrdinary(uint32_t at) const;
  uint32_t Step(char16_t c, uint32_t at);
  uint32_t BeginLineEnd(uint32_t at);
  void EndLineAt(uint32_t at);
  void EndLine(char16_t c, uint32_t at);
  void StartEntry(uint32_t at);
  void MarkComment(uint32_t at);
  void SyntaxError(Reason reason);
  std::u16string_view Take(Token& token, uint32_t end);
  std::u16string_view ClosedText(const Token& token) const;
  static void Close(Token& token, uint32_t end);

  ScanEvents& events_;
  const bool keepComments_;
  const bool lenient_;
  const uint32_t maxLine_;
  bool reportLineEnds_ = false;

  const char16_t* chars_ = nullptr;
  uint32_t count_ = 0;
  Place place_ = Place::LineStart;
  bool running_ = true;
  uint32_t line_ = 1;
  // Lines are measured across blocks of text: the characters before the text
  // at hand, and where the current line starts in that count.
  uint64_t before_ = 0;
  uint64_t lineStart_ = 0;
  bool lineFeedFirst_ = false;

  Token name_;
  Token key_;
  Token value_;
  Token comment_;  // pending comment text, collected only when comments are kept
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_TOKEN_SCANNER_H_
