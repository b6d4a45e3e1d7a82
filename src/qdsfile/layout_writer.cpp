#include "qdsfile/layout_writer.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "platform/text_services.h"
#include "qdsfile/buffered_stream.h"
#include "qdsfile/qds_format.h"

namespace qds {
namespace {

using Item = SourceLayout::Item;

// The anchor of what a file without items gains: its end, before any end
// marker.
constexpr uint32_t kEndOfText = std::numeric_limits<uint32_t>::max();

// A part that the document has and its file had not, written after the
// line of its anchor item: one value of a key the file had, a key with its
// values, or a section with its keys.
struct Insertion {
  uint32_t anchor;
  const QdsSection* section;  // set for a new section only
  const QdsKey* key;
  const QdsValue* value;  // null: every value of `key`
};

// An item whose line the document changed: a value's text or its key's
// name (`key` set), or a section's name.
struct Rewrite {
  uint32_t item;
  const QdsKey* key;
  const ListNode* node;
};

// The parts of an entry line, as positions in the file's bytes.
struct EntryParts {
  uint64_t keyStart;
  uint64_t keyEnd;
  uint64_t valueStart;  // after "=" and the blanks after it; = valueEnd without "="
  uint64_t valueEnd;
  uint64_t bodyEnd;  // before the line end
  bool separator;    // the line has "="
};

// The file's text, read a unit (a UTF-16 unit or an ANSI byte) at a time.
class FileUnits {
 public:
  explicit FileUnits(const SourceLayout& layout)
      : bytes_(layout.Bytes()), size_(layout.Utf16() ? 2 : 1) {}

  uint64_t Size() const { return size_; }
  uint64_t End() const { return bytes_.size() - bytes_.size() % size_; }
  // Where the text starts: after a UTF-16 file's byte-order mark.
  uint64_t TextStart() const { return size_ == 2 ? 2 : 0; }
  char16_t At(uint64_t at) const {
    auto byte = [&](uint64_t i) { return static_cast<unsigned char>(bytes_[i]); };
    return size_ == 2 ? static_cast<char16_t>(byte(at) | byte(at + 1) << 8) : byte(at);
  }
  // White space as the loader trims it; an ANSI byte counts only when it
  // is ASCII. Blank: also U+001A, which the loader skips where a line or
  // its key would start.
  bool White(uint64_t at) const {
    char16_t unit = At(at);
    return (size_ == 2 || unit < 0x80) && IsWhiteSpace(unit);
  }
  bool Blank(uint64_t at) const { return At(at) == format::kIgnoredUnit || White(at); }
  // Where the line end of the line [start, end) starts: its CR, which the
  // line feed (or the end of the text) follows, U+001A between them aside
  // (the loader skips those); `end` for a line without one.
  uint64_t LineEndStart(uint64_t start, uint64_t end) const {
    uint64_t at = end;
    if (at > start && At(at - size_) == u'\n') at -= size_;
    while (at > start && At(at - size_) == format::kIgnoredUnit) at -= size_;
    return at > start && At(at - size_) == u'\r' ? at - size_ : end;
  }
  // Whether [from, to) ends with a CR, U+001A after it aside (the loader
  // skips those before the line feed).
  bool EndsWithCr(uint64_t from, uint64_t to) const {
    while (to > from && At(to - size_) == format::kIgnoredUnit) to -= size_;
    return to > from && At(to - size_) == u'\r';
  }
  bool EndsWithLineEnd(uint64_t from, uint64_t to) const {
    return to >= from + 2 * size_ && At(to - 2 * size_) == u'\r' && At(to - size_) == u'\n';
  }
  // The start of the line that ends at `end`, no earlier than `floor`:
  // lines end with CR LF (a line feed alone is text).
  uint64_t LineStartBefore(uint64_t end, uint64_t floor) const {
    uint64_t at = end - size_;
    while (at > floor && !EndsWithLineEnd(floor, at)) at -= size_;
    return at;
  }
  // Whether the line [from, to) holds only blanks before its line end, or
  // begins, after blanks, with `mark`.
  bool IsBlankLine(uint64_t from, uint64_t to) const {
    return FirstFilled(from, to) == std::nullopt;
  }
  bool StartsWith(uint64_t from, uint64_t to, char16_t mark) const {
    std::optional<char16_t> first = FirstFilled(from, to);
    return first && *first == mark;
  }
  EntryParts Entry(uint64_t start, uint64_t end) const;
  std::string_view Bytes(uint64_t from, uint64_t to) const {
    return bytes_.substr(from, to - from);
  }

