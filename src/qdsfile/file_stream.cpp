// FileStream over the platform layer's descriptor I/O.

#include "qdsfile/file_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "platform/descriptors.h"
#include "qdsfile/piece_writer.h"

namespace qds {
namespace {

// The runtime error numbers of a failed open, as the stream's statuses. The
// POSIX-only numbers are sorted where the Windows runtime reports the same
// situation: a read-only file system or a directory opened for writing as a
// refusal, a file standing in for a directory as a missing directory.
StreamStatus OpenFailure(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return StreamStatus::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
      return StreamStatus::NotFound;
    default:
      return StreamStatus::DeviceFailed;
  }
}

// A full disk, or (where the runtime has quotas) a full quota.
bool IsDeviceFull(int error) {
#ifdef EDQUOT
  if (error == EDQUOT) return true;
#endif
  return error == ENOSPC;
}

}  // namespace

FileStream::FileStream(uint32_t bufferSize) { AllocateBuffer(bufferSize); }

FileStream::~FileStream() {
  if (handle_ >= 0) static_cast<void>(Close());
}

int64_t FileStream::GetSize() { return platform::PathSize(fileName().c_str()); }

template <typename OpenCall>
StreamStatus FileStream::OpenWith(const char16_t* path, int mode, OpenCall open) {
  if (!IsValid()) return StreamStatus::NoBuffer;
  if (handle_ >= 0) return StreamStatus::WrongMode;
  int handle = -1;
  if (platform::SystemResult opened = open(&handle); !opened) {
    lastError_ = static_cast<int>(opened.SystemCode());
    return OpenFailure(lastError_);
  }
  handle_ = handle;
  opened_ = {};
  if (mode == kStreamRead) platform::StampOf(handle, &opened_);
  gatherWrites_ = mode == kStreamWrite && platform::IsDiskFile(handle);
  readFromDevice_ = false;
  written_ = handedToDisk_ = 0;
  writerTried_ = false;
  SetOpened(path, mode);
  return StreamStatus::Ok;
}

StreamStatus FileStream::Open(const char16_t* path, int mode) {
  if (mode != kStreamRead && mode != kStreamWrite) {
    return IsValid() ? StreamStatus::WrongMode : StreamStatus::NoBuffer;
  }
  return OpenWith(path, mode, [&](int* descriptor) {
    return platform::OpenDescriptor(
        path, mode == kStreamRead ? platform::kOpenRead : platform::kOpenWrite, descriptor);
  });
}

StreamStatus FileStream::OpenRegularFile(const char16_t* path) {
  return OpenWith(path, kStreamRead,
                  [&](int* descriptor) { return platform::OpenRegularFile(path, descriptor); });
}

StreamStatus FileStream::OpenNew(const char16_t* path) {
  return OpenWith(path, kStreamWrite, [&](int* descriptor) {
    return platform::CreateNewFile(path, &created_, descriptor);
  });
}

StreamStatus FileStream::Close() {
  if (handle_ < 0) return StreamStatus::WrongMode;
  StreamStatus flushed = IsOpenFor(kStreamWrite) ? Flush() : StreamStatus::Ok;
  writer_.reset();
  bool closed = platform::CloseDescriptor(handle_);
  handle_ = -1;
  SetClosed();
  if (flushed != StreamStatus::Ok) return flushed;
  return closed ? StreamStatus::Ok : StreamStatus::CloseFailed;
}

const void* FileStream::MapContents(size_t* bytes) {
  if (handle_ < 0 || !IsOpenFor(kStreamRead) || readFromDevice_) return nullptr;
  return platform::MapFile(handle_, bytes);
}

bool FileStream::Unchanged() {
  platform::FileStamp now;
  return !IsOpenFor(kStreamRead) || (platform::StampOf(handle_, &now) && now == opened_);
}

bool FileStream::HasPiece() {
  if (piece_ == nullptr) piece_.reset(new (std::nothrow) uint8_t[kPieceBytes]);
  return piece_ != nullptr;
}

