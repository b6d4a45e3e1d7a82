#include "common/counted_string.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "common/block_pool.h"

namespace qds {

// Its count of -1 keeps every operation from sharing or freeing it.
constinit CountedString::EmptyStorage CountedString::empty_{{-1, 0, 0}, 0};

CountedString::Rep* CountedString::Allocate(size_t capacity) {
  static_assert(offsetof(EmptyStorage, zero) == sizeof(Rep), "the empty text's zero must follow its header");
  void* memory = AllocateBlock(RepBytes(capacity));
  Rep* rep = new (memory) Rep{1, 0, capacity};
  Units(rep)[0] = 0;
  return rep;
}

CountedString::CountedString() noexcept : rep_(EmptyRep()) {}

CountedString::CountedString(const char16_t* text) : rep_(EmptyRep()) {
  if (text != nullptr) Assign(std::u16string_view(text));
}

CountedString::CountedString(const char16_t* text, size_t length) : rep_(EmptyRep()) {
  Assign(std::u16string_view(text, length));
}

CountedString::CountedString(std::u16string_view text) : rep_(EmptyRep()) { Assign(text); }

CountedString::CountedString(const CountedString& other) : rep_(EmptyRep()) { *this = other; }

CountedString::CountedString(CountedString&& other) noexcept : rep_(other.rep_) {
  other.rep_ = EmptyRep();
}

CountedString& CountedString::operator=(const CountedString& other) {
  if (rep_ == other.rep_) return *this;
  if (other.rep_->refs < 0) {
    // Never share a negative count: the empty representation or a buffer that
    // is still being written.
    Assign(other.View());
    return *this;
  }
  Release();
  rep_ = other.rep_;
  ++rep_->refs;
  return *this;
}

CountedString& CountedString::operator=(CountedString&& other) noexcept {
  if (this != &other) {
    Release();
    rep_ = other.rep_;
    other.rep_ = EmptyRep();
  }
  return *this;
}

CountedString::~CountedString() { Release(); }

void CountedString::Release() noexcept {
  Rep* rep = rep_;
  rep_ = EmptyRep();
  if (rep == EmptyRep()) return;
  if (rep->refs < 0 || --rep->refs == 0) {
    size_t bytes = RepBytes(rep->capacity);
    rep->~Rep();
    FreeBlock(rep, bytes);
  }
}

void CountedString::Reserve(size_t capacity) {
  bool isPrivate = rep_ != EmptyRep() && (rep_->refs == 1 || rep_->refs < 0);
  if (isPrivate && capacity <= rep_->capacity) return;
  size_t newCapacity = capacity;
  // Growing a private buffer doubles it, so that appending runs in amortised
  // constant time per unit.
  if (isPrivate) newCapacity = std::max(capacity, rep_->capacity * 2);
  Rep* fresh = Allocate(newCapacity);
  size_t length = std::min(rep_->length, newCapacity);
  std::memcpy(Units(fresh), Data(), length * sizeof(char16_t));
  Units(fresh)[length] = 0;
  fresh->length = length;
  Release();
  rep_ = fresh;
}

void CountedString::Assign(std::u16string_view text) {
  if (text.empty()) {
    Clear();
    return;
  }
  // The text may point into this string's own buffer: copy it into a fresh
  // buffer before releasing the old one.
  Rep* fresh = Allocate(text.size());
  std::memcpy(Units(fresh), text.data(), text.size() * sizeof(char16_t));
  Units(fresh)[text.size()] = 0;
  fresh->length = text.size();
  Release();
  rep_ = fresh;
}

void CountedString::Append(std::u16string_view text) {
  if (text.empty()) return;
  size_t length = rep_->length;
  const char16_t* own = Data();
  if (text.data() >= own && text.data() < own + length) {
    // Appending part of itself: take a copy first, as growing moves the text.
    CountedString copy(text);
    Append(copy.View());
    return;
  }
  Reserve(length + text.size());
  std::memcpy(Units(rep_) + length, text.data(), text.size() * sizeof(char16_t));
  rep_->length = length + text.size();
  Units(rep_)[rep_->length] = 0;
}

void CountedString::Append(char16_t unit) { Append(std::u16string_view(&unit, 1)); }

void CountedString::Clear() { Release(); }

char16_t* CountedString::GetBuffer(size_t capacity) {
  if (rep_ == EmptyRep()) {
    rep_ = Allocate(capacity);
  } else {
    Reserve(std::max(capacity, rep_->length));
  }
  char16_t* units = Units(rep_);
  units[rep_->capacity] = 0;  // bounds the scan of ReleaseBuffer
  rep_->refs = -1;
  return units;
}

void CountedString::ReleaseBuffer() {
  if (rep_ == EmptyRep()) return;
  const char16_t* units = Units(rep_);
  size_t length = 0;
  while (length < rep_->capacity && units[length] != 0) ++length;
  if (length == 0) {
    Clear();
    return;
  }
  rep_->refs = 1;
  rep_->length = length;
  Units(rep_)[length] = 0;
}

}  // namespace qds