 private:
  std::optional<char16_t> FirstFilled(uint64_t from, uint64_t to) const {
    for (uint64_t at = from; at < to; at += size_) {
      char16_t unit = At(at);
      if (unit == u'\r' || unit == u'\n') return std::nullopt;
      if (!Blank(at)) return unit;
    }
    return std::nullopt;
  }
  uint64_t SkipBlanks(uint64_t at, uint64_t end) const {
    while (at < end && Blank(at)) at += size_;
    return at;
  }
  uint64_t SkipWhite(uint64_t at, uint64_t end) const {
    while (at < end && White(at)) at += size_;
    return at;
  }
  uint64_t BackOverWhite(uint64_t end, uint64_t floor) const {
    while (end > floor && White(end - size_)) end -= size_;
    return end;
  }

  std::string_view bytes_;
  uint64_t size_;
};

EntryParts FileUnits::Entry(uint64_t start, uint64_t end) const {
  EntryParts parts{};
  parts.bodyEnd = LineEndStart(start, end);
  parts.keyStart = SkipBlanks(start, parts.bodyEnd);
  uint64_t separator = parts.keyStart;
  while (separator < parts.bodyEnd && At(separator) != format::kKeyValueSeparator) {
    separator += size_;
  }
  parts.separator = separator < parts.bodyEnd;
  parts.keyEnd = BackOverWhite(separator, parts.keyStart);
  parts.valueStart = parts.separator ? SkipWhite(separator + size_, parts.bodyEnd) : parts.bodyEnd;
  parts.valueEnd = BackOverWhite(parts.bodyEnd, parts.valueStart);
  return parts;
}

// Whether `bytes` (at least one) begin with the bytes of the UTF-16 mark, or
// with its first byte alone.
bool MayStartMark(std::string_view bytes) {
  const uint8_t* mark = format::kByteOrderMarkBytes;
  return static_cast<uint8_t>(bytes[0]) == mark[0] &&
         (bytes.size() == 1 || static_cast<uint8_t>(bytes[1]) == mark[1]);
}

class LayoutWriter {
 public:
  LayoutWriter(const DocumentModel& document, BufferedStream* stream)
      : document_(document),
        layout_(*document.layout),
        items_(layout_.Items()),
        units_(layout_),
        stream_(stream) {}

  SaveStatus Write(bool sign, int32_t* character);

 private:
  // ---- Planning
  void Plan();
  void PlanSection(const QdsSection* section, std::optional<uint32_t>* lastAlive);
  bool PlanFoundWithoutHeader(const QdsSection* section, const std::vector<const QdsKey*>& newKeys);
  uint32_t NewSectionAnchor(std::optional<uint32_t> lastAlive) const;
  bool BeforeVersionLine(uint32_t item) const;
  bool SectionsSeparated() const;
  std::optional<uint64_t> MovedSectionPlace() const;
  bool WriteMovedSection(std::optional<uint64_t>* versionEnd, uint64_t limit, uint64_t* at);

