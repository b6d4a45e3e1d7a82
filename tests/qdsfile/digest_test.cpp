// The salted digest: MD5 itself, the salt block, and what the streams feed.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "qdsfile/file_stream.h"
#include "qdsfile/md5_digest.h"
#include "qdsfile/qds_format.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ScratchDir;
using test::WidePath;
using test::WriteBytes;

// MD5 of `bytes`, by the digest's own three steps.
std::string Md5(std::string_view bytes) {
  Md5Digest digest;
  EXPECT_TRUE(digest.Start());
  digest.Update(bytes.data(), bytes.size());
  uint8_t out[kMd5Size];
  digest.Finish(out);
  return std::string(reinterpret_cast<const char*>(out), kMd5Size);
}

// The digest as defined: MD5 of the salt, the covered bytes and the zeros
// that complete the last 64-byte block, in uppercase hexadecimal.
std::string ExpectedDigest(std::string_view covered) {
  std::string all(reinterpret_cast<const char*>(format::kDigestSalt), format::kDigestSaltSize);
  all.append(covered);
  all.append((64 - covered.size() % 64) % 64, '\0');
  std::string text;
  for (unsigned char byte : Md5(all)) {
    text.push_back("0123456789ABCDEF"[byte >> 4]);
    text.push_back("0123456789ABCDEF"[byte & 0xF]);
  }
  return text;
}

std::string Text(const char16_t* digits) { return std::string(digits, digits + 32); }

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + i / 97) & 0xFF);
  return bytes;
}

