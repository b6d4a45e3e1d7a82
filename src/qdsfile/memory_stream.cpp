#include "qdsfile/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace qds {

MemoryStream::MemoryStream(uint32_t bufferSize, std::string_view bytes)
    : input_(bytes), size_(bytes.size()) {
  AllocateBuffer(bufferSize);
  SetOpened(u"", kStreamRead);
}

MemoryStream::MemoryStream(uint32_t bufferSize, std::string* out) : output_(out) {
  AllocateBuffer(bufferSize);
  SetOpened(u"", kStreamWrite);
}

StreamStatus MemoryStream::ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) {
  size_t take = std::min<size_t>(count, input_.size());
  std::memcpy(buffer, input_.data(), take);
  input_.remove_prefix(take);
  *bytesRead = static_cast<uint32_t>(take);
  return take == 0 ? StreamStatus::EndOfData : StreamStatus::Ok;
}

StreamStatus MemoryStream::WriteRaw(const void* buffer, uint32_t count) {
  output_->append(static_cast<const char*>(buffer), count);
  return StreamStatus::Ok;
}

}  // namespace qds
