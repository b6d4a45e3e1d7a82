// LoadDocument and ParseDocument: the reader of the QDS file format.
//
// The file is read block by block and every character runs once through a
// small state machine (one state per place in a line). Characters are looked
// at where they lie in the block; the text of a token (section name, key,
// value, run of comment text) is copied once, when its terminator arrives, or
// in part when a block boundary cuts it. Sections, keys and values join the
// document as soon as they are complete, so a failed load keeps everything
// read before the failure.

#include "qdsfile/qds_loader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>

#include "common/text.h"
#include "common/wide_format.h"
#include "platform/text_services.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/qds_format.h"
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

// The text of one token: what earlier blocks held of it (or, for comment
// text, the runs already closed) and where its open part began in the
// current block.
struct Token {
  static constexpr uint32_t kClosed = UINT32_MAX;

  CountedString text;
  uint32_t start = kClosed;

  bool IsOpen() const { return start != kClosed; }
  void OpenAt(uint32_t at) {
    if (!IsOpen()) start = at;
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
  QdsKey* key = nullptr;
  bool keyIsNew = false;  // made by this line and not yet in its section
  // The previous entry line's key in the current section: a line that
  // repeats it exactly needs no lookup.
  CountedString lastKey;

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

// The position of the first of chars[at, end) that is one of the stop
// characters `a`, `b` and `c` (repeat one to stop at fewer), or `end`.
// Looks at several characters at a time: most of a file is runs of
// characters that change nothing.
uint32_t FindStop(const char16_t* chars, uint32_t at, uint32_t end, char16_t a, char16_t b,
                  char16_t c) {
#if defined(__SSE2__)
  const __m128i wideA = _mm_set1_epi16(static_cast<short>(a));
  const __m128i wideB = _mm_set1_epi16(static_cast<short>(b));
  const __m128i wideC = _mm_set1_epi16(static_cast<short>(c));
  while (end - at >= 8) {
    __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + at));
    __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(eight, wideA), _mm_cmpeq_epi16(eight, wideB)),
                                _mm_cmpeq_epi16(eight, wideC));
    int mask = _mm_movemask_epi8(hits);
    if (mask != 0) return at + static_cast<uint32_t>(std::countr_zero(static_cast<unsigned>(mask))) / 2;
    at += 8;
  }
#else
  constexpr uint64_t kLows = 0x0001000100010001u;
  constexpr uint64_t kHighs = 0x8000800080008000u;
  // Nonzero exactly when one of the four 16-bit lanes of `v` is zero.
  auto hasZeroLane = [](uint64_t v) { return (v - kLows) & ~v & kHighs; };
  const uint64_t wideA = kLows * a;
  const uint64_t wideB = kLows * b;
  const uint64_t wideC = kLows * c;
  while (end - at >= 4) {
    uint64_t four;
    std::memcpy(&four, chars + at, sizeof four);
    if ((hasZeroLane(four ^ wideA) | hasZeroLane(four ^ wideB) | hasZeroLane(four ^ wideC)) != 0) {
      break;
    }
    at += 4;
  }
#endif
  while (at < end && chars[at] != a && chars[at] != b && chars[at] != c) ++at;
  return at;
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

// The one place where an entry line's key is looked up in its section.
QdsKey* FindKey(const QdsSection& section, std::u16string_view name) {
  return section.keys.FindByName(name);
}

class Loader {
 public:
  Loader(DocumentModel& document, BufferedStream& stream, uint32_t flags, LoadOutcome* outcome)
      : document_(document), stream_(stream), flags_(flags), outcome_(outcome) {}

  LoadStatus Run();

 private:
  bool Has(uint32_t flag) const { return (flags_ & flag) != 0; }
  void Fail(LoadStatus status, Reason reason = Reason::None);
  void SyntaxError(Reason reason) { Fail(LoadStatus::SyntaxError, reason); }

  // ---- Blocks
  bool ReadBytes(void* into, uint32_t count);
  void DecodeFirstBlock();
  bool NextBlock();
  uint32_t ConvertAnsi();
  void CarryOver();
  uint32_t BytesAfter(uint32_t index) const;

