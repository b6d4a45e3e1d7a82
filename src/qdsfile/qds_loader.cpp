// LoadDocument and ParseDocument: the reader of the QDS file format.
//
// Every character runs once through a small state machine (one state per
// place in a line). A UTF-16 file that the caller lets map (MapInput) is
// scanned where it lies in the mapping; any other file is read block by
// block into larger blocks of text that the document keeps (ANSI blocks
// converted on the way). Either way the text of a token (section name, key,
// value, run of comment text) stays where it lies: the document's nodes
// borrow it. Only the tokens that the end of a block of text cuts move, with
// what follows them, to the start of the next. Sections join the document as
// soon as they are complete, entry lines a few lines later (EntryWindow), and
// a failed load joins the lines still waiting: it keeps everything read
// before the failure.

#include "qdsfile/qds_loader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

#include "common/text.h"
#include "common/wide_format.h"
#include "model/node_pool.h"
#include "platform/descriptors.h"
#include "platform/text_services.h"
#include "qdsfile/entry_window.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/stop_search.h"
#include "qdsfile/version_scan.h"

namespace qds {
namespace {

// UTF-16 blocks are read straight into the character buffer.
static_assert(std::endian::native == std::endian::little, "the loader reads UTF-16LE in place");
static_assert(format::kUtf16BlockBytes <= format::kBlockCharacters * sizeof(char16_t));
static_assert(format::kDigestUtf16BlockBytes <= format::kUtf16BlockBytes);
static_assert(format::kFirstBlockBytes <= format::kBlockCharacters * sizeof(char16_t));

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

// Where the text of one token lies in the text at hand: open while its end
// has not come, closed (comment text before a header or an entry line) until
// it is taken.
struct Token {
  static constexpr uint32_t kNone = UINT32_MAX;

  uint32_t start = kNone;
  uint32_t end = kNone;

  bool InUse() const { return start != kNone; }
  bool IsOpen() const { return start != kNone && end == kNone; }
  void OpenAt(uint32_t at) {
    if (!InUse()) start = at;
  }
};

// Everything one parse knows besides the block at hand.
struct ScanState {
  Place place = Place::LineStart;
  uint32_t line = 1;
  bool running = true;
  LoadStatus status = LoadStatus::Ok;
  Reason reason = Reason::None;

  QdsSection* section = nullptr;
  // The previous entry line's key in the current section: a line that
  // repeats it exactly (`repeatKey`) needs no lookup. It lies in the
  // document's text.
  std::u16string_view lastKey;
  bool repeatKey = false;

  bool versionSeen = false;
  bool ordinarySeen = false;
  bool digestRunning = false;
  bool endSeen = false;
  bool checkLine = false;
  bool lineEndBeforeMarker = false;

  Token name;
  Token keyText;
  Token value;
  Token comment;  // pending comment text, collected only when comments are kept
};

std::u16string_view TrimEnd(std::u16string_view text) {
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  return TrimEnd(text);
}

bool IsVersionSectionName(std::u16string_view name) {
  return name.size() >= format::kVersionPrefixLength &&
         EqualsIgnoreAsciiCase(name.substr(0, format::kVersionPrefixLength),
                               format::kVersionPrefix);
}

// Whether `text` is a check line: "\r\n", 32 uppercase hexadecimal digits,
// "\r\n".
bool IsCheckLine(std::u16string_view text) {
  if (text.size() != format::kCheckLineLength || !text.starts_with(format::kLineEnd) ||
      !text.ends_with(format::kLineEnd)) {
    return false;
  }
  return std::all_of(text.begin() + 2, text.end() - 2, [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
  });
}

// The most bytes of a character that the end of an ANSI block can cut off
// (a code page's longest character has four).
constexpr uint32_t kCutBytes = 3;
// The characters that one file block can add to a block of text: an ANSI
// block also converts the bytes of the character that the block before cut.
constexpr uint32_t kFileBlockRoom = format::kBlockCharacters + kCutBytes;

class Loader {
 public:
  Loader(DocumentModel& document, BufferedStream& stream, uint32_t flags, LoadOutcome* outcome,
         uint32_t maxLine)
      : document_(document), stream_(stream), flags_(flags), outcome_(outcome), maxLine_(maxLine) {}

  LoadStatus Run();

