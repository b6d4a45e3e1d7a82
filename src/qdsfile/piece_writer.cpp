#include "qdsfile/piece_writer.h"

#include <new>
#include <system_error>
#include <utility>

namespace qds {

std::unique_ptr<PieceWriter> PieceWriter::Start(std::unique_ptr<uint8_t[]>& first,
                                                uint32_t pieceBytes, Device device) {
  std::unique_ptr<PieceWriter> writer(new (std::nothrow) PieceWriter(std::move(device)));
  if (writer == nullptr) return nullptr;
  for (uint32_t i = 1; i < kPieces; ++i) {
    writer->pieces_[i].reset(new (std::nothrow) uint8_t[pieceBytes]);
    if (writer->pieces_[i] == nullptr) return nullptr;
  }
  writer->pieces_[0] = std::move(first);
  try {
    writer->thread_ = std::thread([w = writer.get()] { w->WriteQueued(); });
  } catch (const std::system_error&) {
    // No thread for it (a limit of the system is reached): the caller
    // writes its pieces itself.
    first = std::move(writer->pieces_[0]);
    return nullptr;
  }
  return writer;
}

PieceWriter::~PieceWriter() {
  if (!thread_.joinable()) return;  // never started
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::unique_ptr<uint8_t[]>& PieceWriter::Filling() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queued_ - written_ < kPieces; });
  return Piece(queued_);
}

StreamStatus PieceWriter::Queue(uint32_t count) {
  StreamStatus status;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_[queued_ % kPieces] = count;
    ++queued_;
    status = status_;
  }
  changed_.notify_all();
  return status;
}

StreamStatus PieceWriter::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return written_ == queued_; });
  return status_;
}

// The thread's work: the queued pieces in order, until the writer ends with
// none left.
void PieceWriter::WriteQueued() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return queued_ != written_ || ending_; });
    if (queued_ == written_) return;
    const uint8_t* piece = Piece(written_).get();
    const uint32_t count = counts_[written_ % kPieces];
    const bool failed = status_ != StreamStatus::Ok;
    lock.unlock();
    const StreamStatus status = failed ? StreamStatus::Ok : device_(piece, count);
    lock.lock();
    if (status != StreamStatus::Ok) status_ = status;
    ++written_;
    changed_.notify_all();
  }
}

}  // namespace qds
