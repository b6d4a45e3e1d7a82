// The salted digest, and the bytes and digests that the streams carry for
// every size, piece size, digest start and buffer size.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "qdsfile/file_stream.h"
#include "qdsfile/md5_digest.h"
#include "qdsfile/qds_format.h"
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

// The salt block was computed with another MD5 implementation, so this also
// checks the MD5 wrapper against it.
TEST(DigestTest, SaltBlockIsTheDigestsOfItsFourNames) {
  for (int i = 0; i < 4; ++i) {
    std::string name = "qds-salt-" + std::to_string(i);
    Md5Digest digest;
    ASSERT_TRUE(digest.Start());
    digest.Update(name.data(), name.size());
    uint8_t out[kMd5Size];
    digest.Finish(out);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(out), kMd5Size),
              std::string_view(reinterpret_cast<const char*>(format::kDigestSalt) + 16 * i, 16))
        << name;
  }
}

// Piece size 0 stands for ReadChar on the read side (whole writes on the
// write side). Large files go out to the device and come back in large
// pieces, whatever the buffer's fills, which straddle them with a buffer of
// 4000 bytes (4032 after rounding) or 100.
TEST(DigestTest, BytesAndDigestSurviveEveryPieceSizeAndStart) {
  ScratchDir dir;
  const std::u16string path = WidePath(dir / "f");
  for (size_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 10001, 300007}) {
    const std::string data = Pattern(size);
    for (uint32_t piece : {0u, 1u, 3u, 64u, 100u, 4095u, 4096u, 70001u}) {
      if (size > 20000 && piece > 0 && piece < 64) continue;  // too slow for what it adds
      for (size_t start : {0, 1, 4097}) {
        if (start > size) continue;
        const std::string expected = ExpectedDigest(std::string_view(data).substr(start));
        for (uint32_t buffer : {100u, 4000u, 4096u}) {
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
            while (in.ReadChar(&unit) == StreamStatus::Ok) back.append({char(unit), char(unit >> 8)});
          } else {
            while (in.Read(chunk.data(), piece, &got) == StreamStatus::Ok) back.append(chunk, 0, got);
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

}  // namespace
}  // namespace qds::test
