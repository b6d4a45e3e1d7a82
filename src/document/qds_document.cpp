// QdsDocument: the library's document, a DocumentModel read and changed by
// the model's operations, loaded and saved by the QDS file format, and read
// with its values expanded by the symbol engine.

#include <qds/document.h>
#include <qds/symbol_table.h>

#include "document/document_state.h"
#include "document/expanding_read.h"
#include "expansion/builtin_commands.h"
#include "expansion/symbol_map.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace qds {

namespace {

// Only a read with ReadExpand, of a document with a table attached, expands.
ValueExpander* ExpanderFor(const QdsDocument::State& state, uint32_t flags,
                           ExpandingRead* expanding) {
  return (flags & ReadExpand) != 0 && state.symbolTable != nullptr ? expanding : nullptr;
}

}  // namespace

QdsDocument::QdsDocument() : state_(std::make_unique<State>()) {}

QdsDocument::~QdsDocument() = default;

uint32_t QdsDocument::GetSectionCount() const { return state_->model.GetSectionCount(); }

ReadStatus QdsDocument::GetSectionName(uint32_t position, char16_t* buffer, uint32_t* length) {
  return state_->model.GetSectionName(position, buffer, length);
}

uint32_t QdsDocument::CountEntries(const char16_t* section, const char16_t* key) {
  return state_->model.CountEntries(section, key);
}

uint32_t QdsDocument::CountEntriesAt(uint32_t sectionPosition, const char16_t* key) {
  return state_->model.CountEntriesAt(sectionPosition, key);
}

ReadStatus QdsDocument::GetEntry(const char16_t* section, uint32_t position, char16_t* keyBuffer,
                                 uint32_t* keyLength, char16_t* valueBuffer, uint32_t* valueLength,
                                 uint32_t flags) {
  ExpandingRead expanding(*state_);
  return state_->model.GetEntry(section, position, keyBuffer, keyLength, valueBuffer, valueLength,
                                flags, ExpanderFor(*state_, flags, &expanding));
}

ReadStatus QdsDocument::GetEntryAt(uint32_t sectionPosition, uint32_t position, char16_t* keyBuffer,
                                   uint32_t* keyLength, char16_t* valueBuffer,
                                   uint32_t* valueLength, uint32_t flags) {
  ExpandingRead expanding(*state_);
  return state_->model.GetEntryAt(sectionPosition, position, keyBuffer, keyLength, valueBuffer,
                                  valueLength, flags, ExpanderFor(*state_, flags, &expanding));
}

int QdsDocument::SetEntry(const char16_t* section, const char16_t* key, uint32_t position,
                          const char16_t* value) {
  return state_->model.SetEntry(section, key, position, value);
}

SymbolTable* QdsDocument::SetSymbolTable(SymbolTable* table) {
  if (table != nullptr) table->map().SetCommands(&kBuiltinCommands);
  return state_->symbolTable = table;
}

SymbolTable* QdsDocument::GetSymbolTable() const { return state_->symbolTable; }

uint32_t QdsDocument::GetExpansionError(const char16_t** context) const {
  if (context != nullptr) *context = state_->errorContext;
  return state_->expansionErrorStatus;
}

LoadStatus QdsDocument::Load(const char16_t* path, uint32_t flags) {
  return LoadDocument(&state_->model, path, flags);
}

SaveStatus QdsDocument::Save(const char16_t* path, uint32_t flags) {
  return SaveDocument(&state_->model, path, flags);
}

SaveStatus QdsDocument::SaveReplacing(const char16_t* path, uint32_t flags) {
  return SaveDocumentReplacing(&state_->model, path, flags);
}

}  // namespace qds
