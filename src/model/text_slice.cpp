#include "model/text_slice.h"

#include <cstring>
#include <iterator>
#include <new>
#include <optional>

#include "model/pooled_blocks.h"

namespace qds {

struct TextSlice::LongText {
  const char16_t* units;
  uint64_t length : 63;
  uint64_t owned : 1;
};

// The text is never Noted nor Indented itself.
struct TextSlice::Noted {
  TextSlice text;
  TextSlice note;
};

namespace {

uint64_t AddressOf(const void* pointer) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

// An Indented word: the address of the text (whose lowest bit, always 0,
// holds the flag kOutOfLine), its length in the 9 bits above, the length of
// the note's run less one in the 4 bits above those, then whether the run
// is of tabs, and the top bit.
constexpr uint64_t kIndentedLengthMask = 0x1FF;
constexpr int kRunShift = 57;
constexpr size_t kLongestRun = 16;
constexpr uint64_t kRunOfTabs = uint64_t{1} << 61;
constexpr char16_t kSpaces[] = u"                ";
constexpr char16_t kTabs[] = u"\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
static_assert(std::size(kSpaces) == kLongestRun + 1 && std::size(kTabs) == kLongestRun + 1);

// The bits that stand for `note` in an Indented word; none when it is not a
// run of spaces or of tabs short enough.
std::optional<uint64_t> RunBits(std::u16string_view note) {
  if (note.empty() || note.size() > kLongestRun) return std::nullopt;
  if (note[0] != u' ' && note[0] != u'\t') return std::nullopt;
  for (char16_t unit : note) {
    if (unit != note[0]) return std::nullopt;
  }
  return (uint64_t{note.size() - 1} << kRunShift) | (note[0] == u'\t' ? kRunOfTabs : 0);
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

void* TextSlice::AllocateRecord(size_t bytes) {
  void* block = AllocateBlock(bytes);
  if (AddressOf(block) > kAddressMask) {
    FreeBlock(block, bytes);
    throw std::bad_alloc();  // memory that no slice can address
  }
  return block;
}

void TextSlice::SetOutOfLine(const char16_t* units, size_t length, bool owned) {
  void* block;
  try {
    block = AllocateRecord(sizeof(LongText));
  } catch (const std::bad_alloc&) {
    if (owned) FreeBlock(const_cast<char16_t*>(units), length * sizeof(char16_t));
    throw;
  }
  new (block) LongText{units, length, owned};
  word_ = AddressOf(block) | kOutOfLine;
}

TextSlice::Noted* TextSlice::NewNoted() { return new (AllocateRecord(sizeof(Noted))) Noted{}; }

void TextSlice::SetWithNote(std::u16string_view text, std::u16string_view note) {
  const uint64_t address = AddressOf(text.data());
  const std::optional<uint64_t> run = RunBits(note);
  if (run && !text.empty() && text.size() <= kIndentedLengthMask && address <= kAddressMask) {
    word_ = address | (uint64_t{text.size()} << kLengthShift) | *run | kOwned | kOutOfLine;
    return;
  }
  Noted* record = NewNoted();
  word_ = AddressOf(record) | kOutOfLine | kNoted;
  record->text.Set(text.data(), text.size(), false);
  record->note.Set(note.data(), note.size(), false);
}

TextSlice::LongText* TextSlice::Long() const {
  return reinterpret_cast<LongText*>(word_ & kAddressMask & ~kOutOfLine);
}

TextSlice::Noted* TextSlice::NotedRecord() const {
  return reinterpret_cast<Noted*>(word_ & kAddressMask & ~(kOutOfLine | kNoted));
}

std::u16string_view TextSlice::OutOfLineView() const {
  if (Indented()) {
    return {reinterpret_cast<const char16_t*>(word_ & kAddressMask & ~kOutOfLine),
            (word_ >> kLengthShift) & kIndentedLengthMask};
  }
  if (IsNoted()) return NotedRecord()->text.View();
  return {Long()->units, Long()->length};
}

bool TextSlice::IsBorrowed() const {
  if ((word_ & kOutOfLine) == 0) return (word_ & kOwned) == 0;
  if (Indented()) return true;
  return IsNoted() ? NotedRecord()->text.IsBorrowed() : !Long()->owned;
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

std::u16string_view TextSlice::OutOfLineNote() const {
  if (!Indented()) return IsNoted() ? NotedRecord()->note.View() : std::u16string_view();
  const size_t run = ((word_ >> kRunShift) & (kLongestRun - 1)) + 1;
  return {(word_ & kRunOfTabs) != 0 ? kTabs : kSpaces, run};
}

TextSlice TextSlice::TakeNote() {
  if ((word_ & kOutOfLine) == 0) return TextSlice();
  if (!Indented()) return IsNoted() ? std::move(NotedRecord()->note) : TextSlice();
  std::u16string_view note = Note();
  std::u16string_view text = View();
  word_ = 0;
  Set(text.data(), text.size(), false);
  return Borrow(note);
}

TextSlice* TextSlice::MutableNote() {
  if (IsNoted()) return &NotedRecord()->note;
  // The text moves as it is into a record that has room for the note;
  // indentation goes with it, borrowed from a run that never goes away (the
  // text of an indented slice is short, so neither takes memory).
  Noted* record = NewNoted();
  if (Indented()) {
    record->text.Set(View().data(), View().size(), false);
    record->note.Set(Note().data(), Note().size(), false);
  } else {
    record->text.word_ = word_;
  }
  word_ = AddressOf(record) | kOutOfLine | kNoted;
  return &record->note;
}

void TextSlice::Free() noexcept {
  if (Indented()) return;  // borrowed, without a record
  if ((word_ & kOutOfLine) == 0) {
    FreeBlock(const_cast<char16_t*>(Units()), Length() * sizeof(char16_t));  // owned
  } else if (IsNoted()) {
    Noted* record = NotedRecord();
    record->~Noted();
    FreeBlock(record, sizeof(Noted));
  } else {
    LongText* record = Long();
    if (record->owned)
      FreeBlock(const_cast<char16_t*>(record->units), record->length * sizeof(char16_t));
    FreeBlock(record, sizeof(LongText));
  }
}

}  // namespace qds