StreamStatus FileStream::ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) {
  *bytesRead = 0;
  if (handle_ < 0) return StreamStatus::WrongMode;
  if (!HasPiece()) return ReadDevice(buffer, count, bytesRead);
  // As with one read of a regular file, the bytes fall short only where the
  // file ends or the device fails.
  auto* out = static_cast<uint8_t*>(buffer);
  while (*bytesRead < count) {
    if (pieceNext_ == pieceEnd_) {
      StreamStatus status = ReadDevice(piece_.get(), kPieceBytes, &pieceEnd_);
      pieceNext_ = 0;
      if (status != StreamStatus::Ok) return *bytesRead > 0 ? StreamStatus::Ok : status;
    }
    uint32_t take = std::min(count - *bytesRead, pieceEnd_ - pieceNext_);
    std::memcpy(out + *bytesRead, piece_.get() + pieceNext_, take);
    pieceNext_ += take;
    *bytesRead += take;
  }
  return StreamStatus::Ok;
}

StreamStatus FileStream::ReadDevice(void* buffer, uint32_t count, uint32_t* bytesRead) {
  *bytesRead = 0;
  readFromDevice_ = true;
  size_t got = 0;
  if (platform::SystemResult read = platform::ReadDescriptor(handle_, buffer, count, &got); !read) {
    lastError_ = static_cast<int>(read.SystemCode());
    return StreamStatus::DeviceFailed;
  }
  if (got == 0) return StreamStatus::EndOfData;
  *bytesRead = static_cast<uint32_t>(got);
  return StreamStatus::Ok;
}

StreamStatus FileStream::WriteRaw(const void* buffer, uint32_t count) {
  if (handle_ < 0) return StreamStatus::WrongMode;
  if (!gatherWrites_) return WriteDevice(buffer, count);
  if (writer_ == nullptr && !writerTried_ && written_ >= kWriteBehindBytes) StartWriter();
  // A full buffer of the stream's own, with nothing gathered before it,
  // is handed to the writer as it is.
  if (writer_ != nullptr && pieceEnd_ == 0 && count == kPieceBytes &&
      TradeBuffer(buffer, writer_->Filling(), kPieceBytes)) {
    return writer_->Queue(count);
  }
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    // Written here, a whole piece with nothing gathered before it goes out
    // as it is. So does a flushed one: no later write could join it.
    if (writer_ == nullptr &&
        ((pieceEnd_ == 0 && (count >= kPieceBytes || flushing_)) || !HasPiece())) {
      return WriteDevice(bytes, count);
    }
    const uint32_t take = std::min(count, kPieceBytes - pieceEnd_);
    std::memcpy(Gathering() + pieceEnd_, bytes, take);
    pieceEnd_ += take;
    bytes += take;
    count -= take;
    if (pieceEnd_ == kPieceBytes) {
      if (StreamStatus status = WritePiece(); status != StreamStatus::Ok) return status;
    }
  }
  return StreamStatus::Ok;
}

StreamStatus FileStream::Flush() {
  flushing_ = true;
  StreamStatus status = BufferedStream::Flush();
  flushing_ = false;
  if (!IsOpenFor(kStreamWrite)) return status;
  StreamStatus written = WritePiece();
  if (writer_ != nullptr) written = writer_->Drain();
  return status != StreamStatus::Ok ? status : written;
}

void FileStream::StartWriter() {
  writerTried_ = true;
  if (!HasPiece()) return;
  writer_ = PieceWriter::Start(piece_, kPieceBytes, [this](const uint8_t* bytes, uint32_t count) {
    return WriteDevice(bytes, count);
  });
}

uint8_t* FileStream::Gathering() {
  return writer_ != nullptr ? writer_->Filling().get() : piece_.get();
}

StreamStatus FileStream::WritePiece() {
  if (pieceEnd_ == 0) return StreamStatus::Ok;
  const uint32_t count = std::exchange(pieceEnd_, 0);
  return writer_ != nullptr ? writer_->Queue(count) : WriteDevice(piece_.get(), count);
}

StreamStatus FileStream::WriteDevice(const void* buffer, uint32_t count) {
  platform::SystemResult written = platform::WriteDescriptor(handle_, buffer, count);
  if (written) {
    if (gatherWrites_) CountWritten(count);
    return StreamStatus::Ok;
  }
  lastError_ = static_cast<int>(written.SystemCode());
  return IsDeviceFull(lastError_) ? StreamStatus::DeviceFull : StreamStatus::DeviceFailed;
}

void FileStream::CountWritten(uint32_t count) {
  written_ += count;
  if (written_ - handedToDisk_ < kWriteBackBytes) return;
  platform::StartWriteBack(handle_, handedToDisk_, written_ - handedToDisk_);
  handedToDisk_ = written_;
}

}  // namespace qds
