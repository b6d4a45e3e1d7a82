// BufferedStream: the buffered byte stream under all QDS file input and
// output, able to compute the salted integrity digest of exactly the bytes
// that pass through it.
//
// A stream is opened for reading (mode 1) or writing (mode 2) by a derived
// class, which supplies the device through ReadRaw and WriteRaw. The buffer
// capacity is the requested size rounded up to a multiple of 64, so that a
// full buffer is a whole number of MD5 blocks and the digest can be computed
// in place, with no second copy of the data.
//
// The digest of the covered bytes P is MD5(S, P, Z): S the 64-byte salt block
// (format::kDigestSalt), Z the 0 to 63 zero bytes that make P plus Z a multiple of
// 64; it is rendered as 32 uppercase hexadecimal digits.
//
// Every operation returns a StreamStatus; nothing throws. A stream belongs to
// one thread.

#ifndef KNITFOLD_QDSFILE_BUFFERED_STREAM_H_
#define KNITFOLD_QDSFILE_BUFFERED_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "qdsfile/md5_digest.h"

namespace qds {

// Statuses of all stream operations; the numbers are part of the format's
// contract with its callers.
enum class StreamStatus : int {
  CloseFailed = -1,  // Close only: the descriptor could not be closed
  Ok = 0,
  WrongMode = 1,         // not open, already open, wrong mode, or open mode not 1 or 2
  DeviceFailed = 2,      // a read or write failed, or an open failed otherwise
  EndOfData = 3,         // nothing could be read
  DeviceFull = 4,        // a write failed because the device is full
  PermissionDenied = 5,  // the open was refused
  NotFound = 6,          // the file or a directory of its path does not exist
  NoBuffer = 7,          // the stream has no buffer
  // StartHash only: the digest cannot be computed, as its library
  // (kDigestLibrary) cannot be loaded. The same number as the load and save
  // statuses that report it.
  DigestUnavailable = 16,
};

inline constexpr int kStreamClosed = 0;
inline constexpr int kStreamRead = 1;
inline constexpr int kStreamWrite = 2;

// Room that FinishHash needs: 32 digits and a terminating zero.
inline constexpr size_t kDigestTextCapacity = 33;

// The digest of a file's first bytes, `bytes`, into `hexOut` (as FinishHash
// gives it), as a stream that hashed them from the file's start computes
// it. False when the digest cannot be computed.
[[nodiscard]] bool DigestOfBytes(std::string_view bytes, char16_t* hexOut);

class BufferedStream {
 public:
  BufferedStream() = default;
  BufferedStream(const BufferedStream&) = delete;
  BufferedStream& operator=(const BufferedStream&) = delete;

  // The virtual operations, declared in their fixed slot order.

  // True when the buffer exists.
  virtual bool IsValid() const;
  // Size in bytes of the underlying file; -1 when unknown.
  virtual int64_t GetSize();
  // The runtime error number of the last failed device operation; 0 if none.
  virtual int GetError();

