// FileStream over the platform layer's descriptor I/O.

#include "qdsfile/file_stream.h"

#include <cerrno>

#include "platform/platform.h"

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

}  // namespace

FileStream::FileStream(uint32_t bufferSize) { AllocateBuffer(bufferSize); }

FileStream::~FileStream() {
  if (handle_ >= 0) static_cast<void>(Close());
}

int64_t FileStream::GetSize() { return platform::PathSize(fileName().Data()); }

StreamStatus FileStream::Open(const char16_t* path, int mode) {
  if (!IsValid()) return StreamStatus::NoBuffer;
  if (handle_ >= 0 || (mode != kStreamRead && mode != kStreamWrite)) {
    return StreamStatus::WrongMode;
  }
  int error = 0;
  int handle = platform::OpenDescriptor(
      path, mode == kStreamRead ? platform::kOpenRead : platform::kOpenWrite, &error);
  if (handle < 0) {
    lastError_ = error;
    return OpenFailure(error);
  }
  handle_ = handle;
  SetOpened(path, mode);
  return StreamStatus::Ok;
}

StreamStatus FileStream::Close() {
  if (handle_ < 0) return StreamStatus::WrongMode;
  StreamStatus flushed = IsOpenFor(kStreamWrite) ? Flush() : StreamStatus::Ok;
  bool closed = platform::CloseDescriptor(handle_);
  handle_ = -1;
  SetClosed();
  if (flushed != StreamStatus::Ok) return flushed;
  return closed ? StreamStatus::Ok : StreamStatus::CloseFailed;
}

StreamStatus FileStream::ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) {
  *bytesRead = 0;
  if (handle_ < 0) return StreamStatus::WrongMode;
  int error = 0;
  int64_t got = platform::ReadDescriptor(handle_, buffer, count, &error);
  if (got < 0) {
    lastError_ = error;
    return StreamStatus::DeviceFailed;
  }
  if (got == 0) return StreamStatus::EndOfData;
  *bytesRead = static_cast<uint32_t>(got);
  return StreamStatus::Ok;
}

StreamStatus FileStream::WriteRaw(const void* buffer, uint32_t count) {
  if (handle_ < 0) return StreamStatus::WrongMode;
  int error = 0;
  if (platform::WriteDescriptor(handle_, buffer, count, &error)) return StreamStatus::Ok;
  lastError_ = error;
  return error == ENOSPC || error == EDQUOT ? StreamStatus::DeviceFull : StreamStatus::DeviceFailed;
}

}  // namespace qds