  // ---- Characters
  void ScanBlock(uint32_t from);
  uint32_t SkipOrdinary(uint32_t at) const;
  void Step(char16_t c, uint32_t at);
  void BeginLineEnd(uint32_t at);
  void EndLine(char16_t c);
  void MarkComment(uint32_t at);
  std::u16string_view Take(Token& token, uint32_t end);
  void Close(Token& token, uint32_t end);

  // ---- Document
  void FinishHeader(uint32_t end);
  void AddVersionSection();
  void AddSection(std::u16string_view name);
  void StartEntry(uint32_t at);
  void FinishKey(uint32_t end);
  void FinishValue(uint32_t end);
  void AddValue(std::u16string_view text);
  void CheckEndMarker(uint32_t close);
  bool ReadCheckLine(uint32_t close, char16_t* found, size_t* have);
  void FinishDigest();
  void Finish();
  void Report();

  DocumentModel& document_;
  BufferedStream& stream_;
  const uint32_t flags_;
  LoadOutcome* const outcome_;
  ScanState scan_;

  // The block at hand: its characters and the file bytes they came from,
  // after the bytes of a character that the block before cut (`carried_`,
  // at most kCutBytes, counted in neither blockBytes_ nor the block's fill).
  static constexpr uint32_t kCutBytes = 3;
  char16_t chars_[format::kBlockCharacters + kCutBytes];
  char raw_[format::kAnsiBlockBytes + kCutBytes];
  uint32_t count_ = 0;
  uint32_t blockBytes_ = 0;
  uint32_t carried_ = 0;
};

void Loader::Fail(LoadStatus status, Reason reason) {
  scan_.status = status;
  scan_.reason = reason;
  scan_.running = false;
  if (status == LoadStatus::SyntaxError) document_.errorLine = scan_.line;
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
  if (scan_.running) {
    ReadBytes(raw_, format::kFirstBlockBytes);
  }
  if (scan_.running) {
    if (ScanVersion(document_, std::string_view(raw_, blockBytes_)) != LoadStatus::Ok) {
      SyntaxError(Reason::AnsiVersion3WithoutCodePage);
      FinishDigest();
      Report();
      return LoadStatus::SyntaxError;
    }
    DecodeFirstBlock();
    uint32_t from = document_.utf16 ? 1 : 0;  // after the byte-order mark
    for (;;) {
      ScanBlock(from);
      if (!scan_.running) break;
      CarryOver();
      if (!NextBlock()) break;
      from = 0;
    }
  }
  Finish();
  Report();
  return scan_.status;
}

void Loader::Report() {
  if (outcome_ == nullptr) return;
  outcome_->reason = scan_.reason;
  if (scan_.status == LoadStatus::ReadFailed) outcome_->runtimeError = stream_.GetError();
  outcome_->checkLine = scan_.checkLine;
  outcome_->lineEndBeforeMarker = scan_.lineEndBeforeMarker;
}

// ---- Blocks --------------------------------------------------------------------

// One read of `count` bytes. False at the end of the file and after a failed
// read, which stops the parse.
bool Loader::ReadBytes(void* into, uint32_t count) {
  count_ = 0;
  blockBytes_ = 0;
  StreamStatus status = stream_.Read(into, count, &blockBytes_);
  if (status == StreamStatus::Ok) return blockBytes_ > 0;
  blockBytes_ = 0;
  if (status != StreamStatus::EndOfData) Fail(LoadStatus::ReadFailed);
  return false;
}

void Loader::DecodeFirstBlock() {
  if (document_.utf16) {
    std::memcpy(chars_, raw_, blockBytes_);
    count_ = blockBytes_ / sizeof(char16_t);  // an odd last byte is no character
  } else {
    count_ = ConvertAnsi();
  }
}

