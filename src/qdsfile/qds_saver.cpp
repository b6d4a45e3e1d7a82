// SaveDocument and WriteDocumentText: the writer of the QDS file format.
//
// Saving over the document's own file (and any save that replaces its
// destination) goes through a temporary file beside it, which takes the
// file's place only after every byte was written, so that a failed write
// never damages the file that was there. The temporary file is always a new
// one of the save's own (platform::CreateNewFile): a file or link that
// someone left at its name is never written through. Each piece of text is
// handed to the stream once, in place: there is no whole-file buffer.

#include "qdsfile/qds_saver.h"

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "common/prefetch.h"
#include "common/text.h"
#include "common/wide_format.h"
#include "model/lookahead.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/path_syntax.h"
#include "platform/replace.h"
#include "qdsfile/file_lock.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/layout_writer.h"
#include "qdsfile/md5_digest.h"
#include "qdsfile/qds_format.h"

namespace qds {
namespace {

// Text goes to the file as the units stand in memory.
static_assert(std::endian::native == std::endian::little, "the writer emits UTF-16LE in place");

// Writes `text` with one Put; only a piece beyond 4 GiB takes more.
bool WriteUnits(BufferedStream* stream, std::u16string_view text) {
  constexpr size_t kMaxUnits = UINT32_MAX / sizeof(char16_t);
  while (!text.empty()) {
    size_t units = std::min(text.size(), kMaxUnits);
    if (stream->Put(text.data(), static_cast<uint32_t>(units * sizeof(char16_t))) !=
        StreamStatus::Ok) {
      return false;
    }
    text.remove_prefix(units);
  }
  return true;
}

// The constant pieces of lines, as views whose lengths are known when
// compiled: WriteLine lays them in with a store each.
constexpr std::u16string_view kLineEnd = format::kLineEnd;
constexpr char16_t kSeparatorUnits[] = {format::kKeyValueSeparator, u'\0'};
constexpr std::u16string_view kSeparator = kSeparatorUnits;
constexpr char16_t kOpenUnits[] = {format::kSectionOpen, u'\0'};
constexpr std::u16string_view kOpen = kOpenUnits;
constexpr char16_t kCloseUnits[] = {format::kSectionClose, u'\r', u'\n', u'\0'};
constexpr std::u16string_view kClose = kCloseUnits;

// Copies `piece` to `room` and returns the byte after it.
inline uint8_t* Lay(uint8_t* room, std::u16string_view piece) {
  if (piece.empty()) return room;  // an empty view may hold no address, which memcpy refuses
  std::memcpy(room, piece.data(), piece.size() * sizeof(char16_t));
  return room + piece.size() * sizeof(char16_t);
}

// Writes the pieces of one line. Nearly every line fits the room left in
// the stream's buffer: its pieces are then laid in after one check of that
// room, each constant piece with a store, where a Put per piece would cost
// a call and a check each. A template, so that each piece is copied by code
// of its own.
bool WriteLine(BufferedStream* stream, std::same_as<std::u16string_view> auto... pieces) {
  uint8_t* room = stream->Claim((pieces.size() + ...) * sizeof(char16_t));
  if (room == nullptr) return (WriteUnits(stream, pieces) && ...);
  ((room = Lay(room, pieces)), ...);
  return true;
}

// A stored comment is written only when the caller keeps comments.
bool WriteComment(BufferedStream* stream, std::u16string_view comment, SaveFlags flags) {
  return !Has(flags, SaveFlags::KeepComments) || WriteUnits(stream, comment);
}

// Writes `format` with its arguments, formatted into a buffer of `Capacity`.
template <size_t Capacity>
bool WriteFormatted(BufferedStream* stream, const char16_t* format,
                    std::initializer_list<FormatArg> args) {
  char16_t line[Capacity];
  size_t length = FormatWide(line, Capacity, format, args);
  return WriteUnits(stream, std::u16string_view(line, std::min(length, Capacity - 1)));
}

bool WriteHeader(BufferedStream* stream, int32_t version, const TextSlice& leadingText,
                 SaveFlags flags) {
  if (!WriteComment(stream, leadingText.View(), flags)) return false;
  bool written =
      version < format::kCodePageVersion
          ? WriteFormatted<format::kVersionLineCapacity>(stream, format::kVersionLineFormat,
                                                         {version})
          : WriteFormatted<format::kVersionLineCapacity>(
                stream, format::kVersionLineWithCodePageFormat, {version, format::kUtf16CodePage});
  if (!written) return false;
  if (version == format::kDefaultVersion || !Has(flags, SaveFlags::KeepComments)) {
    return WriteUnits(stream, format::kLineEnd);
  }
  return true;
}

// Asks for the first and the last line of memory of `text`: a line of
// text often spans two.
void PrefetchText(std::u16string_view text) {
  if (text.empty()) return;
  Prefetch(text.data());
  Prefetch(&text.back());
}

// Writes a key's lines. The texts of the values up to kValuesAhead ahead
// of the one written are asked for, and the node after the last of them: a
// key's values often lie lines apart in the file, which the processor does
// not foresee, and memory takes longer to come than a line to write.
bool WriteEntries(BufferedStream* stream, const QdsKey& key, SaveFlags flags) {
  constexpr int kValuesAhead = 8;
  const QdsValue* ahead = key.values.head();
  auto askAhead = [&ahead] {
    Prefetch(ahead->next);
    PrefetchText(ahead->name.View());
    ahead = ValueList::Next(ahead);
  };
  for (int i = 0; i < kValuesAhead && ahead != nullptr; ++i) askAhead();
  bool keepComments = Has(flags, SaveFlags::KeepComments);
  std::u16string_view name = key.name.View();
  const bool needsIndent = format::NeedsIndent(name);
  for (const QdsValue* value = key.values.head(); value != nullptr;
       value = ValueList::Next(value)) {
    if (ahead != nullptr) askAhead();
    std::u16string_view comment = keepComments ? value->Comment() : std::u16string_view();
    if (needsIndent && (comment.empty() || comment.ends_with(kLineEnd)) &&
        !WriteUnits(stream, format::kKeyIndent)) {
      return false;
    }
    bool written = value->IsBareKey()
                       ? WriteLine(stream, comment, name, kLineEnd)
                       : WriteLine(stream, comment, name, kSeparator, value->name.View(), kLineEnd);
    if (!written) return false;
  }
  return true;
}

bool WriteSection(BufferedStream* stream, const QdsSection& section, bool first, SaveFlags flags) {
  bool separated = Has(flags, SaveFlags::KeepComments) && !section.comment.Empty()
                       ? WriteUnits(stream, section.comment.View())
                       : first || WriteUnits(stream, format::kLineEnd);
  if (!separated) return false;
  if (!section.name.Empty()) {
    if (!WriteLine(stream, kOpen, section.name.View(), kClose)) return false;
  }
  SectionKeysAhead lookahead(section.keys.head());
  for (const QdsKey* key = section.keys.head(); key != nullptr; key = NodeList<QdsKey>::Next(key)) {
    lookahead.Step();
    if (!WriteEntries(stream, *key, flags)) return false;
  }
  return true;
}

// The end marker inside the digest, the check line outside it.
bool WriteEndMarker(BufferedStream* stream) {
  if (!WriteUnits(stream, format::kEndMarkerLine)) return false;
  char16_t digest[kDigestTextCapacity];
  stream->FinishHash(digest, 0);
  return WriteFormatted<format::kCheckLineLength + 1>(stream, format::kCheckLineFormat, {digest});
}

// Whether `path` names the document's own file `fileName`. On Windows the
// names are compared without regard to the case of A-Z, as its file systems
// compare them. Elsewhere `path` is the own file when it is the same text or
// leads to the same file (another spelling, a link), and never merely
// because it differs only in case: that is another file there.
bool IsOwnFile(const char16_t* path, const std::u16string& fileName) {
  if (platform::kNamesIgnoreCase) return EqualsIgnoreAsciiCase(path, fileName);
  return fileName == path || platform::SameFile(path, fileName.c_str());
}

// Whether a save to `path` can replace what stands there: a regular file,
// or nothing yet. A device, a FIFO or a folder cannot be replaced by
// another file; it is written, or refused, where it stands.
bool IsReplaceable(const char16_t* path) {
  uint32_t attributes;
  return platform::IsRegularFile(path) || !platform::QueryAttributes(path, &attributes);
}

// Which file is replaced through a temporary file: the own file only, or
// whichever is saved to.
enum class Replacing { OwnFile, AnyFile };

// A library user's save that replaces `destination` holds its lock: `held`
// when that guards it, else one taken into *lock; and it refuses a file that
// this process may not write before it creates anything. knitfold, which
// saves its own file, holds the lock itself.
SaveStatus GuardReplacement(const char16_t* destination, const FileLock* held, FileLock* lock,
                            SaveOutcome* outcome) {
  if (held == nullptr || !held->Guards(destination)) {
    platform::LockResult refusal = lock->Acquire(destination);
    if (!refusal) {
      outcome->systemCode = LockRefusalCode(refusal, &outcome->fromRuntime);
      return static_cast<SaveStatus>(LockRefusalNumber(refusal));
    }
  }
  if (platform::IsReadOnlyFile(destination)) {
    outcome->reason = Reason::ReadOnly;
    return SaveStatus::AccessDenied;
  }
  return SaveStatus::Ok;
}

// The status of a save whose file `stream` failed to open with `opened`.
SaveStatus OpenFailure(FileStream* stream, StreamStatus opened, SaveOutcome* outcome) {
  outcome->systemCode = stream->GetError();
  switch (opened) {
    case StreamStatus::NotFound:
      return SaveStatus::NoTarget;
    case StreamStatus::PermissionDenied:
      return SaveStatus::AccessDenied;
    default:
      return SaveStatus::OpenFailed;
  }
}

// Writes the text of `document` to `stream`, open for writing, and closes
// it: a failed close can carry a deferred write error. After a failed write
// the stream's destructor flushes what it holds and closes the file.
SaveStatus WriteAndClose(const DocumentModel& document, FileStream* stream, SaveFlags flags,
                         SaveOutcome* outcome) {
  SaveStatus written = WriteText(document, stream, flags, outcome);
  if (written == SaveStatus::Ok && stream->Close() != StreamStatus::Ok) {
    written = SaveStatus::WriteFailed;
  }
  if (written == SaveStatus::WriteFailed) outcome->systemCode = stream->GetError();
  return written;
}

SaveStatus SaveText(DocumentModel* document, const char16_t* path, SaveFlags flags,
                    Replacing replacing, SaveOutcome* outcome, const FileLock* held = nullptr) {
  SaveOutcome unused;
  if (outcome == nullptr) outcome = &unused;
  const std::u16string& fileName = document->fileName;
  bool hasPath = path != nullptr && path[0] != u'\0';
  bool ownFile = !fileName.empty() && (!hasPath || IsOwnFile(path, fileName));
  if (!ownFile && !hasPath) return SaveStatus::NoTarget;
  // Without its digest the file would be worthless: fail before any file is
  // created or truncated.
  if (Signs(*document, flags) && !Md5Digest::Available()) return SaveStatus::DigestUnavailable;
  const char16_t* destination = ownFile ? fileName.c_str() : path;
  bool copyBack = ownFile || (replacing == Replacing::AnyFile && IsReplaceable(path));
  // A file written where it stands is replaced from its first write on.
  if (!copyBack) {
    FileStream stream(format::kSaveBufferSize);
    StreamStatus opened = stream.Open(destination, kStreamWrite);
    if (opened != StreamStatus::Ok) return OpenFailure(&stream, opened, outcome);
    return WriteAndClose(*document, &stream, flags, outcome);
  }
  FileLock lock;
  if (replacing == Replacing::AnyFile) {
    if (SaveStatus guarded = GuardReplacement(destination, held, &lock, outcome);
        guarded != SaveStatus::Ok) {
      return guarded;
    }
  }
  StagedSave staged;
  SaveStatus written = staged.Write(*document, destination, flags, outcome);
  return written == SaveStatus::Ok ? staged.Commit(outcome) : written;
}

}  // namespace

bool Signs(const DocumentModel& document, SaveFlags flags) {
  return Has(flags, SaveFlags::Digest) ||
         (Has(flags, SaveFlags::KeepLayout) && document.layout && document.layout->Signed());
}

SaveStatus WriteText(const DocumentModel& document, BufferedStream* stream, SaveFlags flags,
                     SaveOutcome* outcome) {
  if (Has(flags, SaveFlags::KeepLayout) && document.layout) {
    return WriteLayoutText(document, stream, Has(flags, SaveFlags::Digest), &outcome->character);
  }
  return WriteDocumentText(document, stream, flags) ? SaveStatus::Ok : SaveStatus::WriteFailed;
}

bool WriteDocumentText(const DocumentModel& document, BufferedStream* stream, SaveFlags flags) {
  if (Has(flags, SaveFlags::Digest) && stream->StartHash() != StreamStatus::Ok) return false;
  static constexpr char16_t kMark[] = {format::kByteOrderMark, u'\0'};
  if (!WriteUnits(stream, kMark)) return false;
  if (!Has(flags, SaveFlags::OmitHeader) &&
      !WriteHeader(stream, document.version, document.leadingText, flags)) {
    return false;
  }
  bool first = true;
  for (const QdsSection* section = document.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    if (!WriteSection(stream, *section, first, flags)) return false;
    first = false;
  }
  if (!WriteComment(stream, document.trailingText.View(), flags)) return false;
  return !Has(flags, SaveFlags::Digest) || WriteEndMarker(stream);
}

SaveStatus StagedSave::Write(const DocumentModel& document, const char16_t* destination,
                             SaveFlags flags, SaveOutcome* outcome) {
  SaveOutcome unused;
  if (outcome == nullptr) outcome = &unused;
  Discard();
  destination_.assign(destination);
  std::u16string temporary(destination);
  temporary.append(format::kTemporarySuffix);
  SaveStatus written;
  {
    FileStream stream(format::kSaveBufferSize);
    StreamStatus opened = stream.OpenNew(temporary.c_str());
    if (opened != StreamStatus::Ok) return OpenFailure(&stream, opened, outcome);
    created_ = stream.created();
    written = WriteAndClose(document, &stream, flags, outcome);
  }
  // A partly written temporary file would only hold space that a full disk
  // lacks.
  if (written != SaveStatus::Ok) {
    static_cast<void>(platform::RemoveCreatedFile(temporary.c_str(), created_));
    return written;
  }
  temporary_ = std::move(temporary);
  return SaveStatus::Ok;
}

// The copy back and the removal of the temporary file in one step: where
// the system allows, the temporary file simply takes the file's place.
SaveStatus StagedSave::Commit(SaveOutcome* outcome) {
  platform::SystemResult moved =
      platform::MoveFileOver(temporary_.c_str(), destination_.c_str(), &created_);
  temporary_.clear();
  if (moved) return SaveStatus::Ok;
  if (outcome != nullptr) *outcome = {static_cast<int>(moved.SystemCode()), false};
  return SaveStatus::CopyBackFailed;
}

void StagedSave::Discard() {
  if (temporary_.empty()) return;
  static_cast<void>(platform::RemoveCreatedFile(temporary_.c_str(), created_));
  temporary_.clear();
}

SaveStatus SaveDocument(DocumentModel* document, const char16_t* path, SaveFlags flags,
                        SaveOutcome* outcome) {
  return SaveText(document, path, flags, Replacing::OwnFile, outcome);
}

SaveStatus SaveDocumentReplacing(DocumentModel* document, const char16_t* path, SaveFlags flags,
                                 SaveOutcome* outcome, const FileLock* held) {
  return SaveText(document, path, flags, Replacing::AnyFile, outcome, held);
}

}  // namespace qds
