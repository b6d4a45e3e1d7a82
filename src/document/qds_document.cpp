// QdsDocument: the library's document, a DocumentModel loaded and saved by
// the QDS file format and read with its values expanded by the symbol
// engine. This file holds its life, its files, its document-wide state and
// the low-level operations by position; document_reads.cpp and
// document_changes.cpp hold the reads and changes by name.

#include <qds/document.h>

#include <utility>

#include "document/document_state.h"
#include "document/expanding_read.h"
#include "document/text_conversions.h"
#include "platform/text_services.h"
#include "qdsfile/md5_digest.h"
#include "qdsfile/memory_stream.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace qds {

using detail::Internals;

namespace detail {

DocumentState& Internals::State(QdsDocument& document) {
  if (document.state_ == nullptr) document.state_ = std::make_unique<DocumentState>();
  return *document.state_;
}

const DocumentState& Internals::State(const QdsDocument& document) {
  static const DocumentState kNewDocument;
  return document.state_ != nullptr ? *document.state_ : kNewDocument;
}

}  // namespace detail

QdsDocument::QdsDocument() : state_(std::make_unique<detail::DocumentState>()) {}

QdsDocument::QdsDocument(QdsDocument&& other) noexcept = default;

QdsDocument& QdsDocument::operator=(QdsDocument&& other) noexcept = default;

QdsDocument::~QdsDocument() {
  if (state_ != nullptr) state_->views.EndWithDocument();
}

// ---- Files ---------------------------------------------------------------------

namespace {

// Runs `load` (a LoadDocument or ParseDocument) and keeps what it found.
template <class LoadCall>
Status LoadWith(detail::DocumentState& state, LoadCall load) {
  LoadOutcome outcome;
  state.modified = false;
  LoadStatus status = load(&outcome);
  state.hasDigest = outcome.checkLine;
  state.lineFeedsOnly = outcome.lineFeedsOnly;
  state.signingLineEnd =
      status == LoadStatus::Ok && outcome.checkLine && outcome.lineEndBeforeMarker;
  detail::StatusDetails details;
  details.reason = outcome.reason;
  details.systemCode = outcome.runtimeError;
  if (status == LoadStatus::SyntaxError || status == LoadStatus::LineTooLong) {
    details.where = state.model.errorLine;
  }
  return Internals::MakeStatus(status, details);
}

// How a library user's files are read: they may change while the document
// lives, so they are never mapped, and a user's document is searched by name.
constexpr InputFlags kUserInput = InputFlags::None;

}  // namespace

Status QdsDocument::Load(const std::filesystem::path& file, LoadFlags flags) {
  detail::DocumentState& state = Internals::State(*this);
  return LoadWith(state, [&](LoadOutcome* outcome) {
    return LoadDocument(&state.model, WidePathName(file).c_str(), flags, kUserInput, outcome);
  });
}

Status QdsDocument::LoadForChange(const std::filesystem::path& file, LoadFlags flags) {
  detail::DocumentState& state = Internals::State(*this);
  if (platform::LockResult refusal = state.lock.Acquire(WidePathName(file).c_str()); !refusal) {
    detail::StatusDetails details;
    details.systemCode = LockRefusalCode(refusal, &details.systemCodeFromRuntime);
    return Internals::MakeStatus(static_cast<LoadStatus>(LockRefusalNumber(refusal)), details);
  }
  return Load(file, flags);
}

Status QdsDocument::LoadBytes(std::string_view bytes, LoadFlags flags) {
  detail::DocumentState& state = Internals::State(*this);
  return LoadWith(state, [&](LoadOutcome* outcome) {
    MemoryStream stream(format::kStreamBufferSize, bytes);
    return ParseDocument(&state.model, &stream, flags, kUserInput, outcome);
  });
}

namespace {

Status SaveResult(SaveStatus status, const SaveOutcome& outcome) {
  detail::StatusDetails details;
  details.reason = outcome.reason;
  details.systemCode = outcome.systemCode;
  details.systemCodeFromRuntime = outcome.fromRuntime;
  details.detail = outcome.character;
  return Internals::MakeStatus(status, details);
}

Status SaveReplacing(detail::DocumentState& state, const char16_t* path, SaveFlags flags) {
  SaveOutcome outcome;
  SaveStatus status = SaveDocumentReplacing(&state.model, path, flags, &outcome, &state.lock);
  return SaveResult(status, outcome);
}

}  // namespace

Status QdsDocument::Write(std::string* bytes, SaveFlags flags) const {
  const DocumentModel& model = Internals::State(*this).model;
  if (Signs(model, flags) && !Md5Digest::Available()) {
    return SaveStatus::DigestUnavailable;
  }
  size_t before = bytes->size();
  MemoryStream stream(format::kStreamBufferSize, bytes);
  SaveOutcome outcome;
  SaveStatus status = WriteText(model, &stream, flags, &outcome);
  static_cast<void>(stream.Flush());
  if (status != SaveStatus::Ok) bytes->resize(before);
  return SaveResult(status, outcome);
}

Status QdsDocument::Save(SaveFlags flags) {
  return SaveReplacing(Internals::State(*this), nullptr, flags);
}

Status QdsDocument::SaveTo(const std::filesystem::path& file, SaveFlags flags) {
  return SaveReplacing(Internals::State(*this), WidePathName(file).c_str(), flags);
}

