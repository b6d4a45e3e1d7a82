// MemoryStream: a BufferedStream over bytes in memory, so that a document
// loads from bytes already read (standard input) and saves into a string
// exactly as it would from and to a file.

#ifndef KNITFOLD_QDSFILE_MEMORY_STREAM_H_
#define KNITFOLD_QDSFILE_MEMORY_STREAM_H_

#include <string>
#include <string_view>

#include "qdsfile/buffered_stream.h"

namespace qds {

class MemoryStream : public BufferedStream {
 public:
  // Open for reading `bytes`, which must outlive the stream.
  MemoryStream(uint32_t bufferSize, std::string_view bytes);
  // Open for writing: every byte written is appended to *out.
  MemoryStream(uint32_t bufferSize, std::string* out);

  // The size of the bytes read, as a file's is its whole size wherever
  // reading stands.
  int64_t GetSize() override { return static_cast<int64_t>(size_); }

 protected:
  [[nodiscard]] StreamStatus ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) override;
  [[nodiscard]] StreamStatus WriteRaw(const void* buffer, uint32_t count) override;

 private:
  std::string_view input_;  // what is still to be read
  size_t size_ = 0;
  std::string* output_ = nullptr;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_MEMORY_STREAM_H_
