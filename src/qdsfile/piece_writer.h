// PieceWriter: writes the pieces of a file on a thread of its own, in the
// order they come, while the caller fills the next ones.
//
// A large save spends about as long in the system's write calls (which copy
// each piece into the file's pages) as in making its text; with a second
// core the two overlap. The writer has kPieces pieces: the caller fills the
// one that Filling gives and hands it over with Queue, and waits only while
// every piece is queued. Once a write fails, the pieces queued after it are
// dropped unwritten, and its status is what Queue and Drain give from then
// on, as the bytes of a failed save are lost anyway.

#ifndef KNITFOLD_QDSFILE_PIECE_WRITER_H_
#define KNITFOLD_QDSFILE_PIECE_WRITER_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "qdsfile/buffered_stream.h"

namespace qds {

class PieceWriter {
 public:
  // Writes `count` bytes at `bytes` to the device, wholly or not at all.
  using Device = std::function<StreamStatus(const uint8_t* bytes, uint32_t count)>;

  // A writer of pieces of `pieceBytes` whose first piece is `first` (the
  // writer takes it), on a thread that writes them through `device`; null,
  // giving `first` back, when no thread or memory can be had.
  static std::unique_ptr<PieceWriter> Start(std::unique_ptr<uint8_t[]>& first, uint32_t pieceBytes,
                                            Device device);
  // Writes what is queued, then ends the thread.
  ~PieceWriter();
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  // The piece to fill next, of pieceBytes: free once the thread has written
  // what it held, which this waits for. The caller may put another piece of
  // as many bytes in its place.
  std::unique_ptr<uint8_t[]>& Filling();
  // Hands the piece that Filling gives to the thread, with `count` bytes in
  // it. The status of the writes so far: the first failure, else Ok.
  StreamStatus Queue(uint32_t count);
  // Waits until every queued piece is written; the status as Queue's.
  StreamStatus Drain();

 private:
  static constexpr uint32_t kPieces = 2;

  explicit PieceWriter(Device device) : device_(std::move(device)) {}
  void WriteQueued();
  std::unique_ptr<uint8_t[]>& Piece(uint64_t number) { return pieces_[number % kPieces]; }

  const Device device_;
  std::unique_ptr<uint8_t[]> pieces_[kPieces];
  std::mutex mutex_;
  std::condition_variable changed_;
  // Under mutex_: how many pieces were ever queued and written (piece n
  // lies in pieces_[n % kPieces]), the counts of the bytes of those queued
  // and not yet written, the first failure, and whether the thread is to end.
  uint64_t queued_ = 0;
  uint64_t written_ = 0;
  uint32_t counts_[kPieces] = {};
  StreamStatus status_ = StreamStatus::Ok;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_PIECE_WRITER_H_