// Reads the next block into chars_. With the digest running, UTF-16 is read
// in blocks of one stream buffer, so that the end marker always lies in the
// stream's current fill (see BytesAfter).
bool Loader::NextBlock() {
  if (!document_.utf16) {
    if (!ReadBytes(raw_ + carried_, format::kAnsiBlockBytes) && carried_ == 0) return false;
    count_ = ConvertAnsi();
    return count_ > 0 || blockBytes_ > 0;
  }
  uint32_t size = Has(Digest) ? format::kDigestUtf16BlockBytes : format::kUtf16BlockBytes;
  if (!ReadBytes(chars_, size)) return false;
  count_ = blockBytes_ / sizeof(char16_t);
  return true;
}

// Each ANSI block is converted on its own, but for the bytes of a character
// that it cuts, which wait for the next block (the last block converts
// them as they are); a block that the code page rejects contributes no
// characters.
uint32_t Loader::ConvertAnsi() {
  uint32_t bytes = carried_ + blockBytes_;
  uint32_t cut = blockBytes_ == 0 ? 0
                                  : static_cast<uint32_t>(std::min<size_t>(
                                        platform::CutCharacterBytes(document_.codePage, raw_, bytes),
                                        kCutBytes));
  uint32_t count = static_cast<uint32_t>(platform::AnsiToWide(
      document_.codePage, raw_, bytes - cut, chars_, std::size(chars_)));
  std::memmove(raw_, raw_ + bytes - cut, cut);
  carried_ = cut;
  return count;
}

// The block is used up: the open token keeps what it has so far and goes on
// at the start of the next block.
void Loader::CarryOver() {
  for (Token* token : {&scan_.name, &scan_.keyText, &scan_.value, &scan_.comment}) {
    if (!token->IsOpen()) continue;
    token->text.Append(std::u16string_view(chars_ + token->start, count_ - token->start));
    token->start = 0;
  }
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
    return blockBytes_ - (index + 1) * static_cast<uint32_t>(sizeof(char16_t));
  }
  std::u16string_view after(chars_ + index + 1, count_ - index - 1);
  size_t bytes = platform::WideToAnsiLength(document_.codePage, after) + carried_;
  return static_cast<uint32_t>(std::min<size_t>(bytes, blockBytes_));
}

// ---- Characters --------------------------------------------------------------

