// FileStream: a BufferedStream over a file descriptor of the platform layer.
//
// Created with its buffer (loading uses kStreamBufferSize, saving
// kSaveBufferSize), opened once for reading or writing, closed by Close or by
// the destructor, which flushes what is pending. Runtime error numbers of failed opens, reads
// and writes are kept for GetError.
//
// A device read or write costs far more than copying the bytes of a small
// one, so the file goes to and from the device in large pieces. Reading
// takes the file ahead and hands each fill the bytes that one device read of
// its own would give. Writing to a disk file gathers the buffers that
// WriteRaw is given and writes them out when the gathered bytes fill a piece
// and at Flush; a buffer of a whole piece, with nothing gathered before it,
// goes out as it is. A failed device write is reported by the WriteRaw or
// Flush that makes it, and the bytes of that piece are lost. Writes to other
// devices are made at once. A written disk file is about to be flushed to
// disk (the saver's temporary file is, before it takes the target's place):
// every kWriteBackBytes written are handed to the disk at once, so that the
// disk writes while the rest of the text is made and the flush waits only
// for the last of it. Past kWriteBehindBytes, a PieceWriter's thread makes
// the device writes, so that they overlap with the making of the text; a
// failed one is then reported by a later WriteRaw, or at the latest by the
// Flush, which waits for every write.

#ifndef KNITFOLD_QDSFILE_FILE_STREAM_H_
#define KNITFOLD_QDSFILE_FILE_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/descriptors.h"
#include "platform/replace.h"
#include "qdsfile/buffered_stream.h"

namespace qds {

class PieceWriter;

class FileStream : public BufferedStream {
 public:
  // Allocates a buffer of `bufferSize` rounded up to a multiple of 64; check
  // IsValid.
  explicit FileStream(uint32_t bufferSize);
  ~FileStream() override;

  // Size of the file named at Open, by a status query of that path; -1 when
  // the query fails.
  int64_t GetSize() override;
  // Writes the pending bytes and those gathered for a disk file.
  [[nodiscard]] StreamStatus Flush() override;
  int GetError() override { return lastError_; }

  // Opens `path` without text translation: kStreamRead read-only, kStreamWrite
  // write-only, created (read and write permission) or truncated. NoBuffer
  // without a buffer; WrongMode when already open or for another mode;
  // PermissionDenied, NotFound or DeviceFailed when the open fails.
  [[nodiscard]] StreamStatus Open(const char16_t* path, int mode);
  // Opens `path` for reading as Open(path, kStreamRead) does, but only a
  // regular file, and without waiting for whatever stands at the name: a
  // FIFO, a device or a folder is not read, and the open fails with
  // DeviceFailed.
  [[nodiscard]] StreamStatus OpenRegularFile(const char16_t* path);
  // Opens `path` for writing as a new file of this process
  // (platform::CreateNewFile: what stood at the name is removed, never
  // followed or reused), which created() then names. The statuses of Open;
  // a name taken again in between is DeviceFailed.
  [[nodiscard]] StreamStatus OpenNew(const char16_t* path);
  // The whole file open for reading, mapped (platform::MapFile) where the
  // system can map it and as long as nothing has been read from the stream,
  // else null. The caller unmaps it.
  const void* MapContents(size_t* bytes) override;
  // Compares the file's stamp (platform::StampOf) with the one it had when
  // it was opened for reading.
  bool Unchanged() override;
  // The file that OpenNew created.
  const platform::CreatedFile& created() const { return created_; }
  // Flushes, then closes the descriptor: the flush status when the flush
  // failed, else Ok, or CloseFailed when the descriptor could not be closed.
  [[nodiscard]] StreamStatus Close();

 protected:
  [[nodiscard]] StreamStatus ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) override;
  [[nodiscard]] StreamStatus WriteRaw(const void* buffer, uint32_t count) override;

 private:
  // The size of the pieces that go to and from the device.
  static constexpr uint32_t kPieceBytes = 128 * 1024;
  static constexpr int64_t kWriteBackBytes = int64_t{8} << 20;
  // A file written this far is large: the thread that writes the rest of
  // it costs far less than the time its writes take.
  static constexpr int64_t kWriteBehindBytes = int64_t{1} << 20;

  // Opens `path` in `mode` through `open`, which puts a descriptor into its
  // argument and returns a platform::SystemResult with the runtime error
  // number of a failure; NoBuffer or WrongMode without calling it when the
  // stream cannot be opened.
  template <typename OpenCall>
  StreamStatus OpenWith(const char16_t* path, int mode, OpenCall open);
  bool HasPiece();
  // One read of the descriptor; the writing of all `count` bytes.
  StreamStatus ReadDevice(void* buffer, uint32_t count, uint32_t* bytesRead);
  StreamStatus WriteDevice(const void* buffer, uint32_t count);
  // Writes the gathered bytes out, or hands them to the writer.
  StreamStatus WritePiece();
  // Starts the writer once a file is large: the piece, with the bytes
  // gathered in it, becomes the writer's piece to fill.
  void StartWriter();
  // Where writes gather: the piece, or the writer's piece to fill.
  uint8_t* Gathering();
  // Counts `count` bytes written to the disk file and hands the disk what has
  // gathered since the last hand-over once it is kWriteBackBytes.
  void CountWritten(uint32_t count);

  int handle_ = -1;
  int lastError_ = 0;
  bool gatherWrites_ = false;
  bool flushing_ = false;  // within Flush()
  bool writerTried_ = false;
  bool readFromDevice_ = false;
  platform::FileStamp opened_;  // reading
  // Reading: bytes read ahead and not yet handed to the stream, [next, end).
  // Writing: gathered bytes, [0, end), in the writer's piece to fill once
  // there is a writer, which has taken this one.
  std::unique_ptr<uint8_t[]> piece_;
  uint32_t pieceNext_ = 0;
  uint32_t pieceEnd_ = 0;
  // Writing a disk file: bytes written, and those already handed to the disk.
  int64_t written_ = 0;
  int64_t handedToDisk_ = 0;
  // Writing a large disk file: makes its device writes, and the counts above
  // are its thread's.
  std::unique_ptr<PieceWriter> writer_;
  platform::CreatedFile created_;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_FILE_STREAM_H_
