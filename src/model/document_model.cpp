#include "model/document_model.h"

#include <algorithm>
#include <utility>

#include "common/text.h"
#include "platform/text_services.h"

namespace qds {

namespace {

// Copies `text` into a caller buffer as GetEntry does: at most capacity
// units, then a zero at the last place, so that a longer text arrives cut to
// capacity - 1 units. A capacity of 0 writes nothing.
void CopyCut(std::u16string_view text, char16_t* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  size_t copied = std::min<size_t>(text.size(), capacity);
  std::copy_n(text.data(), copied, buffer);  // an empty text may have no units at all
  if (copied < capacity) buffer[copied] = 0;
  buffer[capacity - 1] = 0;
}

uint32_t SizeNeeded(std::u16string_view text) { return static_cast<uint32_t>(text.size() + 1); }

std::u16string_view OrEmpty(const char16_t* text) {
  return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace

std::u16string_view WithoutEnclosingQuotes(std::u16string_view value) {
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

DocumentModel::DocumentModel() : codePage(platform::AnsiCodePage()) {}

QdsSection* DocumentModel::FindSection(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  return sections.FindByName(name);
}

ReadStatus DocumentModel::GetSectionName(uint32_t position, char16_t* buffer, uint32_t* length) {
  QdsSection* section = sections.NodeAt(position);
  if (section == nullptr) return ReadStatus::NoSection;
  uint32_t needed = SizeNeeded(section->name.View());
  if (buffer == nullptr || needed > *length) {
    *length = needed;
    return ReadStatus::BufferTooSmall;
  }
  std::copy_n(section->name.Units(), needed - 1, buffer);
  buffer[needed - 1] = 0;
  *length = needed;
  return ReadStatus::Ok;
}

namespace {

uint32_t CountSectionEntries(QdsSection* section, const char16_t* key) {
  if (section == nullptr) return 0;
  if (key == nullptr) return section->EntryCount();
  QdsKey* found = section->keys.FindByName(key);
  return found == nullptr ? 0 : found->values.count();
}

}  // namespace

uint32_t DocumentModel::CountEntries(const char16_t* section, const char16_t* key) {
  return CountSectionEntries(FindSection(section), key);
}

uint32_t DocumentModel::CountEntriesAt(uint32_t sectionPosition, const char16_t* key) {
  return CountSectionEntries(sections.NodeAt(sectionPosition), key);
}

ReadStatus DocumentModel::GetEntry(const char16_t* section, uint32_t position, char16_t* keyBuffer,
                                   uint32_t* keyLength, char16_t* valueBuffer,
                                   uint32_t* valueLength, ReadFlags flags,
                                   ValueExpander* expander) {
  return ReadEntry(FindSection(section), position, keyBuffer, keyLength, valueBuffer, valueLength,
                   flags, expander);
}

ReadStatus DocumentModel::GetEntryAt(uint32_t sectionPosition, uint32_t position,
                                     char16_t* keyBuffer, uint32_t* keyLength,
                                     char16_t* valueBuffer, uint32_t* valueLength, ReadFlags flags,
                                     ValueExpander* expander) {
  return ReadEntry(sections.NodeAt(sectionPosition), position, keyBuffer, keyLength, valueBuffer,
                   valueLength, flags, expander);
}

ReadStatus DocumentModel::ViewEntry(QdsSection* section, uint32_t position, ReadFlags flags,
                                    EntryView* entry) const {
  if (section == nullptr) return ReadStatus::NoSection;
  if (position >= section->EntryCount()) return ReadStatus::NoEntry;
  uint32_t local = 0;
  QdsKey* key = section->KeyOfEntry(position, &local);
  *entry = EntryView::Of(key, key->values.NodeAt(local, section), flags);
  return ReadStatus::Ok;
}

EntryView EntryView::Of(QdsKey* key, QdsValue* value, ReadFlags flags) {
  std::u16string_view text = value->name.View();
  bool noValue = text.empty() || text.front() == u'\n';
  if (noValue) {
    text = {};
  } else if (!Has(flags, ReadFlags::KeepQuotes)) {
    text = WithoutEnclosingQuotes(text);
  }
  return {key, value, key->name.View(), text, noValue};
}

bool EntryView::Fits(uint32_t keyCapacity, uint32_t valueCapacity) const {
  return noValue || (SizeNeeded(keyText) <= keyCapacity && SizeNeeded(valueText) <= valueCapacity);
}

ReadStatus DocumentModel::ReadEntry(QdsSection* section, uint32_t position, char16_t* keyBuffer,
                                    uint32_t* keyLength, char16_t* valueBuffer,
                                    uint32_t* valueLength, ReadFlags flags,
                                    ValueExpander* expander) {
  uint32_t keyCapacity = *keyLength;
  uint32_t valueCapacity = *valueLength;
  EntryView entry;
  if (ReadStatus status = ViewEntry(section, position, flags, &entry); status != ReadStatus::Ok) {
    return status;
  }
  CopyCut(entry.keyText, keyBuffer, keyCapacity);
  *keyLength = SizeNeeded(entry.keyText);
  if (entry.noValue) {
    if (valueBuffer != nullptr && valueCapacity > 0) valueBuffer[0] = 0;
    return ReadStatus::Ok;
  }
  if (expander != nullptr) {
    return expander->Expand(entry.valueText, *keyLength > keyCapacity, valueBuffer, valueLength);
  }
  CopyCut(entry.valueText, valueBuffer, valueCapacity);
  *valueLength = SizeNeeded(entry.valueText);
  if (!entry.Fits(keyCapacity, valueCapacity) || keyBuffer == nullptr || valueBuffer == nullptr) {
    return ReadStatus::BufferTooSmall;
  }
  return ReadStatus::Ok;
}

void DocumentModel::SetEntry(const char16_t* section, const char16_t* key, uint32_t position,
                             const char16_t* value) {
  QdsSection* target = FindSection(section);
  QdsKey* found = target != nullptr ? target->keys.FindByName(OrEmpty(key)) : nullptr;
  if (found != nullptr && position < found->values.count()) {
    auto* fresh = new QdsValue(value);
    found->values.InsertAt(position, fresh, target);
    QdsValue* replaced = found->values.RemoveAt(position + 1, target);
    if (layout) layout->Replaced(replaced, fresh);
    delete replaced;
    return;
  }
  AppendEntry(&target, found, TextSlice(target == nullptr ? section : nullptr),
              TextSlice(found == nullptr ? key : nullptr), new QdsValue(value));
}

void DocumentModel::AppendEntry(QdsSection** section, QdsKey* key, TextSlice sectionName,
                                TextSlice keyName, QdsValue* value) {
  if (key != nullptr) {
    key->values.AddTail(value, *section);
    return;
  }
  key = new QdsKey(std::move(keyName));
  key->values.AddTail(value, nullptr);  // the key joins its section with its value
  if (*section != nullptr) {
    (*section)->keys.AddTail(key);
    return;
  }
  *section = new QdsSection(std::move(sectionName));
  (*section)->keys.AddHead(key);
  sections.AddTail(*section);
}

}  // namespace qds
