#include "qdsfile/text_source.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/descriptors.h"
#include "platform/text_services.h"
#include "qdsfile/buffered_stream.h"

namespace qds {
namespace {

// UTF-16 blocks are read straight into the character buffer.
static_assert(std::endian::native == std::endian::little, "the loader reads UTF-16LE in place");
static_assert(format::kUtf16BlockBytes <= format::kBlockCharacters * sizeof(char16_t));
static_assert(format::kDigestUtf16BlockBytes <= format::kUtf16BlockBytes);
static_assert(format::kFirstBlockBytes <= format::kBlockCharacters * sizeof(char16_t));

// A block of text holds this many characters unless the file is smaller or
// a longer token needs more.
constexpr uint32_t kTextBlockCharacters = 1u << 20;

}  // namespace

LoadStatus TextSource::TakeFailure() {
  LoadStatus failure = failure_;
  failure_ = LoadStatus::Ok;
  return failure;
}

void TextSource::StartDigest() {
  digestRunning_ = true;
  StreamStatus started = stream_.StartHash();
  if (started == StreamStatus::DigestUnavailable) {
    failure_ = LoadStatus::DigestUnavailable;
  } else if (started != StreamStatus::Ok) {
    failure_ = LoadStatus::ReadFailed;
  }
}

void TextSource::FinishDigest(uint32_t index, char16_t* digest) {
  stream_.FinishHash(digest, BytesAfter(index));
  digestRunning_ = false;
}

void TextSource::DropDigest() {
  if (!digestRunning_) return;
  char16_t unused[kDigestTextCapacity];
  stream_.FinishHash(unused, 0);
  digestRunning_ = false;
}

// A file with a digest to check is read: the stream hashes what it reads.
// Positions within the text are 32-bit.
bool TextSource::Map() {
  if (digestRunning_) return false;
  size_t bytes = 0;
  const void* mapping = stream_.MapContents(&bytes);
  if (mapping == nullptr) return false;
  const auto* data = static_cast<const uint8_t*>(mapping);
  bool utf16 = bytes >= 2 && data[0] == format::kByteOrderMarkBytes[0] &&
               data[1] == format::kByteOrderMarkBytes[1];
  if (!utf16 || bytes / sizeof(char16_t) >= kNoPosition) {
    platform::UnmapFile(mapping, bytes);
    return false;
  }
  document_.texts.AdoptMapping(mapping, bytes);
  blockBytes_ = static_cast<uint32_t>(std::min<size_t>(bytes, format::kFirstBlockBytes));
  std::memcpy(raw_, mapping, blockBytes_);
  chars_ = static_cast<const char16_t*>(mapping);
  count_ = static_cast<uint32_t>(bytes / sizeof(char16_t));  // an odd last byte is no character
  return true;
}

void TextSource::ReadFirstBlock() { ReadBytes(raw_, format::kFirstBlockBytes); }

// One read of `count` bytes. False at the end of the file and after a failed
// read.
bool TextSource::ReadBytes(void* into, uint32_t count) {
  blockBytes_ = 0;
  StreamStatus status = stream_.Read(into, count, &blockBytes_);
  if (status == StreamStatus::Ok && layoutBytes_ != nullptr) {
    layoutBytes_->AppendBytes(into, blockBytes_);
  }
  if (status == StreamStatus::Ok) return blockBytes_ > 0;
  blockBytes_ = 0;
  if (status != StreamStatus::EndOfData) failure_ = LoadStatus::ReadFailed;
  return false;
}

std::optional<uint64_t> TextSource::FileCharacters() {
  int64_t size = stream_.GetSize();
  if (size < 0) return std::nullopt;
  return static_cast<uint64_t>(size) / (document_.utf16 ? 2 : 1);
}

// The file lies in memory once, in the block its layout borrows. Its digest
// is computed from those bytes when the end marker shows how many it covers,
// so that a file without one is never hashed.
bool TextSource::ReadWhole(std::string_view* bytes) {
  int64_t size = stream_.GetSize();
  if (!document_.utf16 || size < blockBytes_ ||
      static_cast<uint64_t>(size) / sizeof(char16_t) >= kNoPosition) {
    return false;
  }
  DropDigest();
  const auto total = static_cast<size_t>(size);
  char16_t* block = document_.texts.Reserve((total + 1) / sizeof(char16_t));
  auto* into = reinterpret_cast<char*>(block);
  std::memcpy(into, raw_, blockBytes_);
  size_t have = blockBytes_;
  for (uint32_t got = 0; have < total; have += got) {
    constexpr size_t kMostPerRead = size_t{1} << 30;
    StreamStatus status = stream_.Read(
        into + have, static_cast<uint32_t>(std::min(total - have, kMostPerRead)), &got);
    if (status == StreamStatus::EndOfData || (status == StreamStatus::Ok && got == 0)) break;
    if (status != StreamStatus::Ok) {
      failure_ = LoadStatus::ReadFailed;
      break;
    }
  }
  *bytes = std::string_view(into, have);
  chars_ = block;
  count_ = static_cast<uint32_t>(have / sizeof(char16_t));
  return true;
}

// No file block yields more characters than it has bytes.
void TextSource::DecodeFirstBlock(std::optional<uint64_t> characters) {
  uint64_t units = characters.value_or(kTextBlockCharacters);
  if (!NewTextBlock(0, static_cast<uint32_t>(std::min<uint64_t>(units, kTextBlockCharacters)))) {
    return;
  }
  if (document_.utf16) {
    std::memcpy(room_, raw_, blockBytes_);
    count_ = blockBytes_ / sizeof(char16_t);  // an odd last byte is no character
  } else {
    count_ = ConvertAnsi(room_);
  }
}

bool TextSource::NeedsNewBlock() const {
  return room_ != nullptr && capacity_ - count_ < kFileBlockRoom;
}

// With the digest running, UTF-16 is read in blocks of one stream buffer, so
// that the end marker always lies in the stream's current fill (BytesAfter).
bool TextSource::NextBlock(uint32_t keep) {
  if (room_ == nullptr) return false;  // the whole file is at hand
  if (NeedsNewBlock() && !NewTextBlock(keep, kTextBlockCharacters)) return false;
  blockStart_ = count_;
  if (!document_.utf16) {
    if (!ReadBytes(raw_ + carried_, format::kAnsiBlockBytes) && carried_ == 0) return false;
    uint32_t converted = ConvertAnsi(room_ + count_);
    count_ += converted;
    return converted > 0 || blockBytes_ > 0;
  }
  uint32_t size = digestRunning_ ? format::kDigestUtf16BlockBytes : format::kUtf16BlockBytes;
  if (!ReadBytes(room_ + count_, size)) return false;
  count_ += blockBytes_ / sizeof(char16_t);
  return true;
}

void TextSource::ReadToEnd() {
  while (ReadBytes(raw_, format::kAnsiBlockBytes)) {
  }
}

bool TextSource::Unchanged() {
  bool cut = room_ == nullptr && chars_ != nullptr && platform::MappingCut(chars_);
  return !cut && stream_.Unchanged();
}

// Each ANSI block is converted on its own, but for the bytes of a character
// that it cuts, which wait for the next block (the last block converts
// them as they are); a block that the code page rejects contributes no
// characters.
uint32_t TextSource::ConvertAnsi(char16_t* into) {
  uint32_t bytes = carried_ + blockBytes_;
  uint32_t cut =
      blockBytes_ == 0
          ? 0
          : static_cast<uint32_t>(std::min<size_t>(
                platform::CutCharacterBytes(document_.codePage, raw_, bytes), kCutBytes));
  uint32_t count = static_cast<uint32_t>(
      platform::AnsiToWide(document_.codePage, raw_, bytes - cut, into, kFileBlockRoom));
  std::memmove(raw_, raw_ + bytes - cut, cut);
  carried_ = cut;
  return count;
}

// Starts a new block of text of `atLeast` characters and room for one more
// file block. The text from `keep` moves to its start; the block grows with
// it, so that a long token moves a bounded number of times. The block left
// behind is let go if no text lies in it. False, failing the load, when the
// text kept (comment lines before a line) outgrows 32-bit positions.
bool TextSource::NewTextBlock(uint32_t keep, uint32_t atLeast) {
  uint32_t moving = count_ - keep;
  constexpr uint64_t kMostCharacters = kNoPosition - 1;
  uint64_t wanted = std::max<uint64_t>(atLeast, 2 * uint64_t{moving}) + kFileBlockRoom;
  if (uint64_t{moving} + kFileBlockRoom > kMostCharacters) {
    failure_ = LoadStatus::ReadFailed;
    return false;
  }
  auto capacity = static_cast<uint32_t>(std::min(wanted, kMostCharacters));
  const char16_t* spent = borrowed_ ? nullptr : room_;
  char16_t* block = document_.texts.Renew(spent, chars_ + keep, moving, capacity);
  before_ += keep;
  chars_ = room_ = block;
  capacity_ = capacity;
  count_ = moving;
  blockStart_ = moving;
  borrowed_ = false;
  return true;
}

// File bytes of the block read last after the character at `index`. ANSI
// characters are measured back into bytes in the document's code page, and
// the bytes of a cut character at the block's end, which wait for the next
// block, are added.
uint32_t TextSource::BytesAfter(uint32_t index) const {
  if (document_.utf16) {
    return blockBytes_ - (index - blockStart_ + 1) * static_cast<uint32_t>(sizeof(char16_t));
  }
  std::u16string_view after(chars_ + index + 1, count_ - index - 1);
  size_t bytes = platform::WideToAnsiLength(document_.codePage, after) + carried_;
  return static_cast<uint32_t>(std::min<size_t>(bytes, blockBytes_));
}

}  // namespace qds
