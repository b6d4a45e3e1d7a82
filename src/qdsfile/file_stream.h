// FileStream: a BufferedStream over a file descriptor of the platform layer.
//
// Created with its buffer (loading and saving use kQdsStreamBufferSize),
// opened once for reading or writing, closed by Close or by the destructor,
// which flushes what is pending. Runtime error numbers of failed opens, reads
// and writes are kept for GetError.

#ifndef KNITFOLD_QDSFILE_FILE_STREAM_H_
#define KNITFOLD_QDSFILE_FILE_STREAM_H_

#include <cstdint>

#include "qdsfile/buffered_stream.h"

namespace qds {

class FileStream : public BufferedStream {
 public:
  // Allocates a buffer of `bufferSize` rounded up to a multiple of 64; check
  // IsValid.
  explicit FileStream(uint32_t bufferSize);
  ~FileStream() override;

  // Size of the file named at Open, by a status query of that path; -1 when
  // the query fails.
  int64_t GetSize() override;
  int GetError() override { return lastError_; }

  // Opens `path` without text translation: kStreamRead read-only, kStreamWrite
  // write-only, created (read and write permission) or truncated. NoBuffer
  // without a buffer; WrongMode when already open or for another mode;
  // PermissionDenied, NotFound or DeviceFailed when the open fails.
  [[nodiscard]] StreamStatus Open(const char16_t* path, int mode);
  // Flushes, then closes the descriptor: the flush status when the flush
  // failed, else Ok, or CloseFailed when the descriptor could not be closed.
  [[nodiscard]] StreamStatus Close();

 protected:
  [[nodiscard]] StreamStatus ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) override;
  [[nodiscard]] StreamStatus WriteRaw(const void* buffer, uint32_t count) override;

 private:
  int handle_ = -1;
  int lastError_ = 0;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_FILE_STREAM_H_