// Writes `data` in pieces of `piece` bytes with the digest running.
std::string WriteHashed(const std::u16string& path, std::string_view data, uint32_t piece) {
  FileStream stream(4096);
  EXPECT_EQ(stream.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
  EXPECT_EQ(stream.StartHash(), StreamStatus::Ok);
  for (size_t at = 0; at < data.size(); at += piece) {
    std::string_view part = data.substr(at, piece);
    EXPECT_EQ(stream.Write(part.data(), static_cast<uint32_t>(part.size())), StreamStatus::Ok);
  }
  char16_t digits[kDigestTextCapacity];
  stream.FinishHash(digits, 0);
  EXPECT_EQ(stream.Close(), StreamStatus::Ok);
  return Text(digits);
}

// Reads the whole file in pieces of `piece` bytes with the digest running.
std::string ReadHashed(const std::u16string& path, uint32_t piece) {
  FileStream stream(4096);
  EXPECT_EQ(stream.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
  EXPECT_EQ(stream.StartHash(), StreamStatus::Ok);
  std::string chunk(piece, '\0');
  uint32_t got = 0;
  while (stream.Read(chunk.data(), piece, &got) == StreamStatus::Ok) {
  }
  char16_t digits[kDigestTextCapacity];
  stream.FinishHash(digits, 0);
  return Text(digits);
}

// The salt block was computed with another MD5 implementation, so this also
// checks the MD5 wrapper against it.
TEST(DigestTest, SaltBlockIsTheDigestsOfItsFourNames) {
  for (int i = 0; i < 4; ++i) {
    std::string name = "qds-salt-" + std::to_string(i);
    EXPECT_EQ(Md5(name),
              std::string_view(reinterpret_cast<const char*>(format::kDigestSalt) + 16 * i, 16))
        << name;
  }
}

TEST(DigestTest, EmptyRunIsTheDigestOfTheSaltAlone) {
  ScratchDir dir;
  WriteBytes(dir / "r", "unread");
  const std::string saltOnly = ExpectedDigest("");
  for (int mode : {kStreamWrite, kStreamRead}) {
    FileStream stream(4096);
    ASSERT_EQ(stream.Open(WidePath(dir / (mode == kStreamRead ? "r" : "w")).c_str(), mode),
              StreamStatus::Ok);
    ASSERT_EQ(stream.StartHash(), StreamStatus::Ok);
    char16_t digits[kDigestTextCapacity];
    stream.FinishHash(digits, 0);
    EXPECT_EQ(digits[32], u'\0');
    EXPECT_EQ(Text(digits), saltOnly) << mode;
  }
}

TEST(DigestTest, WrittenAndReadBackBytesGiveOneDigestWhateverThePieces) {
  ScratchDir dir;
  const std::u16string path = WidePath(dir / "f");
  for (size_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 8192, 10001}) {
    const std::string data = Pattern(size);
    const std::string expected = ExpectedDigest(data);
    for (uint32_t piece : {1u, 2u, 64u, 100u, 4096u, 9000u}) {
      EXPECT_EQ(WriteHashed(path, data, piece), expected) << size << " written by " << piece;
      EXPECT_EQ(test::ReadBytes(dir / "f"), data) << "the zero padding is never written";
      EXPECT_EQ(ReadHashed(path, piece), expected) << size << " read by " << piece;
    }
  }
}

TEST(DigestTest, BytesBeforeStartHashAreNotCovered) {
  ScratchDir dir;
  const std::u16string path = WidePath(dir / "f");
  const std::string data = Pattern(5000);
  for (uint32_t before : {1u, 64u, 4095u, 4096u, 4097u}) {
    {
      FileStream stream(4096);
      ASSERT_EQ(stream.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
      ASSERT_EQ(stream.Write(data.data(), before), StreamStatus::Ok);
      ASSERT_EQ(stream.StartHash(), StreamStatus::Ok);
      ASSERT_EQ(stream.Write(data.data() + before, 5000 - before), StreamStatus::Ok);
      char16_t digits[kDigestTextCapacity];
      stream.FinishHash(digits, 0);
      EXPECT_EQ(Text(digits), ExpectedDigest(std::string_view(data).substr(before))) << before;
    }
    FileStream stream(4096);
    ASSERT_EQ(stream.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
    std::string skipped(before, '\0');
    ASSERT_EQ(stream.Read(skipped.data(), before, nullptr), StreamStatus::Ok);
    ASSERT_EQ(stream.StartHash(), StreamStatus::Ok);
    std::string rest(5000, '\0');
    uint32_t got = 0;
    ASSERT_EQ(stream.Read(rest.data(), 5000, &got), StreamStatus::Ok);
    EXPECT_EQ(got, 5000 - before);
    char16_t digits[kDigestTextCapacity];
    stream.FinishHash(digits, 0);
    EXPECT_EQ(Text(digits), ExpectedDigest(std::string_view(data).substr(before))) << before;
  }
}

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
    char16_t digits[kDigestTextCapacity];
    stream.FinishHash(digits, c.excluded);
    EXPECT_EQ(Text(digits),
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

TEST(DigestTest, CharactersReadOneByOneGiveTheSameDigest) {
  ScratchDir dir;
  const std::string data = Pattern(8194);
  WriteBytes(dir / "f", data);
  FileStream stream(4096);
  ASSERT_EQ(stream.Open(WidePath(dir / "f").c_str(), kStreamRead), StreamStatus::Ok);
  ASSERT_EQ(stream.StartHash(), StreamStatus::Ok);
  char16_t unit;
  while (stream.ReadChar(&unit) == StreamStatus::Ok) {
  }
  char16_t digits[kDigestTextCapacity];
  stream.FinishHash(digits, 0);
  EXPECT_EQ(Text(digits), ExpectedDigest(data));
}

TEST(DigestTest, PendingBytesStayPendingAfterFinish) {
  ScratchDir dir;
  FileStream stream(4096);
  ASSERT_EQ(stream.Open(WidePath(dir / "f").c_str(), kStreamWrite), StreamStatus::Ok);
  ASSERT_EQ(stream.StartHash(), StreamStatus::Ok);
  ASSERT_EQ(stream.Write("covered", 7), StreamStatus::Ok);
  char16_t digits[kDigestTextCapacity];
  stream.FinishHash(digits, 0);
  EXPECT_EQ(Text(digits), ExpectedDigest("covered"));
  ASSERT_EQ(stream.Write("|after", 6), StreamStatus::Ok);
  ASSERT_EQ(stream.Close(), StreamStatus::Ok);
  EXPECT_EQ(test::ReadBytes(dir / "f"), "covered|after");
}

}  // namespace
}  // namespace qds
