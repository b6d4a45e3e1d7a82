// FileStream: its modes and statuses, and the bytes and digests that it
// carries for every size, piece size, digest start and buffer size. The digest itself is pinned by
// the files signed on each platform (SignedFilesTest).

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include "qdsfile/file_stream.h"
#include "support/qds_text.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

std::string Text(const char16_t* digits) { return std::string(digits, digits + 32); }

std::string Finished(FileStream& stream, uint32_t excluded = 0) {
  char16_t digits[kDigestTextCapacity];
  stream.FinishHash(digits, excluded);
  EXPECT_EQ(digits[32], u'\0');
  return Text(digits);
}

// Piece size 0 stands for ReadChar on the read side (whole writes on the
// write side). Large files go out to the device and come back in large
// pieces, whatever the buffer's fills, which straddle them with a buffer of
// 4000 bytes (4032 after rounding) or 100; the largest is written on the
// stream's writer thread for most of its length, which takes the buffer of
// a save's size (128 KiB) in trade for a piece when it is full.
TEST(DigestTest, BytesAndDigestSurviveEveryPieceSizeAndStart) {
  ScratchDir dir;
  const std::u16string path = WidePath(dir / "f");
  for (size_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 10001, 300007, 1500007}) {
    const std::string data = Pattern(size);
    for (uint32_t piece : {0u, 1u, 3u, 64u, 100u, 4095u, 4096u, 70001u}) {
      if (size > 20000 && piece > 0 && piece < 64) continue;  // too slow for what it adds
      if (size > 1000000 && piece > 0 && piece < 4095) continue;
      for (size_t start : {0, 1, 4097}) {
        if (start > size) continue;
        const std::string expected = ExpectedDigest(std::string_view(data).substr(start));
        for (uint32_t buffer : {100u, 4000u, 4096u, 131072u}) {
          if (buffer > size) continue;
          SCOPED_TRACE(testing::Message() << "size " << size << ", piece " << piece << ", start "
                                          << start << ", buffer " << buffer);
          FileStream out(buffer);
          ASSERT_EQ(out.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
          ASSERT_EQ(out.Write(data.data(), static_cast<uint32_t>(start)), StreamStatus::Ok);
          ASSERT_EQ(out.StartHash(), StreamStatus::Ok);
          const size_t step = piece == 0 ? size + 1 : piece;
          for (size_t at = start; at < size; at += step) {
            uint32_t count = static_cast<uint32_t>(std::min(step, size - at));
            ASSERT_EQ(out.Write(data.data() + at, count), StreamStatus::Ok);
          }
          EXPECT_EQ(Finished(out), expected);
          ASSERT_EQ(out.Close(), StreamStatus::Ok);
          ASSERT_EQ(ReadBytes(dir / "f"), data) << "the zero padding is never written";

          FileStream in(buffer);
          ASSERT_EQ(in.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
          std::string back(start, '\0');
          ASSERT_EQ(in.Read(back.data(), static_cast<uint32_t>(start), nullptr), StreamStatus::Ok);
          ASSERT_EQ(in.StartHash(), StreamStatus::Ok);
          std::string chunk(std::max(piece, 2u), '\0');
          uint32_t got = 0;
          char16_t unit;
          if (piece == 0) {
            while (in.ReadChar(&unit) == StreamStatus::Ok)
              back.append({char(unit), char(unit >> 8)});
          } else {
            while (in.Read(chunk.data(), piece, &got) == StreamStatus::Ok)
              back.append(chunk, 0, got);
            EXPECT_EQ(got, 0u);
          }
          if (piece == 0 && (size - start) % 2 != 0) continue;  // no unit of a lone last byte
          EXPECT_EQ(back, data);
          EXPECT_EQ(Finished(in), expected);
        }
      }
    }
  }
}

// Bytes left out of the digest at its end are still read afterwards, as the
// loader reads the check line after the marker.
TEST(DigestTest, ExcludedBytesAreLeftOutAndStillReadAfterwards) {
  ScratchDir dir;
  const std::string data = Pattern(9000);
  WriteBytes(dir / "f", data);
  static const struct {
    uint32_t handedOut;
    uint32_t excluded;
  } cases[] = {{10, 3}, {10, 10}, {64, 1}, {4096, 36}, {4100, 4}, {4160, 64}, {9000, 72}};
  for (const auto& c : cases) {
    FileStream stream(4096);
    ASSERT_EQ(stream.Open(WidePath(dir / "f").c_str(), kStreamRead), StreamStatus::Ok);
    ASSERT_EQ(stream.StartHash(), StreamStatus::Ok);
    std::string head(c.handedOut, '\0');
    ASSERT_EQ(stream.Read(head.data(), c.handedOut, nullptr), StreamStatus::Ok);
    EXPECT_EQ(Finished(stream, c.excluded),
              ExpectedDigest(std::string_view(data).substr(0, c.handedOut - c.excluded)))
        << c.handedOut << " less " << c.excluded;
    std::string rest(9000, '\0');
    uint32_t got = 0;
    if (c.handedOut < 9000) {
      ASSERT_EQ(stream.Read(rest.data(), 9000, &got), StreamStatus::Ok);
    }
    EXPECT_EQ(rest.substr(0, got), data.substr(c.handedOut)) << c.handedOut;
  }
}

TEST(StreamTest, WrongModesAreRefusedAndReadsEndWithEndOfData) {
  ScratchDir dir;
  WriteBytes(dir / "f", "abcd");
  const std::u16string path = WidePath(dir / "f");
  char16_t unit;
  uint32_t got = 99;
  char bytes[4];

  FileStream none(0);  // a buffer of no bytes could never make progress
  EXPECT_EQ(none.Open(path.c_str(), kStreamWrite), StreamStatus::NoBuffer);

  FileStream closed(64);
  EXPECT_EQ(closed.Read(bytes, 4, &got), StreamStatus::WrongMode);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(closed.Write("x", 1), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Flush(), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Close(), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Open(path.c_str(), 3), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Open(path.c_str(), 0), StreamStatus::WrongMode);

  FileStream writer(64);
  ASSERT_EQ(writer.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
  EXPECT_EQ(writer.Open(path.c_str(), kStreamWrite), StreamStatus::WrongMode);
  EXPECT_EQ(writer.Read(bytes, 4, nullptr), StreamStatus::WrongMode);
  EXPECT_EQ(writer.ReadChar(&unit), StreamStatus::WrongMode);

  // A short read is still a read; a read of nothing is done even at the end.
  ASSERT_EQ(writer.Close(), StreamStatus::Ok);
  WriteBytes(dir / "f", "abcd");
  FileStream reader(64);
  ASSERT_EQ(reader.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
  EXPECT_EQ(reader.Open(path.c_str(), kStreamRead), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Write("x", 1), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Flush(), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Read(bytes, 0, &got), StreamStatus::Ok);
  EXPECT_EQ(got, 0u);
  char all[8];
  EXPECT_EQ(reader.Read(all, 8, &got), StreamStatus::Ok);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(reader.Read(all, 8, &got), StreamStatus::EndOfData);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(reader.Read(bytes, 0, &got), StreamStatus::Ok);
}

// Bytes still pending reach the file when the stream is destroyed unclosed.
TEST(StreamTest, DestroyedStreamWritesItsPendingBytes) {
  ScratchDir dir;
  {
    FileStream stream(64);
    ASSERT_EQ(stream.Open(WidePath(dir / "f").c_str(), kStreamWrite), StreamStatus::Ok);
    ASSERT_EQ(stream.Write("destroyed", 9), StreamStatus::Ok);
  }
  EXPECT_EQ(ReadBytes(dir / "f"), "destroyed");
}

TEST(StreamTest, FullDeviceIsFourAndReachesClose) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no device that is always full";
#endif
  FileStream stream(64);
  ASSERT_EQ(stream.Open(u"/dev/full", kStreamWrite), StreamStatus::Ok);
  const std::string data = Pattern(65);
  EXPECT_EQ(stream.Write(data.data(), 65), StreamStatus::DeviceFull);
  EXPECT_EQ(stream.GetError(), ENOSPC);
  ASSERT_EQ(stream.Write("x", 1), StreamStatus::Ok);  // pending again
  EXPECT_EQ(stream.Close(), StreamStatus::DeviceFull);
}

}  // namespace
}  // namespace qds::test