bool QdsDocument::Unsign() {
  detail::DocumentState& state = Internals::State(*this);
  TextSlice& trailing = state.model.trailingText;
  bool drop = state.signingLineEnd && trailing.View().ends_with(u"\r\n");
  state.signingLineEnd = false;
  if (drop) trailing.Assign(trailing.View().substr(0, trailing.Length() - 2));
  return drop;
}

// ---- The document as a whole ---------------------------------------------------------

std::filesystem::path QdsDocument::FileName() const {
  return PathFromUtf16(Internals::State(*this).model.fileName);
}

int32_t QdsDocument::Version() const { return Internals::State(*this).model.version; }

bool QdsDocument::LoadedUtf16() const { return Internals::State(*this).model.utf16 != 0; }

uint32_t QdsDocument::CodePage() const { return Internals::State(*this).model.codePage; }

Status QdsDocument::SetCodePage(uint32_t codePage) {
  if (!platform::IsKnownCodePage(codePage)) {
    detail::StatusDetails details;
    details.detail = static_cast<int32_t>(codePage);
    return Internals::MakeStatus(LibraryStatus::UnknownCodePage, details);
  }
  Internals::State(*this).model.codePage = codePage;
  return Status();
}

bool QdsDocument::HasDigest() const { return Internals::State(*this).hasDigest; }

bool QdsDocument::KeepsLayout() const { return Internals::State(*this).model.layout != nullptr; }

bool QdsDocument::Modified() const { return Internals::State(*this).modified; }

bool QdsDocument::LineFeedsOnly() const { return Internals::State(*this).lineFeedsOnly; }

std::string QdsDocument::LeadingText() const { return ToUtf8(LeadingText16()); }

std::u16string QdsDocument::LeadingText16() const {
  return std::u16string(Internals::State(*this).model.leadingText.View());
}

std::string QdsDocument::TrailingText() const { return ToUtf8(TrailingText16()); }

std::u16string QdsDocument::TrailingText16() const {
  return std::u16string(Internals::State(*this).model.trailingText.View());
}

// ---- Low level -------------------------------------------------------------------

namespace {

// Only a read with ReadFlags::Expand, of a document with a table attached,
// expands.
ValueExpander* ExpanderFor(detail::DocumentState& state, ReadFlags flags,
                           std::optional<ExpandingRead>* expanding) {
  if (!Has(flags, ReadFlags::Expand) || state.symbolTable == nullptr) return nullptr;
  return &expanding->emplace(state, *state.symbolTable);
}

}  // namespace

uint32_t QdsDocument::GetSectionCount() const {
  return Internals::State(*this).model.GetSectionCount();
}

ReadStatus QdsDocument::GetSectionName(uint32_t position, char16_t* buffer, uint32_t* length) {
  return Internals::State(*this).model.GetSectionName(position, buffer, length);
}

uint32_t QdsDocument::CountEntries(const char16_t* section, const char16_t* key) {
  return Internals::State(*this).model.CountEntries(section, key);
}

uint32_t QdsDocument::CountEntriesAt(uint32_t sectionPosition, const char16_t* key) {
  return Internals::State(*this).model.CountEntriesAt(sectionPosition, key);
}

ReadStatus QdsDocument::GetEntry(const char16_t* section, uint32_t position, char16_t* keyBuffer,
                                 uint32_t* keyLength, char16_t* valueBuffer, uint32_t* valueLength,
                                 ReadFlags flags) {
  detail::DocumentState& state = Internals::State(*this);
  std::optional<ExpandingRead> expanding;
  return state.model.GetEntry(section, position, keyBuffer, keyLength, valueBuffer, valueLength,
                              flags, ExpanderFor(state, flags, &expanding));
}

ReadStatus QdsDocument::GetEntryAt(uint32_t sectionPosition, uint32_t position, char16_t* keyBuffer,
                                   uint32_t* keyLength, char16_t* valueBuffer,
                                   uint32_t* valueLength, ReadFlags flags) {
  detail::DocumentState& state = Internals::State(*this);
  std::optional<ExpandingRead> expanding;
  return state.model.GetEntryAt(sectionPosition, position, keyBuffer, keyLength, valueBuffer,
                                valueLength, flags, ExpanderFor(state, flags, &expanding));
}

int QdsDocument::SetEntry(const char16_t* section, const char16_t* key, uint32_t position,
                          const char16_t* value) {
  detail::DocumentState& state = Internals::State(*this);
  state.modified = true;
  // Replacing a value in place takes its node away from the views.
  if (position != kAppendPosition && state.model.CountEntries(section, key) > position) {
    state.InvalidateViews();
  }
  state.model.SetEntry(section, key, position, value);
  return 1;
}

SymbolTable* QdsDocument::SetSymbolTable(SymbolTable* table) {
  return Internals::State(*this).symbolTable = table;
}

SymbolTable* QdsDocument::GetSymbolTable() const { return Internals::State(*this).symbolTable; }

uint32_t QdsDocument::GetExpansionError(const char16_t** context) const {
  const detail::DocumentState& state = Internals::State(*this);
  if (context != nullptr) *context = state.errorContext;
  return state.expansionErrorStatus;
}

uint32_t QdsDocument::GetExpansionErrorPosition() const {
  return static_cast<uint32_t>(Internals::State(*this).expansionErrorPos);
}

}  // namespace qds