  // ---- Lines
  const Rewrite* RewriteOf(uint32_t item, bool moved);
  bool WriteItem(uint32_t item, bool moved);
  bool WriteGapOfRemoved(uint64_t from, uint64_t to);
  uint64_t CommentLinesAbove(uint64_t from, uint64_t to) const;
  bool WriteInsertions(uint32_t anchor);
  // A line end, unless the text written so far ends with one.
  bool EndLine();
  bool WriteEntryLine(std::string_view indent, const QdsKey& key, const QdsValue& value);
  bool WriteNewSection(const QdsSection& section);
  bool WriteMovedLine(uint32_t item);
  bool WriteHeaderLine(const QdsSection& section);
  bool RewriteEntry(const Item& item, const Rewrite& rewrite);
  bool RewriteHeader(const Item& item, const QdsSection& section);
  bool WriteTail(uint64_t from, bool sign);
  bool WriteCheckLine();

  // ---- Output
  // The file's bytes [from, to), gathered with the bytes before them when
  // they follow on, so that unchanged text goes out in long pieces.
  bool Raw(uint64_t from, uint64_t to);
  bool Flush();
  // A text in the file's encoding.
  bool Text(std::u16string_view text);
  // Puts `bytes` in the stream. An ANSI file whose text the changes make
  // begin with the bytes of the UTF-16 mark (its first line removed, say)
  // would load as UTF-16: an empty line goes before them.
  bool Put(std::string_view bytes);

  const DocumentModel& document_;
  const SourceLayout& layout_;
  const std::vector<Item>& items_;
  FileUnits units_;
  BufferedStream* stream_;

  std::vector<Insertion> insertions_;
  std::vector<Rewrite> rewrites_;
  // The item that the next node of the document's walk probably made.
  uint32_t likelyItem_ = 0;
  size_t nextInsertion_ = 0;
  size_t nextRewrite_ = 0;
  // A section that the file had without a header line (the entries that a
  // lenient load found before any), given a name: its header goes before
  // its first line.
  std::optional<uint32_t> namedFirstItem_;
  const QdsSection* named_ = nullptr;
  // The lines of a section that goes whole right after the version line:
  // one found without a header line before it (a lenient load reads such
  // lines) and given a name, whose header cannot stand there.
  std::vector<uint32_t> moved_;
  const QdsSection* movedSection_ = nullptr;
  bool separateSections_ = true;
  bool begun_ = false;  // whether any byte has been put