void Loader::ScanBlock(uint32_t from) {
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
  if (scan_.place == Place::HeaderLf || scan_.place == Place::BlankLf) return EndLine(c);
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

// The character after a line's CR: only LF completes the line.
void Loader::EndLine(char16_t c) {
  if (c != u'\n') return SyntaxError(Reason::LoneCarriageReturn);
  ++scan_.line;
  scan_.place = Place::LineStart;
}

void Loader::MarkComment(uint32_t at) {
  if (Has(KeepComments)) scan_.comment.OpenAt(at);
}

// The whole text of `token` up to `end` in the current block, closing it.
// The view lies in the block or in the token's own text: use it before the
// next block is read and before the token's text changes.
std::u16string_view Loader::Take(Token& token, uint32_t end) {
  if (!token.IsOpen()) return token.text.View();
  std::u16string_view part(chars_ + token.start, end - token.start);
  token.start = Token::kClosed;
  if (token.text.Empty()) return part;
  token.text.Append(part);
  return token.text.View();
}

// Closes `token`, keeping its open part in its text.
void Loader::Close(Token& token, uint32_t end) {
  if (!token.IsOpen()) return;
  token.text.Append(std::u16string_view(chars_ + token.start, end - token.start));
  token.start = Token::kClosed;
}

// ---- Document --------------------------------------------------------------------

void Loader::FinishHeader(uint32_t end) {
  std::u16string_view name = Take(scan_.name, end);
  if (IsVersionSectionName(name)) {
    AddVersionSection();
  } else if (name == format::kEndMarkerName) {
    scan_.running = false;
    CheckEndMarker(end);
  } else {
    AddSection(name);
  }
  scan_.name.text.Clear();
  scan_.place = Place::AfterHeader;
}

void Loader::AddVersionSection() {
  if (scan_.versionSeen) {
    scan_.comment.text.Clear();  // a second version section is ignored with its comment
    return;
  }
  if (scan_.ordinarySeen) return SyntaxError(Reason::VersionAfterSection);
  scan_.versionSeen = true;
  document_.leadingText = std::move(scan_.comment.text);
}

void Loader::AddSection(std::u16string_view name) {
  auto* section = new QdsSection(name);
  section->comment = std::move(scan_.comment.text);
  document_.sections.AddTail(section);
  scan_.section = section;
  scan_.lastKey.Clear();
  scan_.ordinarySeen = true;
}

// The first character of an entry line's key.
void Loader::StartEntry(uint32_t at) {
  if (scan_.section == nullptr) {
    if (!Has(Lenient)) return SyntaxError(Reason::EntryBeforeSection);
    scan_.section = new QdsSection(u"");
    document_.sections.AddTail(scan_.section);
    scan_.lastKey.Clear();
  }
  Close(scan_.comment, at);  // the comment text before the line ends here
  scan_.keyText.OpenAt(at);
  scan_.place = Place::Key;
}

void Loader::FinishKey(uint32_t end) {
  std::u16string_view name = TrimEnd(Take(scan_.keyText, end));
  if (name != scan_.lastKey.View()) {
    scan_.key = FindKey(*scan_.section, name);
    scan_.keyIsNew = scan_.key == nullptr;
    if (scan_.keyIsNew) scan_.key = new QdsKey(name);
    // Sharing the key's own name spares a copy whenever the line spells it
    // the same way.
    if (scan_.key->name == name) {
      scan_.lastKey = scan_.key->name;
    } else {
      scan_.lastKey.Assign(name);
    }
  }
  scan_.keyText.text.Clear();
}

void Loader::FinishValue(uint32_t end) {
  AddValue(Trim(Take(scan_.value, end)));
  scan_.value.text.Clear();
}

// The value completes its entry: a new key joins its section now.
void Loader::AddValue(std::u16string_view text) {
  auto* value = new QdsValue(text);
  value->comment = std::move(scan_.comment.text);
  scan_.key->values.AddTail(value);
  if (scan_.keyIsNew) {
    scan_.section->keys.AddTail(scan_.key);
    scan_.keyIsNew = false;
  }
}

// "[$end$]" ends the text. With the digest checked, the digest covers the
// file up to the marker's "]", and the check line must follow at once. A
// caller that asks for the outcome learns whether a check line follows also
// without the digest.
void Loader::CheckEndMarker(uint32_t close) {
  scan_.endSeen = true;
  if (!Has(Digest) && outcome_ == nullptr) return;
  // The comment text before the marker was closed at its "[".
  scan_.lineEndBeforeMarker = scan_.comment.text.View().ends_with(format::kLineEnd);
  char16_t digest[kDigestTextCapacity];
  if (Has(Digest)) {
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
  while (have < format::kCheckLineLength && NextBlock()) collect(0);
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
  bool ok = scan_.status == LoadStatus::Ok;
  // A last line without "\r\n" still counts when its value has begun.
  if (ok && scan_.value.IsOpen()) FinishValue(count_);
  if (ok && !scan_.comment.text.Empty()) document_.trailingText = std::move(scan_.comment.text);
  if (scan_.keyIsNew) delete scan_.key;
  scan_.key = nullptr;
  scan_.keyIsNew = false;
  FinishDigest();
  if (ok && Has(Digest) && !scan_.endSeen) Fail(LoadStatus::DigestMismatch, Reason::NoEndMarker);
}

}  // namespace

LoadStatus ParseDocument(DocumentModel* document, BufferedStream* stream, uint32_t flags,
                         LoadOutcome* outcome) {
  Loader loader(*document, *stream, flags, outcome);
  return loader.Run();
}

LoadStatus LoadDocument(DocumentModel* document, const char16_t* path, uint32_t flags,
                        LoadOutcome* outcome) {
  if (path == nullptr) path = u"";
  document->fileName = path;
  FileStream stream(format::kStreamBufferSize);
  StreamStatus opened = stream.Open(path, kStreamRead);
  if (opened == StreamStatus::Ok) return ParseDocument(document, &stream, flags, outcome);
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