 private:
  bool Has(uint32_t flag) const { return (flags_ & flag) != 0; }
  void Fail(LoadStatus status, Reason reason = Reason::None);
  void SyntaxError(Reason reason) { Fail(LoadStatus::SyntaxError, reason); }
  // Fails the load when the current line, up to `end` characters from the
  // start of the text (the count of before_), is longer than maxLine_.
  bool LineTooLong(uint64_t end);

  // ---- Blocks
  bool MapFile();
  // How many characters the file holds; null when the stream cannot tell.
  std::optional<uint64_t> FileCharacters();
  bool ReadBytes(void* into, uint32_t count);
  // `characters`: how many the file holds, if the stream can tell.
  void DecodeFirstBlock(std::optional<uint64_t> characters);
  bool NextBlock();
  uint32_t ConvertAnsi(char16_t* into);
  bool NewTextBlock(uint32_t filled, uint32_t atLeast);
  uint32_t BytesAfter(uint32_t index) const;

  // ---- Characters
  void ScanBlock(uint32_t from);
  uint32_t SkipOrdinary(uint32_t at) const;
  void Step(char16_t c, uint32_t at);
  void BeginLineEnd(uint32_t at);
  void EndLine(char16_t c, uint32_t at);
  void MarkComment(uint32_t at);
  std::u16string_view Take(Token& token, uint32_t end);
  void Close(Token& token, uint32_t end);
  std::u16string_view ClosedText(const Token& token) const;
  TextSlice Borrow(std::u16string_view text);

  // ---- Document
  void FinishHeader(uint32_t end);
  void AddVersionSection();
  void AddSection(std::u16string_view name);
  void CloseSection();
  void StartEntry(uint32_t at);
  void FinishKey(uint32_t end);
  void FinishValue(uint32_t end);
  void AddValue(std::u16string_view text);
  void CheckEndMarker(uint32_t close);
  bool ReadCheckLine(uint32_t close, char16_t* found, size_t* have);
  void FinishDigest();
  void Finish();
  // ---- Layout
  void StartLayout(std::optional<uint64_t> characters);
  bool ReadWhole();
  void AddItem(const ListNode* node, bool header);
  void FinishLayout();
  void CheckUnchanged();
  void Report();

  DocumentModel& document_;
  BufferedStream& stream_;
  const uint32_t flags_;
  LoadOutcome* const outcome_;
  const uint32_t maxLine_;
  ScanState scan_;
  EntryWindow entries_;