  uint64_t pendingFrom_ = 0;
  uint64_t pendingTo_ = 0;
  // The text written so far ends with a line end (or is none), or with a
  // CR that a line feed would make one.
  bool atLineStart_ = true;
  bool afterCr_ = false;
  std::string encoded_;
  SaveStatus status_ = SaveStatus::Ok;
  int32_t character_ = 0;
};

// ---- Planning ----------------------------------------------------------------------

// Finds, in one walk of the document, the parts that its file did not have
// (each with the item it follows) and the items whose lines changed.
void LayoutWriter::Plan() {
  std::optional<uint32_t> lastAlive;
  for (const QdsSection* section = document_.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    PlanSection(section, &lastAlive);
  }
  std::stable_sort(insertions_.begin(), insertions_.end(),
                   [](const Insertion& a, const Insertion& b) { return a.anchor < b.anchor; });
  std::sort(rewrites_.begin(), rewrites_.end(),
            [](const Rewrite& a, const Rewrite& b) { return a.item < b.item; });
  separateSections_ = SectionsSeparated();
}

void LayoutWriter::PlanSection(const QdsSection* section, std::optional<uint32_t>* lastAlive) {
  const std::optional<uint32_t> header = layout_.ItemOf(section, likelyItem_);
  if (header) likelyItem_ = *header + 1;
  if (header && items_[*header].changed) rewrites_.push_back(Rewrite{*header, nullptr, section});
  std::optional<uint32_t> sectionLast = header;
  std::optional<uint32_t> sectionFirst;
  std::vector<const QdsKey*> newKeys;
  std::vector<uint32_t> lines;
  const size_t insertionsBefore = insertions_.size();
  for (const QdsKey* key = section->keys.head(); key != nullptr;
       key = NodeList<QdsKey>::Next(key)) {
    const bool renamed = layout_.IsRenamedKey(key);
    std::optional<uint32_t> keyLast;
    size_t firstNew = insertions_.size();
    for (const QdsValue* value = key->values.head(); value != nullptr;
         value = ValueList::Next(value)) {
      std::optional<uint32_t> item = layout_.ItemOf(value, likelyItem_);
      if (!item) {
        insertions_.push_back(Insertion{0, nullptr, key, value});
        continue;
      }
      likelyItem_ = *item + 1;
      keyLast = std::max(keyLast.value_or(0), *item);
      sectionFirst = std::min(sectionFirst.value_or(*item), *item);
      if (!header) lines.push_back(*item);
      if (renamed || items_[*item].changed) rewrites_.push_back(Rewrite{*item, key, value});
    }
    if (!keyLast) {
      insertions_.resize(firstNew);
      newKeys.push_back(key);
      continue;
    }
    for (size_t i = firstNew; i < insertions_.size(); ++i) insertions_[i].anchor = *keyLast;
    sectionLast = std::max(sectionLast.value_or(0), *keyLast);
  }
  if (!header && !section->name.Empty() && sectionFirst && BeforeVersionLine(*sectionFirst)) {
    moved_ = std::move(lines);
    std::sort(moved_.begin(), moved_.end());
    movedSection_ = section;
    insertions_.resize(insertionsBefore);  // its new values go with it
    return;
  }
  if (!sectionLast) {
    // A section without a name or entries (what a lenient load makes of a
    // last line that it drops) has no line to write.
    if (section->name.Empty() && section->keys.count() == 0) return;
    if (PlanFoundWithoutHeader(section, newKeys)) return;
    insertions_.push_back(Insertion{NewSectionAnchor(*lastAlive), section, nullptr, nullptr});
    return;
  }
  for (const QdsKey* key : newKeys)
    insertions_.push_back(Insertion{*sectionLast, nullptr, key, nullptr});
  if (!header && !section->name.Empty()) {
    namedFirstItem_ = sectionFirst;
    named_ = section;
  }
  *lastAlive = std::max(lastAlive->value_or(0), *sectionLast);
}

// The section that a lenient load found without a header (the document's
// first, when the file's first item is no header), none of its lines left:
// it goes where those stood, before the first header, as after any other
// section's lines its entries would be that section's. Given a name, its
// header goes there too, or right after the version line when they stood
// before it. False for any other section.
bool LayoutWriter::PlanFoundWithoutHeader(const QdsSection* section,
                                          const std::vector<const QdsKey*>& newKeys) {
  if (section != document_.sections.head()) return false;
  auto header = std::find_if(items_.begin(), items_.end(), [](const Item& i) { return i.header; });
  if (header == items_.begin()) return false;
  const auto place = static_cast<uint32_t>(header - items_.begin() - 1);
  if (section->name.Empty()) {
    for (const QdsKey* key : newKeys)
      insertions_.push_back(Insertion{place, nullptr, key, nullptr});
    return true;
  }
  if (BeforeVersionLine(place)) {
    movedSection_ = section;
    return true;
  }
  insertions_.push_back(Insertion{place, section, nullptr, nullptr});
  return true;
}

// The item that a new section follows: the last line of the last section
// that has lines, or else the last line; never one before the version
// line, which no header may precede (the end of the text then).
uint32_t LayoutWriter::NewSectionAnchor(std::optional<uint32_t> lastAlive) const {
  if (items_.empty()) return kEndOfText;
  const auto last = static_cast<uint32_t>(items_.size() - 1);
  const uint32_t anchor = lastAlive.value_or(last);
  if (!BeforeVersionLine(anchor)) return anchor;
  return BeforeVersionLine(last) ? kEndOfText : last;
}

// Whether the line of `item` stands before the version line (a lenient load
// reads entries there), where no header can go.
bool LayoutWriter::BeforeVersionLine(uint32_t item) const {
  const std::optional<uint64_t> version = layout_.VersionLine();
  return version && items_[item].start < *version;
}

// A new section is set apart by a blank line when the file's second
// section is (or when the file has fewer, as a canonical file is).
bool LayoutWriter::SectionsSeparated() const {
  int headers = 0;
  uint64_t gapStart = units_.TextStart();
  for (const Item& item : items_) {
    if (item.header && ++headers == 2) {
      for (uint64_t end = item.start; end > gapStart;) {
        uint64_t start = units_.LineStartBefore(end, gapStart);
        if (units_.IsBlankLine(start, end)) return true;
        end = start;
      }
      return false;
    }
    gapStart = item.end;
  }
  return true;
}

// ---- Lines -------------------------------------------------------------------------

SaveStatus LayoutWriter::Write(bool sign, int32_t* character) {
  sign = sign || layout_.Signed();
  Plan();
  if (sign && stream_->StartHash() != StreamStatus::Ok) return SaveStatus::WriteFailed;
  uint64_t at = 0;
  bool inRemovedSection = false;
  bool written = true;
  std::optional<uint64_t> versionEnd = MovedSectionPlace();
  auto nextMoved = moved_.cbegin();
  for (uint32_t i = 0; written && i < items_.size(); ++i) {
    const Item& item = items_[i];
    written = WriteMovedSection(&versionEnd, item.start, &at);
    const bool moved = nextMoved != moved_.cend() && *nextMoved == i;
    if (moved) ++nextMoved;
    if (layout_.Alive(i) && !moved) {
      inRemovedSection = false;
      written = Raw(at, item.start) && (namedFirstItem_ != i || WriteHeaderLine(*named_)) &&
                WriteItem(i, false);
    } else {
      // The lines between a removed header and its section's last entry
      // line go with them.
      written = (!item.header && inRemovedSection) || WriteGapOfRemoved(at, item.start);
      inRemovedSection = inRemovedSection || item.header;
    }
    written = written && WriteInsertions(i);
    at = item.end;
  }
  written = written && WriteMovedSection(&versionEnd, units_.End(), &at) && WriteTail(at, sign) &&
            Flush();
  *character = character_;
  if (!written && status_ == SaveStatus::Ok) status_ = SaveStatus::WriteFailed;
  return status_;
}

// The section that goes after the version line, once the text written
// reaches it (`*at`, up to `limit`).
bool LayoutWriter::WriteMovedSection(std::optional<uint64_t>* versionEnd, uint64_t limit,
                                     uint64_t* at) {
  if (!*versionEnd || **versionEnd > limit) return true;
  uint64_t end = **versionEnd;
  versionEnd->reset();
  bool written = Raw(*at, end) && EndLine() && WriteNewSection(*movedSection_) && EndLine();
  *at = std::max(*at, end);
  return written;
}

// Where the line after the version line starts, when a section is to go
// there.
std::optional<uint64_t> LayoutWriter::MovedSectionPlace() const {
  if (!layout_.VersionLine() || movedSection_ == nullptr) return std::nullopt;
  return layout_.VersionLineEnd().value_or(units_.End());
}

// The change to an item's line, if one names it. Lines go out in the
// file's order, so the search goes on from where the last one ended; the
// lines of a moved section go out of order, and are looked up.
const Rewrite* LayoutWriter::RewriteOf(uint32_t item, bool moved) {
  auto at = rewrites_.cbegin();
  if (moved) {
    at = std::lower_bound(at, rewrites_.cend(), item,
                          [](const Rewrite& rewrite, uint32_t i) { return rewrite.item < i; });
  } else {
    while (nextRewrite_ < rewrites_.size() && rewrites_[nextRewrite_].item < item) ++nextRewrite_;
    at += static_cast<std::ptrdiff_t>(nextRewrite_);
  }
  return at != rewrites_.cend() && at->item == item ? &*at : nullptr;
}

bool LayoutWriter::WriteItem(uint32_t item, bool moved) {
  const Rewrite* rewrite = RewriteOf(item, moved);
  if (rewrite == nullptr) return Raw(items_[item].start, items_[item].end);
  if (rewrite->key == nullptr) {
    return RewriteHeader(items_[item], *static_cast<const QdsSection*>(rewrite->node));
  }
  return RewriteEntry(items_[item], *rewrite);
}

// The text between an item and a removed one, less the removed item's
// comment lines.
bool LayoutWriter::WriteGapOfRemoved(uint64_t from, uint64_t to) {
  return Raw(from, CommentLinesAbove(from, to));
}

// Where the comment lines right above the line at `to` start, with no blank
// line between, no earlier than `from` and not inside any version header,
// whose name may run over lines that look like comments.
uint64_t LayoutWriter::CommentLinesAbove(uint64_t from, uint64_t to) const {
  uint64_t floor = std::max(from, units_.TextStart());
  const std::optional<uint64_t> header = layout_.VersionHeaderEndBefore(to);
  if (header) floor = std::max(floor, *header);
  uint64_t end = to;
  while (end > floor) {
    uint64_t start = units_.LineStartBefore(end, floor);
    if (!units_.StartsWith(start, end, format::kCommentMark)) break;
    end = start;
  }
  return end;
}

// What follows the item `anchor`: a line that ended the file without a line
// end gets one first.
bool LayoutWriter::WriteInsertions(uint32_t anchor) {
  for (; nextInsertion_ < insertions_.size() && insertions_[nextInsertion_].anchor == anchor;
       ++nextInsertion_) {
    if (!EndLine()) return false;
    const Insertion& insertion = insertions_[nextInsertion_];
    if (insertion.section != nullptr) {
      if (!WriteNewSection(*insertion.section)) return false;
      continue;
    }
    // A new line takes the indentation of the entry line that it follows.
    std::string_view indent;
    if (anchor != kEndOfText && !items_[anchor].header) {
      indent = units_.Bytes(items_[anchor].start,
                            units_.Entry(items_[anchor].start, items_[anchor].end).keyStart);
    }
    if (insertion.value != nullptr) {
      if (!WriteEntryLine(indent, *insertion.key, *insertion.value)) return false;
      continue;
    }
    for (const QdsValue* value = insertion.key->values.head(); value != nullptr;
         value = ValueList::Next(value)) {
      if (!WriteEntryLine(indent, *insertion.key, *value)) return false;
    }
  }
  return true;
}

bool LayoutWriter::EndLine() {
  return atLineStart_ || Text(afterCr_ ? std::u16string_view(u"\n") : format::kLineEnd);
}

bool LayoutWriter::WriteEntryLine(std::string_view indent, const QdsKey& key,
                                  const QdsValue& value) {
  if (!Flush() || !Put(indent)) return false;
  // A key that begins with "[" gets white space before it where the line
  // that it follows gives none (or none seen: ANSI bytes above 0x7F).
  if (indent.empty() && format::NeedsIndent(key.name.View()) && !Text(format::kKeyIndent)) {
    return false;
  }
  if (!Text(key.name.View())) return false;
  if (!value.IsBareKey()) {
    static constexpr char16_t kSeparator[] = {format::kKeyValueSeparator, u'\0'};
    if (!Text(kSeparator) || !Text(value.name.View())) return false;
  }
  return Text(format::kLineEnd);
}

bool LayoutWriter::WriteHeaderLine(const QdsSection& section) {
  static constexpr char16_t kOpen[] = {format::kSectionOpen, u'\0'};
  static constexpr char16_t kClose[] = {format::kSectionClose, u'\r', u'\n', u'\0'};
  return Text(kOpen) && Text(section.name.View()) && Text(kClose);
}

bool LayoutWriter::WriteNewSection(const QdsSection& section) {
  if (separateSections_ && !Text(format::kLineEnd)) return false;
  if (!section.name.Empty() && !WriteHeaderLine(section)) return false;
  // The lines of a moved section go with it as they stand.
  for (const QdsKey* key = section.keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    for (const QdsValue* value = key->values.head(); value != nullptr;
         value = ValueList::Next(value)) {
      const std::optional<uint32_t> item = layout_.ItemOf(value);
      if (!EndLine() || !(item ? WriteMovedLine(*item) : WriteEntryLine({}, *key, *value))) {
        return false;
      }
    }
  }
  return true;
}

// A line of a moved section, with the comment lines right above it, which
// the text around its old place leaves out as a removed line's.
bool LayoutWriter::WriteMovedLine(uint32_t item) {
  const uint64_t start = items_[item].start;
  const uint64_t above = CommentLinesAbove(item == 0 ? 0 : items_[item - 1].end, start);
  return Raw(above, start) && WriteItem(item, true);
}

// The line with the key's new name and the value's new text where they
// changed; its indentation, the blanks around "=" and the line end stay.
bool LayoutWriter::RewriteEntry(const Item& item, const Rewrite& rewrite) {
  const auto& value = *static_cast<const QdsValue*>(rewrite.node);
  EntryParts parts = units_.Entry(item.start, item.end);
  if (!Raw(item.start, parts.keyStart)) return false;
  bool keyWritten = layout_.IsRenamedKey(rewrite.key) ? Text(rewrite.key->name.View())
                                                      : Raw(parts.keyStart, parts.keyEnd);
  if (!keyWritten) return false;
  if (value.IsBareKey()) return Raw(parts.bodyEnd, item.end);
  if (!item.changed) return Raw(parts.keyEnd, item.end);
  if (parts.separator) {
    return Raw(parts.keyEnd, parts.valueStart) && Text(value.name.View()) &&
           Raw(parts.valueEnd, item.end);
  }
  static constexpr char16_t kSeparator[] = {format::kKeyValueSeparator, u'\0'};
  return Text(kSeparator) && Text(value.name.View()) && Raw(parts.bodyEnd, item.end);
}

// The header with the section's new name between its brackets; what
// followed the "]" stays.
bool LayoutWriter::RewriteHeader(const Item& item, const QdsSection& section) {
  uint64_t open = item.start;
  while (units_.At(open) != format::kSectionOpen) open += units_.Size();
  uint64_t close = open + units_.Size();
  if (layout_.Utf16()) {
    while (close < item.end && units_.At(close) != format::kSectionClose) close += units_.Size();
  } else {
    // In a multi-byte code page the byte of "]" can end another character:
    // the bracket is the first whose text before it reads as the loader read it.
    std::string_view line = units_.Bytes(open, item.end);
    std::u16string text(line.size() + 4, u'\0');
    text.resize(platform::AnsiToWide(layout_.CodePage(), line.data(), line.size(), text.data(),
                                     text.size()));
    size_t bracket = text.find(format::kSectionClose);
    for (close = open + 1; close < item.end; ++close) {
      if (units_.At(close) != format::kSectionClose) continue;
      std::u16string before(close - open + 4, u'\0');
      before.resize(platform::AnsiToWide(layout_.CodePage(), line.data(), close - open,
                                         before.data(), before.size()));
      if (before.size() == bracket && text.starts_with(before)) break;
    }
  }
  return Raw(item.start, open + units_.Size()) && Text(section.name.View()) &&
         Raw(std::min(close, item.end), item.end);
}

// The text after the last item: up to an end marker, the marker, and after
// it a check line of the new digest in place of the old one when the file
// is signed; a file signed anew gets marker and check line at its end. What
// a file without items gains goes before the marker, and before a last line
// that the load did not finish (which a line end after it would change).
bool LayoutWriter::WriteTail(uint64_t from, bool sign) {
  std::optional<uint64_t> marker = layout_.EndMarker();
  uint64_t end = units_.End();
  uint64_t before =
      std::max({from, units_.TextStart(), marker.value_or(layout_.UnfinishedLine().value_or(end))});
  if (!Raw(from, before) || !WriteInsertions(kEndOfText)) return false;
  if (!marker) {
    if (!sign) return Raw(before, layout_.Bytes().size());
    return EndLine() && Text(format::kEndMarker) && WriteCheckLine() &&
           Raw(before, layout_.Bytes().size());
  }
  uint64_t close = *marker;
  while (close < end && units_.At(close) != format::kSectionClose) close += units_.Size();
  uint64_t after = std::min(close + units_.Size(), end);
  if (!Raw(*marker, after)) return false;
  if (!sign) return Raw(after, layout_.Bytes().size());
  uint64_t oldCheckLine = layout_.Signed() ? format::kCheckLineLength * units_.Size() : 0;
  return WriteCheckLine() && Raw(std::min(after + oldCheckLine, end), layout_.Bytes().size());
}

bool LayoutWriter::WriteCheckLine() {
  if (!Flush()) return false;
  char16_t digest[kDigestTextCapacity];
  stream_->FinishHash(digest, 0);
  std::u16string line(format::kLineEnd);
  line += digest;
  line += format::kLineEnd;
  return Text(line);
}

// ---- Output ------------------------------------------------------------------------

bool LayoutWriter::Raw(uint64_t from, uint64_t to) {
  if (from >= to) return true;
  if (from != pendingTo_ && !Flush()) return false;
  if (pendingFrom_ == pendingTo_) pendingFrom_ = from;
  pendingTo_ = to;
  atLineStart_ = to == units_.TextStart() || units_.EndsWithLineEnd(units_.TextStart(), to);
  afterCr_ = units_.EndsWithCr(units_.TextStart(), to);
  return true;
}

bool LayoutWriter::Flush() {
  std::string_view bytes = layout_.Bytes().substr(pendingFrom_, pendingTo_ - pendingFrom_);
  pendingFrom_ = pendingTo_;
  return Put(bytes);
}

bool LayoutWriter::Text(std::u16string_view text) {
  if (!Flush()) return false;
  if (!text.empty()) {
    atLineStart_ = text.ends_with(format::kLineEnd);
    afterCr_ = text.back() == u'\r';
  }
  if (layout_.Utf16()) {
    return Put(std::string_view(reinterpret_cast<const char*>(text.data()),
                                text.size() * sizeof(char16_t)));
  }
  encoded_.clear();
  size_t refused = platform::WideToAnsi(layout_.CodePage(), text, &encoded_);
  if (refused != std::u16string_view::npos) {
    character_ = static_cast<int32_t>(CharacterAt(text, refused));
    status_ = SaveStatus::Unrepresentable;
    return false;
  }
  return Put(encoded_);
}

bool LayoutWriter::Put(std::string_view bytes) {
  if (!begun_ && !bytes.empty()) {
    begun_ = true;
    if (!layout_.Utf16() && MayStartMark(bytes) && !Put("\r\n")) return false;
  }
  constexpr size_t kMostPerPut = UINT32_MAX;
  while (!bytes.empty()) {
    size_t count = std::min(bytes.size(), kMostPerPut);
    if (stream_->Put(bytes.data(), static_cast<uint32_t>(count)) != StreamStatus::Ok) return false;
    bytes.remove_prefix(count);
  }
  return true;
}

}  // namespace

SaveStatus WriteLayoutText(const DocumentModel& document, BufferedStream* stream, bool sign,
                           int32_t* character) {
  return LayoutWriter(document, stream).Write(sign, character);
}

}  // namespace qds
