// PieceWriter: pieces reach the device whole and in order, and a failed
// write ends the writing with its status.

#include "qdsfile/piece_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace qds::test {
namespace {

constexpr uint32_t kPieceBytes = 64;

TEST(PieceWriterTest, WritesPiecesInOrderUntilOneFails) {
  constexpr int kNone = -1;
  for (int failing : {kNone, 0, 3, 9}) {
    SCOPED_TRACE(failing);
    std::vector<std::string> written;
    auto first = std::make_unique<uint8_t[]>(kPieceBytes);
    std::unique_ptr<PieceWriter> writer =
        PieceWriter::Start(first, kPieceBytes, [&](const uint8_t* bytes, uint32_t count) {
          written.emplace_back(reinterpret_cast<const char*>(bytes), count);
          const bool fails = static_cast<int>(written.size()) - 1 == failing;
          return fails ? StreamStatus::DeviceFull : StreamStatus::Ok;
        });
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(first, nullptr) << "the writer took the first piece";
    std::vector<std::string> queued;
    for (int piece = 0; piece < 10; ++piece) {
      queued.push_back(std::string(piece + 1, static_cast<char>('a' + piece)));
      std::memcpy(writer->Filling().get(), queued.back().data(), queued.back().size());
      static_cast<void>(writer->Queue(static_cast<uint32_t>(queued.back().size())));
      if (piece == 4) {
        EXPECT_EQ(writer->Drain(),
                  failing == kNone || failing > 4 ? StreamStatus::Ok : StreamStatus::DeviceFull);
      }
    }
    EXPECT_EQ(writer->Drain(), failing == kNone ? StreamStatus::Ok : StreamStatus::DeviceFull);
    writer.reset();
    if (failing != kNone) queued.resize(failing + 1);
    EXPECT_EQ(written, queued);
  }
}

}  // namespace
}  // namespace qds::test