  // The text at hand: the mapped file, or the block of text that the file is
  // read into (`room_`, null for a mapping), whose characters [0, count_)
  // are filled. The block read last starts at blockStart_ and came from
  // blockBytes_ file bytes.
  const char16_t* chars_ = nullptr;
  char16_t* room_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t blockStart_ = 0;
  uint32_t blockBytes_ = 0;
  // Whether some text of the document lies in the block of text at hand.
  bool borrowed_ = false;
  // Lines are measured across blocks of text: the characters read before
  // the text at hand (the file's, less the tokens moved along), and where
  // the current line starts in that count.
  uint64_t before_ = 0;
  uint64_t lineStart_ = 0;
  // The file bytes of the ANSI block at hand, after the bytes of a character
  // that the block before cut (`carried_`, at most kCutBytes, not counted in
  // blockBytes_).
  char raw_[format::kAnsiBlockBytes + kCutBytes];
  uint32_t carried_ = 0;
  // With KeepLayout: the layout that the document gets if the load succeeds.
  std::unique_ptr<SourceLayout> layout_;
  // Whether a line feed came before the first line end.
  bool lineFeedFirst_ = false;
  // The digest is computed from the layout's bytes (ReadWhole).
  bool digestFromBytes_ = false;
  // The current line made an item of the layout.
  bool lineMadeItem_ = false;
};

// A block of text holds this many characters unless the file is smaller or
// a longer token needs more.
constexpr uint32_t kTextBlockCharacters = 1u << 20;

void Loader::Fail(LoadStatus status, Reason reason) {
  scan_.status = status;
  scan_.reason = reason;
  scan_.running = false;
  if (status == LoadStatus::SyntaxError || status == LoadStatus::LineTooLong) {
    document_.errorLine = scan_.line;
  }
}

bool Loader::LineTooLong(uint64_t end) {
  if (end <= lineStart_ || end - lineStart_ <= maxLine_) return false;
  Fail(LoadStatus::LineTooLong);
  return true;
}

LoadStatus Loader::Run() {
  if (Has(Digest)) {
    scan_.digestRunning = true;
    StreamStatus started = stream_.StartHash();
    if (started == StreamStatus::DigestUnavailable) {
      Fail(LoadStatus::DigestUnavailable);
    } else if (started != StreamStatus::Ok) {
      Fail(LoadStatus::ReadFailed);
    }
  }
  if (scan_.running && !MapFile()) ReadBytes(raw_, format::kFirstBlockBytes);
  if (scan_.running) {
    if (ScanVersion(document_, std::string_view(raw_, blockBytes_), Has(DeclaredCodePage)) !=
        LoadStatus::Ok) {
      SyntaxError(Reason::AnsiVersion3WithoutCodePage);
      FinishDigest();
      Report();
      return LoadStatus::SyntaxError;
    }
    const std::optional<uint64_t> characters = FileCharacters();
    StartLayout(characters);
    if (characters) NodePool::Expect(*characters);
    if (chars_ == nullptr) DecodeFirstBlock(characters);
    uint32_t from = document_.utf16 ? 1 : 0;  // after the byte-order mark
    lineStart_ = from;
    for (;;) {
      ScanBlock(from);
      if (!scan_.running || !NextBlock()) break;
      from = blockStart_;
    }
  }
  Finish();
  CheckUnchanged();
  FinishLayout();
  Report();
  return scan_.status;
}

// A file written while it loaded, or a mapping that lost its file's bytes
// (read as zeros), gave text that is not the file's, whatever it parsed as.
void Loader::CheckUnchanged() {
  bool cut = room_ == nullptr && chars_ != nullptr && platform::MappingCut(chars_);
  if (cut || !stream_.Unchanged()) Fail(LoadStatus::ReadFailed);
}

void Loader::Report() {
  if (outcome_ == nullptr) return;
  outcome_->reason = scan_.reason;
  if (scan_.status == LoadStatus::ReadFailed) outcome_->runtimeError = stream_.GetError();
  outcome_->checkLine = scan_.checkLine;
  outcome_->lineEndBeforeMarker = scan_.lineEndBeforeMarker;
  outcome_->lineFeedsOnly = lineFeedFirst_ && scan_.line == 1;
}

// ---- Blocks --------------------------------------------------------------------

// With MapInput, a UTF-16 file without a digest to check is mapped whole,
// when the system can map it, and scanned where it lies; raw_ gets its first
// block, as a read would. False when the file is to be read: an ANSI file is
// converted as it is read, and positions within the text are 32-bit.
bool Loader::MapFile() {
  if (!Has(MapInput) || Has(Digest) || Has(KeepLayout)) return false;
  size_t bytes = 0;
  const void* mapping = stream_.MapContents(&bytes);
  if (mapping == nullptr) return false;
  const auto* data = static_cast<const uint8_t*>(mapping);
  bool utf16 = bytes >= 2 && data[0] == format::kByteOrderMarkBytes[0] &&
               data[1] == format::kByteOrderMarkBytes[1];
  if (!utf16 || bytes / sizeof(char16_t) >= Token::kNone) {
    platform::UnmapFile(mapping, bytes);
    return false;
  }
  document_.texts.AddMapping(mapping, bytes);
  blockBytes_ = static_cast<uint32_t>(std::min<size_t>(bytes, format::kFirstBlockBytes));
  std::memcpy(raw_, mapping, blockBytes_);
  chars_ = static_cast<const char16_t*>(mapping);
  count_ = static_cast<uint32_t>(bytes / sizeof(char16_t));  // an odd last byte is no character
  return true;
}

// One read of `count` bytes. False at the end of the file and after a failed
// read, which stops the parse.
bool Loader::ReadBytes(void* into, uint32_t count) {
  blockBytes_ = 0;
  StreamStatus status = stream_.Read(into, count, &blockBytes_);
  if (status == StreamStatus::Ok && layout_) layout_->AppendBytes(into, blockBytes_);
  if (status == StreamStatus::Ok) return blockBytes_ > 0;
  blockBytes_ = 0;
  if (status != StreamStatus::EndOfData) Fail(LoadStatus::ReadFailed);
  return false;
}

std::optional<uint64_t> Loader::FileCharacters() {
  int64_t size = stream_.GetSize();
  if (size < 0) return std::nullopt;
  return static_cast<uint64_t>(size) / (document_.utf16 ? 2 : 1);
}

// The first block of text holds the whole file when it is small: no file
// block yields more characters than it has bytes.
void Loader::DecodeFirstBlock(std::optional<uint64_t> characters) {
  uint64_t units = characters.value_or(kTextBlockCharacters);
  if (!NewTextBlock(0, static_cast<uint32_t>(std::min<uint64_t>(units, kTextBlockCharacters)))) {
    return;
  }
  if (document_.utf16) {
    std::memcpy(room_, raw_, blockBytes_);
    count_ = blockBytes_ / sizeof(char16_t);  // an odd last byte is no character
  } else {
    count_ = ConvertAnsi(room_);
  }
}

// Reads the next block after the text at hand. With the digest running,
// UTF-16 is read in blocks of one stream buffer, so that the end marker
// always lies in the stream's current fill (see BytesAfter).
bool Loader::NextBlock() {
  if (room_ == nullptr) return false;  // the mapped file is all there
  if (capacity_ - count_ < kFileBlockRoom && !NewTextBlock(count_, kTextBlockCharacters)) {
    return false;
  }
  blockStart_ = count_;
  if (!document_.utf16) {
    if (!ReadBytes(raw_ + carried_, format::kAnsiBlockBytes) && carried_ == 0) return false;
    uint32_t converted = ConvertAnsi(room_ + count_);
    count_ += converted;
    return converted > 0 || blockBytes_ > 0;
  }
  uint32_t size = Has(Digest) ? format::kDigestUtf16BlockBytes : format::kUtf16BlockBytes;
  if (!ReadBytes(room_ + count_, size)) return false;
  count_ += blockBytes_ / sizeof(char16_t);
  return true;
}

// Each ANSI block is converted on its own, but for the bytes of a character
// that it cuts, which wait for the next block (the last block converts
// them as they are); a block that the code page rejects contributes no
// characters.
uint32_t Loader::ConvertAnsi(char16_t* into) {
  uint32_t bytes = carried_ + blockBytes_;
  uint32_t cut = blockBytes_ == 0 ? 0
                                  : static_cast<uint32_t>(std::min<size_t>(
                                        platform::CutCharacterBytes(document_.codePage, raw_, bytes),
                                        kCutBytes));
  uint32_t count = static_cast<uint32_t>(
      platform::AnsiToWide(document_.codePage, raw_, bytes - cut, into, kFileBlockRoom));
  std::memmove(raw_, raw_ + bytes - cut, cut);
  carried_ = cut;
  return count;
}

// Starts a new block of text of `atLeast` characters and room for one more
// file block, the block at hand holding `filled` characters. The tokens in
// use there move to its start, so that each stays in one piece; the block
// grows with them, so that a long token moves a bounded number of times. The
// block left behind is let go if no text lies in it. False, failing the
// load, when the line at hand is too long, or the tokens (comment lines
// before a line) outgrow 32-bit positions.
bool Loader::NewTextBlock(uint32_t filled, uint32_t atLeast) {
  if (LineTooLong(before_ + filled)) return false;
  uint32_t keep = filled;
  Token* tokens[] = {&scan_.name, &scan_.keyText, &scan_.value, &scan_.comment};
  for (Token* token : tokens) {
    if (token->InUse()) keep = std::min(keep, token->start);
  }
  uint32_t moving = filled - keep;
  constexpr uint64_t kMostCharacters = Token::kNone - 1;
  uint64_t wanted = std::max<uint64_t>(atLeast, 2 * uint64_t{moving}) + kFileBlockRoom;
  if (uint64_t{moving} + kFileBlockRoom > kMostCharacters) {
    Fail(LoadStatus::ReadFailed);
    return false;
  }
  auto capacity = static_cast<uint32_t>(std::min(wanted, kMostCharacters));
  const char16_t* old = room_;
  char16_t* block = document_.texts.AddBlock(capacity);
  if (moving > 0) std::memcpy(block, chars_ + keep, moving * sizeof(char16_t));
  if (old != nullptr && !borrowed_) document_.texts.DropBlock(old);
  for (Token* token : tokens) {
    if (!token->InUse()) continue;
    token->start -= keep;
    if (token->end != Token::kNone) token->end -= keep;
  }
  before_ += keep;
  chars_ = room_ = block;
  capacity_ = capacity;
  count_ = moving;
  blockStart_ = moving;
  borrowed_ = false;
  return true;
}

// File bytes of the current block after the character at `index`. Every
// block read while the digest runs is exactly one fill of the stream's
// buffer (4096 bytes: the first block, every ANSI block, and every UTF-16
// block when the digest is checked), so these bytes are the ones the stream
// must leave out of the digest. ANSI characters are measured back into
// bytes in the document's code page, and the bytes of a cut character at
// the block's end, which wait for the next block, are added.
uint32_t Loader::BytesAfter(uint32_t index) const {
  if (document_.utf16) {
    return blockBytes_ - (index - blockStart_ + 1) * static_cast<uint32_t>(sizeof(char16_t));
  }
  std::u16string_view after(chars_ + index + 1, count_ - index - 1);
  size_t bytes = platform::WideToAnsiLength(document_.codePage, after) + carried_;
  return static_cast<uint32_t>(std::min<size_t>(bytes, blockBytes_));
}

// ---- Characters --------------------------------------------------------------

void Loader::ScanBlock(uint32_t from) {
  if (scan_.line == 1 && !lineFeedFirst_) {
    lineFeedFirst_ = std::u16string_view(chars_ + from, count_ - from).find(u'\n') !=
                     std::u16string_view::npos;
  }
  for (uint32_t at = from; at < count_ && scan_.running; ++at) {
    at = SkipOrdinary(at);
    if (at == count_) break;
    Step(chars_[at], at);
  }
}

// The first position from `at` whose character Step must see: inside an
// open token or an ignored line only a few characters do anything (U+001A
// included, which Step would skip too).
uint32_t Loader::SkipOrdinary(uint32_t at) const {
  switch (scan_.place) {
    case Place::Value:
      return scan_.value.IsOpen() ? FindStop(chars_, at, count_, u'\r', 0, 0) : at;
    case Place::Comment:
    case Place::AfterHeader:
      return FindStop(chars_, at, count_, u'\r', 0, 0);
    case Place::Key:
      return FindStop(chars_, at, count_, format::kKeyValueSeparator, u'\r', 0);
    case Place::SectionName:
      return scan_.name.IsOpen()
                 ? FindStop(chars_, at, count_, format::kSectionClose, format::kSectionOpen, 0)
                 : at;
    default:
      return at;
  }
}

void Loader::Step(char16_t c, uint32_t at) {
  if (c == format::kIgnoredUnit) return;
  if (c == 0) return SyntaxError(Reason::NulCharacter);
  if (scan_.place == Place::HeaderLf || scan_.place == Place::BlankLf) return EndLine(c, at);
  if (c == u'\r' && scan_.place != Place::SectionName) return BeginLineEnd(at);

  switch (scan_.place) {
    case Place::LineStart:
      if (c == format::kSectionOpen) {
        Close(scan_.comment, at);
        scan_.place = Place::SectionName;
      } else if (c == format::kCommentMark) {
        MarkComment(at);
        scan_.place = Place::Comment;
      } else if (c == format::kKeyValueSeparator) {
        SyntaxError(Reason::LineStartsWithEquals);
      } else if (IsWhiteSpace(c)) {
        MarkComment(at);
        scan_.place = Place::Indent;
      } else {
        StartEntry(at);
      }
      return;
    case Place::SectionName:
      if (c == format::kSectionClose) return FinishHeader(at);
      if (c == format::kSectionOpen) return SyntaxError(Reason::BracketInSectionName);
      scan_.name.OpenAt(at);  // a CR and LF here belong to the name
      return;
    case Place::Indent:
      if (c == format::kCommentMark) {
        scan_.place = Place::Comment;
      } else if (c == format::kKeyValueSeparator) {
        SyntaxError(Reason::LineStartsWithEquals);
      } else if (!IsWhiteSpace(c)) {
        StartEntry(at);
      }
      return;
    case Place::Key:
      if (c == format::kKeyValueSeparator) {
        FinishKey(at);
        scan_.place = Place::Value;
      }
      return;
    case Place::Value:
      scan_.value.OpenAt(at);  // so the value starts right after "="
      return;
    case Place::AfterHeader:
    case Place::Comment:
    case Place::HeaderLf:
    case Place::BlankLf:
      return;
  }
}

// A CR outside a section name: the line ends here, and must go on with LF.
void Loader::BeginLineEnd(uint32_t at) {
  switch (scan_.place) {
    case Place::LineStart:
      MarkComment(at);
      [[fallthrough]];
    case Place::Comment:
    case Place::Indent:
      scan_.place = Place::BlankLf;
      return;
    case Place::AfterHeader:
      scan_.place = Place::HeaderLf;
      return;
    case Place::Key:  // a key without "=": a bare key, if allowed
      if (!Has(Lenient)) return SyntaxError(Reason::KeyWithoutEquals);
      FinishKey(at);
      AddValue(kBareKeyValue);
      scan_.place = Place::HeaderLf;
      return;
    case Place::Value:
      FinishValue(at);
      scan_.place = Place::HeaderLf;
      return;
    case Place::SectionName:
    case Place::HeaderLf:
    case Place::BlankLf:
      return;
  }
}

// The character after a line's CR, at `at`: only LF completes the line.
void Loader::EndLine(char16_t c, uint32_t at) {
  if (c != u'\n') return SyntaxError(Reason::LoneCarriageReturn);
  if (LineTooLong(before_ + at - 1)) return;  // up to the CR
  ++scan_.line;
  lineStart_ = before_ + at + 1;
  if (layout_) layout_->EndItem(lineStart_);
  lineMadeItem_ = false;
  scan_.place = Place::LineStart;
}

void Loader::MarkComment(uint32_t at) {
  if (Has(KeepComments)) scan_.comment.OpenAt(at);
}

// The whole text of `token`, up to `end` when it is still open (a closed
// token keeps its own end), which leaves it unused. The view lies in the
// text at hand, which the document keeps.
std::u16string_view Loader::Take(Token& token, uint32_t end) {
  Close(token, end);
  std::u16string_view text = ClosedText(token);
  token = Token();
  return text;
}

// The text of a closed token; empty for one not in use.
std::u16string_view Loader::ClosedText(const Token& token) const {
  if (!token.InUse()) return {};
  return {chars_ + token.start, token.end - token.start};
}

// Closes `token` at `end`; it keeps its place until it is taken.
void Loader::Close(Token& token, uint32_t end) {
  if (token.IsOpen()) token.end = end;
}

// A text of the document that stays where the loader found it.
TextSlice Loader::Borrow(std::u16string_view text) {
  if (!text.empty()) borrowed_ = true;
  return TextSlice::Borrow(text);
}

// ---- Document --------------------------------------------------------------------

void Loader::FinishHeader(uint32_t end) {
  std::u16string_view name = Take(scan_.name, end);
  if (IsVersionSectionName(name)) {
    AddVersionSection();
  } else if (name == format::kEndMarkerName) {
    scan_.running = false;
    CheckEndMarker(end);
    if (layout_) layout_->SetEndMarker(lineStart_, scan_.checkLine);
  } else {
    AddSection(name);
  }
  scan_.place = Place::AfterHeader;
}

void Loader::AddVersionSection() {
  // The comment was closed at the header's "[".
  std::u16string_view comment = Take(scan_.comment, Token::kNone);
  if (scan_.versionSeen) return;  // a second version section is ignored with its comment
  if (scan_.ordinarySeen) return SyntaxError(Reason::VersionAfterSection);
  scan_.versionSeen = true;
  document_.leadingText = Borrow(comment);
  if (layout_) layout_->SetVersionLine(lineStart_);
}

void Loader::AddSection(std::u16string_view name) {
  CloseSection();
  auto* section = new QdsSection(Borrow(name));
  section->comment = Borrow(Take(scan_.comment, Token::kNone));  // closed at the "["
  document_.sections.AddTail(section);
  AddItem(section, true);
  scan_.section = section;
  scan_.lastKey = {};
  scan_.ordinarySeen = true;
}

// The section that entries went to has them all.
void Loader::CloseSection() {
  if (scan_.section == nullptr || !Has(ReadInOrder)) return;
  entries_.JoinAll();
  scan_.section->keys.DropIndex();
}

// The first character of an entry line's key.
void Loader::StartEntry(uint32_t at) {
  if (scan_.section == nullptr) {
    if (!Has(Lenient)) return SyntaxError(Reason::EntryBeforeSection);
    scan_.section = new QdsSection(u"");
    document_.sections.AddTail(scan_.section);
    scan_.lastKey = {};
  }
  Close(scan_.comment, at);  // the comment text before the line ends here
  scan_.keyText.OpenAt(at);
  scan_.place = Place::Key;
}

void Loader::FinishKey(uint32_t end) {
  std::u16string_view name = TrimEnd(Take(scan_.keyText, end));
  scan_.repeatKey = name == scan_.lastKey;
  if (!scan_.repeatKey) {
    borrowed_ = true;  // a new key borrows the text, and so does lastKey
    scan_.lastKey = name;
  }
}

void Loader::FinishValue(uint32_t end) { AddValue(Trim(Take(scan_.value, end))); }

// The value completes its entry line.
void Loader::AddValue(std::u16string_view text) {
  auto* value = new QdsValue(Borrow(text));
  value->SetComment(Borrow(Take(scan_.comment, Token::kNone)));  // closed where the line began
  AddItem(value, false);
  entries_.Add(scan_.section, scan_.lastKey, scan_.repeatKey, value);
}

// "[$end$]" ends the text. With the digest checked, the digest covers the
// file up to the marker's "]", and the check line must follow at once. A
// caller that asks for the outcome learns whether a check line follows also
// without the digest.
void Loader::CheckEndMarker(uint32_t close) {
  scan_.endSeen = true;
  if (!Has(Digest) && outcome_ == nullptr && !layout_) return;
  // The comment text before the marker was closed at its "[".
  scan_.lineEndBeforeMarker = ClosedText(scan_.comment).ends_with(format::kLineEnd);
  char16_t digest[kDigestTextCapacity];
  if (digestFromBytes_) {
    // The whole file lies in the block at hand, as it does in the file.
    std::string_view covered = layout_->Bytes().substr(0, (before_ + close + 1) * sizeof(char16_t));
    if (!DigestOfBytes(covered, digest)) Fail(LoadStatus::DigestUnavailable);
  } else if (Has(Digest)) {
    stream_.FinishHash(digest, BytesAfter(close));
    scan_.digestRunning = false;
  }

  char16_t found[format::kCheckLineLength];
  size_t have = 0;
  auto collect = [&](uint32_t from) {
    size_t take = std::min<size_t>(count_ - from, format::kCheckLineLength - have);
    std::memcpy(found + have, chars_ + from, take * sizeof(char16_t));
    have += take;
  };
  LoadStatus before = scan_.status;
  collect(close + 1);
  while (have < format::kCheckLineLength && NextBlock()) collect(blockStart_);
  scan_.checkLine = IsCheckLine(std::u16string_view(found, have));
  if (!Has(Digest)) {
    scan_.status = before;  // the text ended at the marker: what follows cannot fail it
    return;
  }
  if (scan_.status != LoadStatus::Ok) return;

  char16_t expected[format::kCheckLineLength + 1];
  FormatWide(expected, std::size(expected), format::kCheckLineFormat, {digest});
  if (std::u16string_view(found, have) != std::u16string_view(expected)) {
    Fail(LoadStatus::DigestMismatch, scan_.checkLine ? Reason::DigestDiffers : Reason::NoCheckLine);
  }
}

void Loader::FinishDigest() {
  if (!scan_.digestRunning) return;
  char16_t unused[kDigestTextCapacity];
  stream_.FinishHash(unused, 0);
  scan_.digestRunning = false;
}

void Loader::Finish() {
  if (!scan_.versionSeen) document_.version = format::kDefaultVersion;
  // The text ends at an end marker, or with the last line.
  bool ok = scan_.status == LoadStatus::Ok && (scan_.endSeen || !LineTooLong(before_ + count_));
  // A last line without "\r\n" still counts when its value has begun.
  if (ok && scan_.value.IsOpen()) FinishValue(count_);
  if (ok) {
    std::u16string_view trailing = Take(scan_.comment, count_);
    if (!trailing.empty()) document_.trailingText = Borrow(trailing);
  }
  entries_.JoinAll();
  CloseSection();
  FinishDigest();
  if (ok && Has(Digest) && !scan_.endSeen) Fail(LoadStatus::DigestMismatch, Reason::NoEndMarker);
}

// ---- Layout ----------------------------------------------------------------------

// The layout starts with the first block, once its encoding is known; only a
// document without sections can be given its file's layout.
void Loader::StartLayout(std::optional<uint64_t> characters) {
  if (!Has(KeepLayout) || document_.sections.count() != 0) return;
  document_.layout.reset();
  layout_ = std::make_unique<SourceLayout>(document_.utf16 != 0, document_.codePage);
  if (ReadWhole()) return;
  if (characters) layout_->Reserve(*characters * (document_.utf16 ? 2 : 1));
  layout_->AppendBytes(raw_, blockBytes_);
}

// A UTF-16 file whose layout is kept is read whole into one block of text
// and scanned where it lies, as a mapped file is; the layout's bytes are
// that block, so that the file lies in memory once. Its digest is computed
// from those bytes when the end marker shows how many it covers, so that a
// file without one is never hashed.
bool Loader::ReadWhole() {
  int64_t size = stream_.GetSize();
  if (!document_.utf16 || size < blockBytes_ ||
      static_cast<uint64_t>(size) / sizeof(char16_t) >= Token::kNone) {
    return false;
  }
  if (scan_.digestRunning) {
    char16_t unused[kDigestTextCapacity];
    stream_.FinishHash(unused, 0);
    scan_.digestRunning = false;
    digestFromBytes_ = true;
  }
  const auto bytes = static_cast<size_t>(size);
  char16_t* block = document_.texts.AddBlock((bytes + 1) / sizeof(char16_t));
  auto* into = reinterpret_cast<char*>(block);
  std::memcpy(into, raw_, blockBytes_);
  size_t have = blockBytes_;
  for (uint32_t got = 0; have < bytes; have += got) {
    constexpr size_t kMostPerRead = size_t{1} << 30;
    StreamStatus status =
        stream_.Read(into + have, static_cast<uint32_t>(std::min(bytes - have, kMostPerRead)), &got);
    if (status == StreamStatus::EndOfData || (status == StreamStatus::Ok && got == 0)) break;
    if (status != StreamStatus::Ok) {
      Fail(LoadStatus::ReadFailed);
      break;
    }
  }
  layout_->BorrowBytes(std::string_view(into, have));
  layout_->Reserve(have);
  chars_ = block;
  count_ = static_cast<uint32_t>(have / sizeof(char16_t));
  return true;
}

void Loader::AddItem(const ListNode* node, bool header) {
  if (!layout_) return;
  layout_->AddItem(lineStart_, node, header);
  lineMadeItem_ = true;
}

// The layout keeps the whole file, also what follows the end marker, and
// measures its lines in the file's bytes. ANSI text is converted once more,
// whole, for that measure. A load that failed only for want of an end
// marker read the whole text, and keeps it too.
void Loader::FinishLayout() {
  const bool whole = scan_.status == LoadStatus::Ok ||
                     (scan_.status == LoadStatus::DigestMismatch && scan_.reason == Reason::NoEndMarker);
  if (!layout_ || !whole) return;
  layout_->EndItem(before_ + count_);
  // A line end after a last header without its "]", a last key without
  // "=" or a last "key=", would make a line of what the load dropped.
  bool dropped = scan_.place == Place::SectionName || scan_.place == Place::Key ||
                 (scan_.place == Place::Value && !lineMadeItem_);
  if (!scan_.endSeen && dropped) layout_->SetUnfinishedLine(lineStart_);
  if (scan_.endSeen && room_ != nullptr) {
    while (ReadBytes(raw_, format::kAnsiBlockBytes)) {
    }
    if (scan_.status != LoadStatus::Ok) return;  // a read failed
  }
  std::u16string text;
  if (!document_.utf16) {
    std::string_view bytes = layout_->Bytes();
    text.resize(bytes.size() + kCutBytes);
    text.resize(platform::AnsiToWide(document_.codePage, bytes.data(), bytes.size(), text.data(),
                                     text.size()));
  }
  layout_->FileItems();
  if (layout_->PositionsToBytes(text)) document_.layout = std::move(layout_);
}

}  // namespace

LoadStatus ParseDocument(DocumentModel* document, BufferedStream* stream, uint32_t flags,
                         LoadOutcome* outcome, uint32_t maxLine) {
  Loader loader(*document, *stream, flags, outcome, maxLine);
  return loader.Run();
}

LoadStatus LoadDocument(DocumentModel* document, const char16_t* path, uint32_t flags,
                        LoadOutcome* outcome, uint32_t maxLine) {
  if (path == nullptr) path = u"";
  document->fileName = path;
  FileStream stream(format::kStreamBufferSize);
  StreamStatus opened = stream.Open(path, kStreamRead);
  if (opened == StreamStatus::Ok) return ParseDocument(document, &stream, flags, outcome, maxLine);
  if (outcome != nullptr) outcome->runtimeError = stream.GetError();
  switch (opened) {
    case StreamStatus::NotFound:
      return LoadStatus::NotFound;
    case StreamStatus::PermissionDenied:
      return LoadStatus::AccessDenied;
    default:
      return LoadStatus::OpenFailed;
  }
}

}  // namespace qds
