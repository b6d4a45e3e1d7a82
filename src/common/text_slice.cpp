#include "common/text_slice.h"

#include <cstring>
#include <new>

#include "common/block_pool.h"

namespace qds {

struct TextSlice::OutOfLine {
  const char16_t* units;
  uint64_t length : 63;
  uint64_t owned : 1;
  TextSlice note;
};

namespace {

uint64_t AddressOf(const void* pointer) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

}  // namespace

TextSlice& TextSlice::operator=(TextSlice&& other) noexcept {
  if (this != &other) {
    Release();
    word_ = other.word_;
    other.word_ = 0;
  }
  return *this;
}

void TextSlice::SetOutOfLine(const char16_t* units, size_t length, bool owned) {
  void* block = AllocateBlock(sizeof(OutOfLine));
  uint64_t record = AddressOf(block);
  if (record > kAddressMask) {
    FreeBlock(block, sizeof(OutOfLine));
    if (owned) FreeBlock(const_cast<char16_t*>(units), length * sizeof(char16_t));
    throw std::bad_alloc();  // memory that no slice can address
  }
  new (block) OutOfLine{units, length, owned, TextSlice()};
  word_ = record | kOutOfLine;
}

void TextSlice::SetWithNote(std::u16string_view text, std::u16string_view note) {
  SetOutOfLine(text.data(), text.size(), false);
  Record()->note.Set(note.data(), note.size(), false);
}

TextSlice::OutOfLine* TextSlice::Record() const {
  return reinterpret_cast<OutOfLine*>(word_ & kAddressMask & ~kOutOfLine);
}

std::u16string_view TextSlice::OutOfLineView() const { return {Record()->units, Record()->length}; }

bool TextSlice::IsBorrowed() const {
  return (word_ & kOutOfLine) != 0 ? !Record()->owned : (word_ & kOwned) == 0;
}

void TextSlice::Assign(std::u16string_view text) {
  TextSlice note = TakeNote();
  if (text.empty()) {
    Release();
  } else {
    // Copy first: the text may lie in the block about to be let go.
    size_t bytes = text.size() * sizeof(char16_t);
    auto* units = static_cast<char16_t*>(AllocateBlock(bytes));
    std::memcpy(units, text.data(), bytes);
    Release();
    Set(units, text.size(), true);
  }
  SetNote(std::move(note));
}

std::u16string_view TextSlice::OutOfLineNote() const { return Record()->note.View(); }

TextSlice TextSlice::TakeNote() {
  return (word_ & kOutOfLine) != 0 ? std::move(Record()->note) : TextSlice();
}

TextSlice* TextSlice::MutableNote() {
  if ((word_ & kOutOfLine) == 0) {
    // The text moves into a record of its own, which has room for the note.
    std::u16string_view text = View();
    bool owned = !IsBorrowed();
    word_ = 0;
    SetOutOfLine(text.data(), text.size(), owned);
  }
  return &Record()->note;
}

void TextSlice::Free() noexcept {
  std::u16string_view text = View();
  bool owned = !IsBorrowed();
  if ((word_ & kOutOfLine) != 0) {
    Record()->~OutOfLine();
    FreeBlock(Record(), sizeof(OutOfLine));
  }
  if (owned) FreeBlock(const_cast<char16_t*>(text.data()), text.size() * sizeof(char16_t));
}

}  // namespace qds