  // Copies up to `count` bytes into `buffer`; `bytesRead` (may be null) gets
  // the number copied. EndOfData when count > 0 and nothing could be copied;
  // DeviceFailed when the device failed, whether or not bytes were copied.
  [[nodiscard]] virtual StreamStatus Read(void* buffer, uint32_t count, uint32_t* bytesRead);
  // The next two bytes as one UTF-16 (little-endian) code unit; EndOfData
  // when no whole unit is left.
  [[nodiscard]] virtual StreamStatus ReadChar(char16_t* unit);
  // Takes `count` bytes, writing full buffers out as it goes. A buffer that
  // becomes exactly full is written by the next Write, Flush or Close.
  [[nodiscard]] virtual StreamStatus Write(const void* buffer, uint32_t count);
  // Write for the many small pieces of a save: bytes that fit the buffer are
  // copied in place without a call; the others go through Write.
  [[nodiscard]] StreamStatus Put(const void* buffer, uint32_t count) {
    uint8_t* room = Claim(count);
    if (room == nullptr) return Write(buffer, count);
    std::memcpy(room, buffer, count);
    return StreamStatus::Ok;
  }
  // The next `count` bytes of the buffer, taken as written, for a caller
  // that lays several pieces in at once and fills them all before it calls
  // the stream again; null, taking nothing, when they do not fit the buffer
  // or the stream is not open for writing (Write then takes them).
  [[nodiscard]] uint8_t* Claim(size_t count) {
    if (count > free_ || mode_ != kStreamWrite) return nullptr;
    uint8_t* room = base_ + position_;
    position_ += static_cast<uint32_t>(count);
    free_ -= static_cast<uint32_t>(count);
    count_ += static_cast<uint32_t>(count);
    return room;
  }
  // Writes the pending bytes and empties the buffer. Ok when nothing is
  // pending or there is no buffer; WrongMode when not open for writing. Never
  // feeds the digest.
  [[nodiscard]] virtual StreamStatus Flush();
  // Restarts the digest: writing, the pending bytes are flushed first (they
  // are not covered); reading, bytes handed out so far are not covered and
  // the buffer is topped up from the device. Returns the flush or device
  // status, or DigestUnavailable, with nothing flushed or read and hashing
  // off.
  [[nodiscard]] virtual StreamStatus StartHash();
  // Completes the digest into `hexOut` (kDigestTextCapacity units: 32 digits
  // and a zero) and stops hashing. Writing: covers everything written since
  // StartHash; pending bytes stay pending. Reading: covers what was handed out
  // since StartHash except the last `excludeCount` bytes, which must all lie
  // in the current buffer fill.
  virtual void FinishHash(char16_t* hexOut, uint32_t excludeCount);

  virtual ~BufferedStream();

  // After the fixed slots: the whole contents open for reading, mapped where
  // the device can be mapped and nothing has been read from it yet, else
  // null (the default). The caller unmaps them (platform::UnmapFile).
  virtual const void* MapContents(size_t* bytes);
  // Whether the device open for reading still is what it was when it was
  // opened: a file written in between (its size or times changed) may have
  // given bytes of neither version. True (the default) where nothing can
  // change it.
  virtual bool Unchanged();

  // Allocates `size` bytes rounded up to a multiple of 64. False, changing
  // nothing, if a buffer exists already; false if the allocation fails.
  bool AllocateBuffer(uint32_t size);
  // Empties the buffer and clears the end-of-data and hashing flags.
  void ResetBuffer();

  const std::u16string& fileName() const { return fileName_; }

 protected:
  // One device read of up to `count` bytes: Ok with *bytesRead > 0, EndOfData
  // with 0 bytes, or a failure status with 0 bytes.
  [[nodiscard]] virtual StreamStatus ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) = 0;
  // Writes all `count` bytes to the device: Ok only when all were written.
  [[nodiscard]] virtual StreamStatus WriteRaw(const void* buffer, uint32_t count) = 0;

  // For a device that writes a buffer after WriteRaw has returned: when
  // `buffer`, given to WriteRaw, is the stream's own and `spare` holds
  // `spareBytes`, as many as it, `spare` becomes the stream's buffer and
  // takes the one it had, bytes and all, so that they reach the device
  // without a copy. False, changing nothing, otherwise.
  bool TradeBuffer(const void* buffer, std::unique_ptr<uint8_t[]>& spare, uint32_t spareBytes);

  // For derived classes' Open and Close.
  void SetOpened(const char16_t* path, int mode);
  void SetClosed() { mode_ = kStreamClosed; }
  bool IsOpenFor(int mode) const { return (mode_ & mode) != 0; }

 private:
  // Replaces the buffer's contents by one device read after `kept` bytes
  // already at its base.
  StreamStatus Fill(uint32_t kept);
  // Feeds the buffer from its base through `end` to the digest, taking the
  // bytes from `end` up to the next multiple of 64 as zeros.
  void HashPadded(uint32_t end);

  std::u16string fileName_;
  int mode_ = kStreamClosed;
  uint8_t* base_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t position_ = 0;  // offset of the next byte to hand out, or of the next free byte
  uint32_t free_ = 0;      // bytes not filled: room left, or capacity minus the last fill
  uint32_t count_ = 0;     // reading: filled, not handed out; writing: pending
  bool endOfData_ = false;
  bool hashing_ = false;
  Md5Digest digest_;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_BUFFERED_STREAM_H_
