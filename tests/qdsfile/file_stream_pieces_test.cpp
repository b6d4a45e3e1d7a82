// A FileStream moves a file to and from the device in large pieces, not in
// its buffer's fills: whatever sizes the buffer, the writes and the reads
// have, the bytes and the digest must come out as they went in, also where
// fills straddle the pieces.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "qdsfile/file_stream.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

// Longer than two device pieces, and no multiple of anything.
std::string LargePattern() {
  std::string bytes(300007, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31 + i / 997) & 0xFF);
  return bytes;
}

TEST(FileStreamPiecesTest, BytesSurviveAnyWriteAndReadSizes) {
  ScratchDir dir;
  const std::u16string path = WidePath(dir / "large");
  const std::string data = LargePattern();
  // 4000 makes a 4032-byte buffer, whose fills straddle the pieces.
  for (uint32_t bufferSize : {4000u, 4096u}) {
    for (size_t piece : {1u, 4095u, 70001u, 300007u}) {
      FileStream out(bufferSize);
      ASSERT_EQ(out.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
      for (size_t at = 0; at < data.size(); at += piece) {
        uint32_t count = static_cast<uint32_t>(std::min(piece, data.size() - at));
        ASSERT_EQ(out.Write(data.data() + at, count), StreamStatus::Ok);
      }
      ASSERT_EQ(out.Close(), StreamStatus::Ok);
      ASSERT_EQ(ReadBytes(dir / "large"), data) << bufferSize << " " << piece;

      FileStream in(bufferSize);
      ASSERT_EQ(in.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
      std::string back;
      std::string chunk(piece, '\0');
      uint32_t got = 0;
      while (in.Read(chunk.data(), static_cast<uint32_t>(piece), &got) == StreamStatus::Ok) {
        back.append(chunk, 0, got);
      }
      EXPECT_EQ(back, data) << bufferSize << " " << piece;
    }
  }
}

TEST(FileStreamPiecesTest, DigestOfALargeFileIsTheSameWrittenAndRead) {
  ScratchDir dir;
  const std::u16string path = WidePath(dir / "signed");
  const std::string data = LargePattern();
  char16_t written[kDigestTextCapacity];
  {
    FileStream out(4096);
    ASSERT_EQ(out.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
    ASSERT_EQ(out.Write("skipped", 7), StreamStatus::Ok);  // before the digest starts
    ASSERT_EQ(out.StartHash(), StreamStatus::Ok);
    ASSERT_EQ(out.Write(data.data(), static_cast<uint32_t>(data.size())), StreamStatus::Ok);
    out.FinishHash(written, 0);
    ASSERT_EQ(out.Close(), StreamStatus::Ok);
  }
  FileStream in(4096);
  ASSERT_EQ(in.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
  char skipped[7];
  uint32_t got = 0;
  ASSERT_EQ(in.Read(skipped, 7, &got), StreamStatus::Ok);
  ASSERT_EQ(in.StartHash(), StreamStatus::Ok);
  std::string chunk(8192, '\0');
  size_t total = 0;
  while (in.Read(chunk.data(), 8192, &got) == StreamStatus::Ok) total += got;
  ASSERT_EQ(total, data.size());
  char16_t read[kDigestTextCapacity];
  in.FinishHash(read, 0);
  EXPECT_EQ(std::u16string(read), std::u16string(written));
}

}  // namespace
}  // namespace qds::test
