// The buffering and digest rules of BufferedStream.
//
// Offsets stand for the position pointer of the buffer. MD5 is only ever fed
// whole 64-byte blocks: the salt block, full buffers, and final pieces padded
// with zeros laid into the buffer's own spare tail, so the data is never
// copied a second time.

#include "qdsfile/buffered_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "qdsfile/qds_format.h"

namespace qds {
namespace {

constexpr uint32_t kBlock = 64;

uint64_t RoundUpToBlock(uint64_t size) { return (size + kBlock - 1) / kBlock * kBlock; }

void RenderDigest(const uint8_t digest[kMd5Size], char16_t* hexOut) {
  static const char16_t kHexDigits[] = u"0123456789ABCDEF";
  for (size_t i = 0; i < kMd5Size; ++i) {
    hexOut[2 * i] = kHexDigits[digest[i] >> 4];
    hexOut[2 * i + 1] = kHexDigits[digest[i] & 0x0F];
  }
  hexOut[format::kDigestLength] = u'\0';
}

}  // namespace

BufferedStream::~BufferedStream() { delete[] base_; }

bool BufferedStream::IsValid() const { return base_ != nullptr; }

int64_t BufferedStream::GetSize() { return -1; }

const void* BufferedStream::MapContents(size_t*) { return nullptr; }

bool BufferedStream::Unchanged() { return true; }

int BufferedStream::GetError() { return 0; }

bool BufferedStream::AllocateBuffer(uint32_t size) {
  if (base_ != nullptr) return false;
  // A buffer of no bytes could never make progress: it counts as a failure.
  uint64_t capacity = RoundUpToBlock(size);
  if (capacity == 0 || capacity > UINT32_MAX) return false;
  base_ = new (std::nothrow) uint8_t[capacity];
  if (base_ == nullptr) return false;
  capacity_ = static_cast<uint32_t>(capacity);
  position_ = 0;
  free_ = capacity_;
  count_ = 0;
  return true;
}

bool BufferedStream::TradeBuffer(const void* buffer, std::unique_ptr<uint8_t[]>& spare,
                                 uint32_t spareBytes) {
  if (buffer != base_ || spareBytes != capacity_ || spare == nullptr) return false;
  uint8_t* own = std::exchange(base_, spare.release());
  spare.reset(own);
  return true;
}

void BufferedStream::ResetBuffer() {
  position_ = 0;
  free_ = capacity_;
  count_ = 0;
  endOfData_ = false;
  hashing_ = false;
}

void BufferedStream::SetOpened(const char16_t* path, int mode) {
  ResetBuffer();
  mode_ = mode;
  fileName_.assign(path);
}

StreamStatus BufferedStream::Fill(uint32_t kept) {
  uint32_t got = 0;
  StreamStatus status = ReadRaw(base_ + kept, capacity_ - kept, &got);
  position_ = 0;
  count_ = kept + got;
  free_ = capacity_ - count_;
  if (status == StreamStatus::EndOfData || (status == StreamStatus::Ok && count_ < capacity_)) {
    endOfData_ = true;
  }
  return status;
}

void BufferedStream::HashPadded(uint32_t end) {
  uint32_t padded = static_cast<uint32_t>(RoundUpToBlock(end));
  // The tail may hold bytes that are still to be handed out: keep them aside
  // while the zeros stand in their place.
  uint8_t saved[kBlock];
  uint32_t tail = padded - end;
  std::memcpy(saved, base_ + end, tail);
  std::memset(base_ + end, 0, tail);
  digest_.Update(base_, padded);
  std::memcpy(base_ + end, saved, tail);
}

StreamStatus BufferedStream::Read(void* buffer, uint32_t count, uint32_t* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  if (!IsOpenFor(kStreamRead)) return StreamStatus::WrongMode;
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t copied = 0;
  StreamStatus status = StreamStatus::Ok;
  while (copied < count) {
    uint32_t take = std::min(count - copied, count_);
    if (take > 0) std::memcpy(out + copied, base_ + position_, take);
    position_ += take;
    count_ -= take;
    copied += take;
    if (copied == count || endOfData_) break;
    // This fill is used up: it is covered by the digest now, since only
    // fills that were handed out whole reach this point.
    if (hashing_ && position_ > 0) HashPadded(position_);
    status = Fill(0);
    if (status != StreamStatus::Ok) break;
  }
  if (bytesRead != nullptr) *bytesRead = copied;
  if (status == StreamStatus::EndOfData || (status == StreamStatus::Ok && copied < count)) {
    return copied == 0 ? StreamStatus::EndOfData : StreamStatus::Ok;
  }
  return status;
}

StreamStatus BufferedStream::ReadChar(char16_t* unit) {
  if (!IsOpenFor(kStreamRead)) return StreamStatus::WrongMode;
  uint8_t bytes[2];
  if (count_ >= 2) {
    std::memcpy(bytes, base_ + position_, 2);
    position_ += 2;
    count_ -= 2;
  } else {
    uint32_t got = 0;
    StreamStatus status = Read(bytes, 2, &got);
    if (status != StreamStatus::Ok) return status;
    if (got < 2) return StreamStatus::EndOfData;  // a lone last byte makes no unit
  }
  *unit = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
  return StreamStatus::Ok;
}

StreamStatus BufferedStream::Write(const void* buffer, uint32_t count) {
  if (!IsOpenFor(kStreamWrite)) return StreamStatus::WrongMode;
  const auto* in = static_cast<const uint8_t*>(buffer);
  uint32_t taken = 0;
  while (taken < count) {
    uint32_t take = std::min(count - taken, free_);
    std::memcpy(base_ + position_, in + taken, take);
    position_ += take;
    free_ -= take;
    count_ += take;
    taken += take;
    if (taken == count) break;
    // Full with more to come; a buffer that is only just full waits, so that
    // FinishHash still finds its bytes pending.
    if (hashing_) digest_.Update(base_, count_);
    StreamStatus status = WriteRaw(base_, count_);
    position_ = 0;
    free_ = capacity_;
    count_ = 0;
    if (status != StreamStatus::Ok) return status;
  }
  return StreamStatus::Ok;
}

StreamStatus BufferedStream::Flush() {
  if (!IsOpenFor(kStreamWrite)) return StreamStatus::WrongMode;
  if (count_ == 0) return StreamStatus::Ok;
  StreamStatus status = WriteRaw(base_, count_);
  position_ = 0;
  free_ = capacity_;
  count_ = 0;
  return status;
}

StreamStatus BufferedStream::StartHash() {
  hashing_ = false;
  if (!digest_.Start()) return StreamStatus::DigestUnavailable;
  digest_.Update(format::kDigestSalt, format::kDigestSaltSize);
  StreamStatus status = StreamStatus::Ok;
  if (IsOpenFor(kStreamWrite)) {
    status = Flush();
  } else if (IsOpenFor(kStreamRead)) {
    // Coverage starts at the next byte to hand out: move it to the base, so
    // that every later fill again starts at a 64-byte block boundary.
    std::memmove(base_, base_ + position_, count_);
    position_ = 0;
    free_ = capacity_ - count_;
    // With nothing buffered the next Read fills the buffer anyway. A short
    // top-up ends the data as a short fill does, so that the last fill is
    // still fed by FinishHash, where the excluded tail can be left out.
    if (count_ > 0 && !endOfData_) {
      status = Fill(count_);
      if (status == StreamStatus::EndOfData) status = StreamStatus::Ok;
    }
  }
  hashing_ = true;
  return status;
}

void BufferedStream::FinishHash(char16_t* hexOut, uint32_t excludeCount) {
  if (hashing_ && IsOpenFor(kStreamWrite)) {
    if (count_ > 0) HashPadded(count_);
  } else if (hashing_ && IsOpenFor(kStreamRead)) {
    if (excludeCount < position_) HashPadded(position_ - excludeCount);
  }
  uint8_t digest[kMd5Size];
  digest_.Finish(digest);
  RenderDigest(digest, hexOut);
  hashing_ = false;
}

// The stream hashes whole fills and the last one padded with zeros to a
// whole block: a file's fills all are whole blocks but its last.
bool DigestOfBytes(std::string_view bytes, char16_t* hexOut) {
  Md5Digest digest;
  if (!digest.Start()) return false;
  digest.Update(format::kDigestSalt, format::kDigestSaltSize);
  digest.Update(bytes.data(), bytes.size());
  static constexpr uint8_t kZeros[kBlock] = {};
  digest.Update(kZeros, RoundUpToBlock(bytes.size()) - bytes.size());
  uint8_t result[kMd5Size];
  digest.Finish(result);
  RenderDigest(result, hexOut);
  return true;
}

}  // namespace qds
