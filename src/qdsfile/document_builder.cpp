#include "qdsfile/document_builder.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/text.h"
#include "common/wide_format.h"
#include "platform/text_services.h"
#include "qdsfile/buffered_stream.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/version_scan.h"

namespace qds {
namespace {

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

}  // namespace

void DocumentBuilder::Fail(LoadStatus status, Reason reason) {
  status_ = status;
  reason_ = reason;
  scanner_.Stop();
  if (status == LoadStatus::SyntaxError || status == LoadStatus::LineTooLong) {
    document_.errorLine = scanner_.line();
  }
}

void DocumentBuilder::CheckSource() {
  LoadStatus failure = source_.TakeFailure();
  if (failure != LoadStatus::Ok) Fail(failure);
}

LoadStatus DocumentBuilder::Run() {
  if (Has(LoadFlags::Digest)) {
    source_.StartDigest();
    CheckSource();
  }
  if (scanner_.Running() &&
      !(Has(InputFlags::MapInput) && !Has(LoadFlags::KeepLayout) && source_.Map())) {
    source_.ReadFirstBlock();
    CheckSource();
  }
  if (scanner_.Running()) {
    if (ScanVersion(document_, source_.FirstBytes(), Has(LoadFlags::DeclaredCodePage)) !=
        LoadStatus::Ok) {
      Fail(LoadStatus::SyntaxError, Reason::AnsiVersion3WithoutCodePage);
      source_.DropDigest();
      Report();
      return LoadStatus::SyntaxError;
    }
    const std::optional<uint64_t> characters = source_.FileCharacters();
    StartLayout(characters);
    if (characters) document_.ExpectText(*characters);
    if (source_.chars() == nullptr) source_.DecodeFirstBlock(characters);
    ScanText();
  }
  Finish();
  if (!source_.Unchanged()) Fail(LoadStatus::ReadFailed);
  FinishLayout();
  Report();
  return status_;
}

void DocumentBuilder::ScanText() {
  uint32_t from = document_.utf16 ? 1 : 0;  // after the byte-order mark
  scanner_.StartAt(from);
  scanner_.SetText(source_.chars(), source_.count());
  for (;;) {
    scanner_.Scan(from);
    if (!scanner_.Running() || !NextBlock()) break;
    from = source_.blockStart();
  }
}

// The line at hand may not outgrow its limit in a block of text that a new
// one leaves behind.
bool DocumentBuilder::NextBlock() {
  if (source_.NeedsNewBlock() && scanner_.LineTooLong(source_.Before() + source_.count())) {
    return false;
  }
  const uint64_t before = source_.Before();
  bool read = source_.NextBlock(scanner_.FirstKept());
  scanner_.Moved(static_cast<uint32_t>(source_.Before() - before));
  scanner_.SetText(source_.chars(), source_.count());
  CheckSource();
  return read;
}

void DocumentBuilder::Report() {
  if (outcome_ == nullptr) return;
  outcome_->reason = reason_;
  if (status_ == LoadStatus::ReadFailed) outcome_->runtimeError = source_.RuntimeError();
  outcome_->checkLine = checkLine_;
  outcome_->lineEndBeforeMarker = lineEndBeforeMarker_;
  outcome_->lineFeedsOnly = scanner_.LineFeedsOnly();
}

// A text of the document that stays where the loader found it.
TextSlice DocumentBuilder::Borrow(std::u16string_view text) {
  if (!text.empty()) source_.MarkBorrowed();
  return TextSlice::Borrow(text);
}

// ---- Document ------------------------------------------------------------------

void DocumentBuilder::Header(std::u16string_view name, uint32_t close) {
  if (IsVersionSectionName(name)) {
    AddVersionSection();
  } else if (name == format::kEndMarkerName) {
    scanner_.Stop();
    CheckEndMarker(close);
    if (layout_) layout_->SetEndMarker(scanner_.lineStart(), checkLine_);
  } else {
    AddSection(name);
  }
}

void DocumentBuilder::AddVersionSection() {
  // The comment was closed at the header's "[".
  std::u16string_view comment = scanner_.TakeComment();
  if (!versionSeen_ && ordinarySeen_) {
    return Fail(LoadStatus::SyntaxError, Reason::VersionAfterSection);
  }
  if (layout_) layout_->AddVersionHeader(scanner_.lineStart());
  if (versionSeen_) return;  // a second version section is ignored with its comment
  versionSeen_ = true;
  document_.leadingText = Borrow(comment);
}

void DocumentBuilder::AddSection(std::u16string_view name) {
  CloseSection();
  auto* section = new QdsSection(Borrow(name));
  section->comment = Borrow(scanner_.TakeComment());  // closed at the "["
  document_.sections.AddTail(section);
  AddItem(section, true);
  section_ = section;
  lastKey_ = {};
  ordinarySeen_ = true;
}

// The section that entries went to has them all.
void DocumentBuilder::CloseSection() {
  if (section_ == nullptr || !Has(InputFlags::ReadInOrder)) return;
  entries_.CloseSection(section_);
}

bool DocumentBuilder::EntryStarts() {
  if (section_ != nullptr) return true;
  if (!Has(LoadFlags::Lenient)) {
    Fail(LoadStatus::SyntaxError, Reason::EntryBeforeSection);
    return false;
  }
  section_ = new QdsSection(u"");
  document_.sections.AddTail(section_);
  lastKey_ = {};
  return true;
}

void DocumentBuilder::Key(std::u16string_view name) {
  // Compared from the end: numbered keys of one length ("File1", "File2")
  // differ there, and the compare goes unit by unit.
  repeatKey_ =
      name.size() == lastKey_.size() && std::equal(name.rbegin(), name.rend(), lastKey_.rbegin());
  if (!repeatKey_) {
    source_.MarkBorrowed();  // a new key borrows the text, and so does lastKey_
    lastKey_ = name;
  }
}

// The value completes its entry line.
void DocumentBuilder::Value(std::u16string_view text) {
  // The comment was closed where the line began; it is the value's note.
  std::u16string_view comment = scanner_.TakeComment();
  if (!text.empty() || !comment.empty()) source_.MarkBorrowed();
  auto* value = new QdsValue(TextSlice::Borrow(text, comment));
  AddItem(value, false);
  entries_.Add(section_, lastKey_, repeatKey_, value);
}

void DocumentBuilder::LineEnded() {
  if (layout_) layout_->EndItem(scanner_.lineStart());
  lineMadeItem_ = false;
}

// "[$end$]" ends the text. With the digest checked, the digest covers the
// file up to the marker's "]", and the check line must follow at once. A
// caller that asks for the outcome learns whether a check line follows also
// without the digest.
void DocumentBuilder::CheckEndMarker(uint32_t close) {
  endSeen_ = true;
  if (!Has(LoadFlags::Digest) && outcome_ == nullptr && !layout_) return;
  // The comment text before the marker was closed at its "[".
  lineEndBeforeMarker_ = scanner_.PendingComment().ends_with(format::kLineEnd);
  char16_t digest[kDigestTextCapacity];
  if (digestFromBytes_) {
    // The whole file lies in the text at hand, as it does in the file.
    std::string_view covered =
        layout_->Bytes().substr(0, (source_.Before() + close + 1) * sizeof(char16_t));
    if (!DigestOfBytes(covered, digest)) Fail(LoadStatus::DigestUnavailable);
  } else if (Has(LoadFlags::Digest)) {
    source_.FinishDigest(close, digest);
  }

  char16_t found[format::kCheckLineLength];
  size_t have = 0;
  auto collect = [&](uint32_t from) {
    size_t take = std::min<size_t>(source_.count() - from, format::kCheckLineLength - have);
    std::memcpy(found + have, source_.chars() + from, take * sizeof(char16_t));
    have += take;
  };
  LoadStatus before = status_;
  collect(close + 1);
  while (have < format::kCheckLineLength && NextBlock()) collect(source_.blockStart());
  checkLine_ = IsCheckLine(std::u16string_view(found, have));
  if (!Has(LoadFlags::Digest)) {
    status_ = before;  // the text ended at the marker: what follows cannot fail it
    return;
  }
  if (status_ != LoadStatus::Ok) return;

  char16_t expected[format::kCheckLineLength + 1];
  FormatWide(expected, std::size(expected), format::kCheckLineFormat, {digest});
  if (std::u16string_view(found, have) != std::u16string_view(expected)) {
    Fail(LoadStatus::DigestMismatch, checkLine_ ? Reason::DigestDiffers : Reason::NoCheckLine);
  }
}

void DocumentBuilder::Finish() {
  if (!versionSeen_) document_.version = format::kDefaultVersion;
  // The text ends at an end marker, or with the last line.
  const uint32_t end = source_.count();
  bool ok =
      status_ == LoadStatus::Ok && (endSeen_ || !scanner_.LineTooLong(source_.Before() + end));
  if (ok) scanner_.EndText(end);
  if (ok) {
    std::u16string_view trailing = scanner_.TakeComment(end);
    if (!trailing.empty()) document_.trailingText = Borrow(trailing);
  }
  entries_.JoinAll();
  CloseSection();
  source_.DropDigest();
  if (ok && Has(LoadFlags::Digest) && !endSeen_)
    Fail(LoadStatus::DigestMismatch, Reason::NoEndMarker);
}

void DocumentBuilder::AddItem(const ListNode* node, bool header) {
  if (!layout_) return;
  layout_->AddItem(scanner_.lineStart(), node, header);
  lineMadeItem_ = true;
}

// ---- Layout ----------------------------------------------------------------------

// The layout starts with the first block, once its encoding is known; only a
// document without sections can be given its file's layout. A UTF-16 file is
// read whole and scanned where it lies, as a mapped file is, its bytes the
// layout's, so that the file lies in memory once.
void DocumentBuilder::StartLayout(std::optional<uint64_t> characters) {
  if (!Has(LoadFlags::KeepLayout) || document_.sections.count() != 0) return;
  document_.layout.reset();
  layout_ = std::make_unique<SourceLayout>(document_.utf16 != 0, document_.codePage);
  scanner_.ReportLineEnds();  // the layout's items end with their lines
  const bool hashing = source_.DigestRunning();
  std::string_view bytes;
  if (source_.ReadWhole(&bytes)) {
    digestFromBytes_ = hashing;
    CheckSource();
    layout_->BorrowBytes(bytes);
    layout_->Reserve(bytes.size());
    return;
  }
  if (characters) layout_->Reserve(*characters * (document_.utf16 ? 2 : 1));
  layout_->AppendBytes(source_.FirstBytes().data(), source_.FirstBytes().size());
  source_.CopyBytesTo(layout_.get());
}

// The layout keeps the whole file, also what follows the end marker, and
// measures its lines in the file's bytes. ANSI text is converted once more,
// whole, for that measure. A load that failed only for want of an end
// marker read the whole text, and keeps it too.
void DocumentBuilder::FinishLayout() {
  const bool whole = status_ == LoadStatus::Ok ||
                     (status_ == LoadStatus::DigestMismatch && reason_ == Reason::NoEndMarker);
  if (!layout_ || !whole) return;
  layout_->EndItem(source_.Before() + source_.count());
  // A line end after a last header without its "]", a last key without
  // "=" or a last "key=", would make a line of what the load dropped.
  using Place = TokenScanner::Place;
  const Place place = scanner_.place();
  bool dropped = place == Place::SectionName || place == Place::Key ||
                 (place == Place::Value && !lineMadeItem_);
  if (!endSeen_ && dropped) layout_->SetUnfinishedLine(scanner_.lineStart());
  if (endSeen_ && source_.ReadsBlocks()) {
    source_.ReadToEnd();
    CheckSource();
    if (status_ != LoadStatus::Ok) return;  // a read failed
  }
  std::u16string text;
  if (!document_.utf16) {
    std::string_view bytes = layout_->Bytes();
    text.resize(bytes.size() + TextSource::kCutBytes);
    text.resize(platform::AnsiToWide(document_.codePage, bytes.data(), bytes.size(), text.data(),
                                     text.size()));
  }
  layout_->FileItems();
  if (layout_->PositionsToBytes(text)) document_.layout = std::move(layout_);
}

}  // namespace qds
